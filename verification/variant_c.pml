/* Variant C: a binary semaphore (SharedState<'C'>::semaphore).
 * Producer: src/producer/variants.h VariantC; client: HandOver<'C'> in
 * include/tavisor/hand_over.h. The batch is announced by release(); the
 * client acquires, takes the records, empties the queue and notifies
 * cvShared. The last signal is one more release with nothing appended. */
#include "common.pml"

byte sem;   /* std::counting_semaphore<1>, constructed with 0 */

/* semaphore.release(): never above its maximum of 1. */
inline Announce(p) { atomic { Touch(); assert(sem < 1); sem++ } }
inline SendLastSignal(p) { Announce(p) }
inline ReadBatchTaken(p, res) { ReadQueueEmpty(res) }
#include "unlocked.pml"
inline BeginBatch(p) { skip }
inline Append(p) { QueueAppend() }

inline VariantInit() { skip }
/* HandOver<'C'>::AwaitSignal without a time limit: acquire(). */
inline AwaitSignal() { atomic { sem > 0 -> Touch(); sem-- } }
inline TakeSignal(hand_back, what) { TakeQueue(qlo, qhi, hand_back, what) }
inline ReleaseLeftovers() { QueueViewTake(qlo, qhi, 1, what) }
inline ClientStopCallbacks() { skip }

#include "frame.pml"
