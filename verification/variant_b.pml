/* Variant B: a barrier of two participants (SharedState<'B'>::barrier):
 * the producer, and on the client's side a helper thread.
 * Producer: src/producer/variants.h VariantB; client: HandOver<'B'> in
 * include/tavisor/hand_over.h (AwaitSignal, TakeSignal, Arrive, WantArrival,
 * the destructor's stand-in arrival). The producer announces a batch by
 * arrive() without waiting; the helper arrives and waits, and when the phase
 * completes the batch is in the queue. The last signal is one more arrive()
 * with nothing appended. */
#include "common.pml"

/* std::barrier<>(2): arrivals in the current phase; each participant
 * arrives at most once per phase. */
byte barArr;
bit barPhase, barProd, barHelp;
/* HandOver<'B'>'s members under its mutex_ */
bit wanted, announced, atBarrier, finished, closing, helperDone;

inline BarrierArrive(producerSide) {
  Touch();
  if
  :: producerSide -> assert(!barProd); barProd = 1
  :: else -> assert(!barHelp); barHelp = 1
  fi;
  barArr++;
  if
  :: barArr == 2 -> barArr = 0; barProd = 0; barHelp = 0; barPhase = 1 - barPhase
  :: else
  fi
}
inline Announce(p) { atomic { BarrierArrive(1) } }
/* VariantB::SendLastSignal: the last arrival is not waited for, since the
 * client may destroy the barrier once the phase completes. */
inline SendLastSignal(p) {
#ifndef FAULT_B_LAST_WAIT
  atomic { BarrierArrive(1) }
#else
  atomic { obj = barPhase; BarrierArrive(1) }
  atomic { barPhase != obj -> Touch() }   /* barrier.wait(token) */
#endif
}
inline ReadBatchTaken(p, res) { ReadQueueEmpty(res) }
#include "unlocked.pml"
inline BeginBatch(p) { skip }
inline Append(p) { QueueAppend() }

inline VariantInit() { run Arrive() }
/* HandOver<'B'>::AwaitSignal without a time limit. */
inline AwaitSignal() {
  atomic { if :: !wanted -> wanted = 1 :: else fi }
  announced
}
inline TakeSignal(hand_back, what) {
  TakeQueue(qlo, qhi, hand_back, what);
  atomic { announced = 0; wanted = stop; finished = (what == ENDED || !hand_back) }
}
/* ~HandOver<'B'>: the stand-in arrival for a helper still at the barrier,
 * the helper joined, the leftovers. */
inline ReleaseLeftovers() {
  atomic { closing = 1; if :: atBarrier -> BarrierArrive(1) :: else fi }
  helperDone;
  QueueViewTake(qlo, qhi, 1, what)
}
/* HandOver<'B'>::WantArrival, registered before Start: runs last. */
inline ClientStopCallbacks() { wanted = 1 }

/* HandOver<'B'>::Arrive, the client's helper thread: arrives once a wait
 * for a batch has begun (or a stop was requested) and the batch before has
 * been taken; ends when nothing more can come. */
proctype Arrive() {
  bit tok;
  do
  :: atomic { closing || finished -> break }
  :: atomic { wanted && !announced && !closing && !finished ->
       tok = barPhase; BarrierArrive(0); atBarrier = 1 }
     atomic { barPhase != tok -> Touch() }   /* state_.barrier.wait(token) */
     if
     :: atomic { closing -> atBarrier = 0 }; break
     :: atomic { !closing -> atBarrier = 0; announced = 1 }
     fi
  od;
  helperDone = 1
}

#include "frame.pml"
