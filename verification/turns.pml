/* Turns (src/producer/turns.h, turns.cpp): the producers of one structure
 * take turns at its hand-over (B to E). held_ and waiting_ are sequentially
 * consistent atomics; mutex_ and passed_ (a condition_variable_any) for the
 * waits of Take. Needs EvalPred/UnlockUser/LockUser to handle PRED_TAKE. */
#define PRED_TAKE 1

bit held;           /* held_ */
byte waiting;       /* waiting_: producers blocked in Take */
byte tProducers;    /* producers_ (under the registry's lock) */
bit tBlw;           /* batch_left_waiting_ */

/* Turns::Join */
inline Turns_Join() { atomic { tProducers++ } }

/* The predicate of Take's wait: !held_.exchange(true). */
inline Turns_TryTake(res) { atomic { res = !held; held = 1 } }

/* Turns::Pass: the client has taken the batch. */
inline Turns_Pass(p) {
  held = 0;
#ifndef FAULT_PASS_NO_NOTIFY
  if
  :: waiting > 0 -> Lock(MX_TURNS, p); Unlock(MX_TURNS, p); NotifyAll(CV_TURNS, p)
  :: else
  fi
#endif
}

/* Turns::Take: false, without the turn, once a stop is requested. */
inline Turns_Take(p, res) {
  Turns_TryTake(res);
  if
  :: !res ->
     Lock(MX_TURNS, p);
     waiting++;
     CvWaitStop(CV_TURNS, p, PRED_TAKE, res);
     waiting--;
     Unlock(MX_TURNS, p)
  :: else
  fi;
  if
  :: res && stop -> Turns_Pass(p); res = 0
  :: else
  fi
}

/* Turns::Leave: true for the producer that is to send the last signal. */
inline Turns_Leave(p, blw, res) {
#ifndef FAULT_LEAVE_IGNORES_BATCH
  atomic { tBlw = tBlw | blw; tProducers--; res = (tProducers == 0 && !tBlw) }
#else
  atomic { tBlw = tBlw | blw; tProducers--; res = (tProducers == 0) }
#endif
}
