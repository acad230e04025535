/* Variant A: mutex and condition variable (SharedState<'A'>::mxShared,
 * cvShared). Producer: src/producer/variants.h VariantA; client:
 * HandOver<'A'> in include/tavisor/hand_over.h. The producer holds mxShared
 * for its whole cycle (pause, batch, announcement) and gives it up only
 * inside its wait for the queue to empty; it announces with notify_one.
 * The client waits on cvShared for a non-empty queue, takes the records,
 * empties the queue and notifies cvShared, all under mxShared. A has no
 * last signal: once a stop has been requested, the client holding mxShared
 * with the queue empty knows that nothing more comes. */
#include "common.pml"

#define HAS_LAST_SIGNAL  0
#define HAND_BACK_ALWAYS 1
/* A always hands the queue back: its Take needs no hand-back fence, and must
 * not hold hand_back_mutex_ while it waits for mxShared, which another
 * producer on the structure may hold for a whole pause: a FenceStop() from
 * another thread would wait as long (-DA_TAKE_FENCED: SPIN shows it with two
 * producers). */
#ifdef A_TAKE_FENCED
#define TAKE_FENCED 1
#else
#define TAKE_FENCED 0
#endif
#define PRED_EMPTY    1   /* the producer's: queue.empty() */
#define PRED_NONEMPTY 2   /* the client's: !queue.empty() */
bit tBlw;   /* no turns in A */

inline EvalPred(kind, t, res) {
  if
  :: kind == PRED_EMPTY -> ReadQueueEmpty(res)
  :: kind == PRED_NONEMPTY -> atomic { Touch(); res = (qlo != qhi) }
  fi
}
inline UnlockUser(kind, t) { Unlock(MX_SHARED, t) }
inline LockUser(kind, t) { Lock(MX_SHARED, t) }

inline VariantCtor(p) { skip }
/* CycleLock: mxShared from the start of a cycle to its end. */
inline BeginCycle(p) { Lock(MX_SHARED, p) }
inline EndCycle(p) { Unlock(MX_SHARED, p) }
inline TakeTurn(p, res) { res = 1 }
inline PassTurn(p) { skip }
inline BeginBatch(p) { skip }
inline Append(p) {
  atomic { Touch(); assert(!clearing && !reading && !clientDone); qhi++; nrec++ }
}
/* VariantA::Announce: notify_one, holding mxShared. */
inline Announce(p) {
#ifndef FAULT_A_NO_NOTIFY
  NotifyOne(CV_SHARED, p)
#else
  skip
#endif
}
/* VariantA::AnnounceAndAwait: notify_one, then
 * cvShared.wait(lock, stop, queue.empty()). */
inline AnnounceAndAwait(p, res) {
  Announce(p);
  CvWaitStop(CV_SHARED, p, PRED_EMPTY, res)
}
inline End(p, blw) { skip }

inline VariantInit() { skip }
/* HandOver<'A'>::AwaitSignal without a time limit. */
inline AwaitSignal() {
  Lock(MX_SHARED, CLIENT);
  CvWaitStop(CV_SHARED, CLIENT, PRED_NONEMPTY, res);
  Unlock(MX_SHARED, CLIENT)
}
/* HandOver<'A'>::TakeSignal: always handed back, under mxShared. */
inline TakeSignal(hand_back, what) {
  Lock(MX_SHARED, CLIENT);
  TakeQueue(qlo, qhi, hand_back, what);
  Unlock(MX_SHARED, CLIENT)
}
inline ReleaseLeftovers() {
  Lock(MX_SHARED, CLIENT);
  QueueViewTake(qlo, qhi, 1, what);
  Unlock(MX_SHARED, CLIENT)
}
inline ClientStopCallbacks() { skip }

#include "frame.pml"
