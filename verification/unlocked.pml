/* UnlockedVariant (src/producer/variants.h): what B to E share. Producers
 * take turns (turns.pml); the final wait, AnnounceAndAwait (AwaitEmpty),
 * announces the
 * batch as the first unlock of a lock of the producer's own (AnnouncingLock)
 * inside cvShared's wait, and reads the queue only when that is ordered
 * after the client's writes. Each variant file defines, before including
 * this: Announce(p), SendLastSignal(p), ReadBatchTaken(p, res). */
#include "turns.pml"

#define HAS_LAST_SIGNAL  1
#define HAND_BACK_ALWAYS 0
#define TAKE_FENCED      1
#define PRED_TAKEN 2   /* !stop.stop_requested() && queue.empty() */

inline EvalPred(kind, t, res) {
  if
  :: kind == PRED_TAKE -> Turns_TryTake(res)
  :: kind == PRED_TAKEN ->
     if
     :: stop -> res = 0
     :: else -> ReadBatchTaken(t, res)
     fi
  fi
}
/* Turns::mutex_, or the AnnouncingLock: its first unlock() announces. */
inline UnlockUser(kind, t) {
  if
  :: kind == PRED_TAKE -> Unlock(MX_TURNS, t)
  :: kind == PRED_TAKEN ->
     if
     :: !annc -> Announce(t); annc = 1
     :: else
     fi
  fi
}
inline LockUser(kind, t) {
  if
  :: kind == PRED_TAKE -> Lock(MX_TURNS, t)
  :: else
  fi
}

inline VariantCtor(p) { Turns_Join() }
inline BeginCycle(p) { skip }
inline EndCycle(p) { skip }
inline TakeTurn(p, res) { Turns_Take(p, res) }
inline PassTurn(p) { Turns_Pass(p) }

#ifndef FAULT_OLD_WAIT
/* AnnounceAndAwait, UnlockedVariant::AwaitEmpty: the AnnouncingLock's
 * first unlock() inside cvShared.wait(lock, stop, pred) announces; true
 * once the batch is taken, false when a stop came first. */
inline AnnounceAndAwait(p, res) {
  CvWaitStop(CV_SHARED, p, PRED_TAKEN, res);
  if
  :: !annc -> Announce(p); annc = 1; res = 0   /* out after the stop: no read */
  :: annc && !res -> ReadBatchTaken(p, res)     /* one read, after the stop */
  :: annc && res
  fi
}
#else
/* The final wait as it was: announce, then look at the queue at once and at
 * every time-out (QueueLooksEmpty), counting it emptied after a
 * notification or at two looks in a row. */
inline AnnounceAndAwait(p, res) {
  bit emptyBefore, woken;
  Announce(p); annc = 1;
  RegisterCallback(p, CB_CV + CV_SHARED);
  ReadBatchTaken(p, emptyBefore);
  do
  :: stop -> ReadBatchTaken(p, res); break
  :: else ->
     /* cvShared.wait_for(lock, kSecondLook or kRecheckInterval) */
     MLock(CV_SHARED, p);
     atomic { MUnlock(CV_SHARED, p); cvW[CV_SHARED] = cvW[CV_SHARED] | (1 << p) }
     if
     :: atomic { (cvW[CV_SHARED] & (1 << p)) == 0 -> woken = 1 }
     :: atomic { cvW[CV_SHARED] = cvW[CV_SHARED] & ~(1 << p); woken = 0 }   /* time-out */
     fi;
     MLock(CV_SHARED, p);
     MUnlock(CV_SHARED, p);
     ReadBatchTaken(p, res);
     if
     :: res && (woken || emptyBefore) -> break
     :: else -> emptyBefore = res
     fi
  od;
  DeregisterCallback(p)
}
#endif

/* End: the last producer out sends the last signal if no batch was left
 * waiting; after it nothing of the client's is touched. */
inline End(p, blw) {
  Turns_Leave(p, blw, res);
  if
  :: res -> CountLastSignal(); SendLastSignal(p)
  :: else
  fi
}

/* The queue variants B to D append straight to the client's queue. */
inline QueueAppend() {
  atomic { Touch(); assert(!clearing && !reading && !clientDone); qhi++; nrec++ }
}
