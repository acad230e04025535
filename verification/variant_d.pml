/* Variant D: a latch per batch, reached through SharedState<'D'>::pLatch.
 * Producer: src/producer/variants.h VariantD; client: HandOver<'D'> in
 * include/tavisor/hand_over.h. The batch is announced by
 * pLatch->count_down(); the client waits on its current latch, points
 * pLatch at a fresh one, and only then empties the queue and notifies
 * cvShared; the latch just passed lives one batch longer. The last signal
 * counts the current latch down with nothing appended. */
#include "common.pml"

#define LATCHES (PRODUCERS * BATCHES + 3)
byte latchCount[LATCHES];
bit latchFreed[LATCHES];
byte pLatch;                          /* SharedState<'D'>::pLatch */
byte curLatch, prevLatch, nextLatch;  /* HandOver<'D'>: current_, previous_ */

/* pLatch->count_down(): the pointer read, then the call; never on a spent
 * or freed latch. */
inline Announce(p) {
  atomic { Touch(); assert(!writingPtr); obj = pLatch }
  atomic { assert(!latchFreed[obj]); assert(latchCount[obj] > 0); latchCount[obj]-- }
}
inline SendLastSignal(p) { Announce(p) }
inline ReadBatchTaken(p, res) { ReadQueueEmpty(res) }
#include "unlocked.pml"
inline BeginBatch(p) { skip }
inline Append(p) { QueueAppend() }

inline VariantInit() { curLatch = 1; latchCount[1] = 1; pLatch = 1; nextLatch = 2 }
/* HandOver<'D'>::AwaitSignal without a time limit: current_->wait(). */
inline AwaitSignal() { atomic { latchCount[curLatch] == 0 -> assert(!latchFreed[curLatch]) } }
/* The next latch in place; previous_ freed as it is replaced. */
inline RenewLatch() {
  atomic {
    if :: prevLatch > 0 -> latchFreed[prevLatch] = 1 :: else fi;
    prevLatch = curLatch; curLatch = nextLatch; nextLatch++; latchCount[curLatch] = 1
  }
  writingPtr = 1;
  atomic { Touch(); pLatch = curLatch; writingPtr = 0 }
}
/* HandOver<'D'>::TakeSignal: the fresh latch before the queue looks empty. */
inline TakeSignal(hand_back, what) {
  if
  :: hand_back ->
#ifndef FAULT_D_CLEAR_FIRST
     RenewLatch();
     TakeQueue(qlo, qhi, hand_back, what)
#else
     TakeQueue(qlo, qhi, hand_back, what);
     RenewLatch()
#endif
  :: else -> TakeQueue(qlo, qhi, hand_back, what)
  fi
}
inline ReleaseLeftovers() {
  QueueViewTake(qlo, qhi, 1, what);
  latchFreed[curLatch] = 1;
  if :: prevLatch > 0 -> latchFreed[prevLatch] = 1 :: else fi
}
inline ClientStopCallbacks() { skip }

#include "frame.pml"
