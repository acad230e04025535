/* What every variant's model shares: threads, the client's structure as seen
 * by the race checks, mutexes, the condition variable with its internal
 * mutex, the stop source and its callbacks. Included first by each
 * variant_?.pml. Bounds come from the command line (see README.md):
 *   -DPRODUCERS=n   producers started on the one structure (1 to 3)
 *   -DBATCHES=n     batches each producer makes before it pauses for good
 *   -DBATCH=n       records per batch, 1 to n (the library makes 1 to 4)
 *   -DNOSTOP        no stop at all: every party must go on until all the
 *                   producers pause for good (finds lost wake-ups that a
 *                   stop would otherwise cover)
 */
#ifndef PRODUCERS
#define PRODUCERS 1
#endif
#ifndef BATCHES
#define BATCHES 2
#endif
#ifndef BATCH
#define BATCH 1
#endif

/* Thread numbers: producers 0..PRODUCERS-1, then the client's threads. */
#define CLIENT  PRODUCERS
#define HELPER  (PRODUCERS + 1)
#define STOPPER (PRODUCERS + 2)
#define RECORDS (PRODUCERS * BATCHES * BATCH)
#define BATCH_OUT 0   /* Arrival::kBatch */
#define ENDED     1   /* Arrival::kEnded */

/* ---- The client's structure as the race checks see it ------------------
 * The queue holds the records [qlo, qhi) (record numbers are given out in
 * order). The client's writes that a producer may race with are modelled
 * as intervals (`clearing`: a clear of the queue or of E's buffer;
 * `writingPtr`: D's pLatch, E's pPromise), so that any producer access not
 * ordered after them can fall inside one and fail its assertion. `freed`:
 * the client has destroyed the structure; every access asserts it has not.
 */
bit freed;
bit clearing;      /* QueueView::Take's queue.clear() in progress */
bit reading;       /* QueueView::Take copying records out */
bit writingPtr;    /* HandOver<'D'>/<'E'>::TakeSignal storing pLatch/pPromise */
byte qlo, qhi;     /* ItemQueue: the records [qlo, qhi) */
byte nrec;         /* records made so far; the next one's number */
bit delivered[RECORDS];

inline Touch() { assert(!freed) }

/* The one read of the client's queue by a producer: ordered after the
 * client's last write, or a race (the assertion). */
inline ReadQueueEmpty(res) {
  atomic { Touch(); assert(!clearing); res = (qlo == qhi) }
}

/* A record handed to the client, by Take or as a leftover: exactly once. */
inline Deliver(r) {
  assert(!delivered[r]); delivered[r] = 1
}

/* ---- Mutexes: 0 free, otherwise the holder's thread + 1 ---------------- */
#define MX_SHARED   0   /* SharedState<'A'>::mxShared */
#define MX_TURNS    1   /* Turns::mutex_ */
#define MX_HANDBACK 2   /* hand_over_detail::Base::hand_back_mutex_ */
byte mtx[3];
inline Lock(m, t)   { atomic { mtx[m] == 0 -> mtx[m] = t + 1 } }
inline Unlock(m, t) { atomic { assert(mtx[m] == t + 1); mtx[m] = 0 } }

/* ---- std::condition_variable_any (libstdc++): an internal mutex M and an
 * internal std::condition_variable. Its wait releases M and joins the
 * waiters as one step (pthread_cond_wait); notify_one/notify_all take M.
 * cvW: the waiters, one bit per thread. ------------------------------------ */
#define CV_SHARED 0   /* SharedState::cvShared */
#define CV_TURNS  1   /* Turns::passed_ */
byte cvM[2];
byte cvW[2];
inline MLock(c, t)   { atomic { cvM[c] == 0 -> if :: c == CV_SHARED -> Touch() :: else fi; cvM[c] = t + 1 } }
inline MUnlock(c, t) { atomic { assert(cvM[c] == t + 1); cvM[c] = 0 } }
/* _M_cond.wait(my_lock2): releases M and blocks atomically; reacquires M. */
inline CvBlock(c, t) {
  atomic { MUnlock(c, t); cvW[c] = cvW[c] | (1 << t) }
#ifndef SPURIOUS
  (cvW[c] & (1 << t)) == 0;
#else
  /* -DSPURIOUS: a wake-up that no notification sent, as the standard allows */
  if
  :: (cvW[c] & (1 << t)) == 0
  :: atomic { cvW[c] = cvW[c] & ~(1 << t) }
  fi;
#endif
  MLock(c, t)
}
inline NotifyAll(c, t) { MLock(c, t); cvW[c] = 0; MUnlock(c, t) }
inline NotifyOne(c, t) {
  MLock(c, t);
  if
  :: cvW[c] == 0 -> skip
  :: cvW[c] & 1  -> cvW[c] = cvW[c] & ~1
  :: cvW[c] & 2  -> cvW[c] = cvW[c] & ~2
  :: cvW[c] & 4  -> cvW[c] = cvW[c] & ~4
  :: cvW[c] & 8  -> cvW[c] = cvW[c] & ~8
  :: cvW[c] & 16 -> cvW[c] = cvW[c] & ~16
  fi;
  MUnlock(c, t)
}

/* ---- std::stop_source: the flag, and per thread the one stop callback it
 * has registered at a time (a wait's wake-up; Pause needs none here): cbState 0 none,
 * 1 registered, 2 running on the requesting thread, 3 has run. Each
 * producer's StopNotice callback (OnRequest) apart: noticeCb, same codes.
 * A callback registered once the stop is requested runs at once, on the
 * registering thread; deregistering one that runs elsewhere waits for it. */
bit stop;
bit stopping;      /* Base::stopping_: FenceStop() has run */
bit stopDone;      /* request_stop() has returned */
#define CB_CV    1            /* + cv: condition_variable_any::wait's notify_all */
byte cbKind[PRODUCERS + 1];
byte cbState[PRODUCERS + 1];

inline RunCallback(kind, t) {
  if
  :: kind == CB_CV + CV_SHARED -> NotifyAll(CV_SHARED, t)
  :: kind == CB_CV + CV_TURNS  -> NotifyAll(CV_TURNS, t)
  fi
}
/* std::stop_callback's constructor. Uses the caller's local `inl`. */
inline RegisterCallback(t, kind) {
  atomic {
    if
    :: stop -> inl = 1
    :: else -> inl = 0; cbKind[t] = kind; cbState[t] = 1
    fi
  }
  if :: inl -> RunCallback(kind, t); inl = 0 :: else fi
}
/* std::stop_callback's destructor. */
inline DeregisterCallback(t) { atomic { cbState[t] != 2 -> cbState[t] = 0 } }

/* ---- StopNotice (src/producer/stop_notice.cpp): PrintOnce. Whoever
 * claims the pair first prints it; the other waits until it is out. ------ */
#define NOTBEGUN 0
#define PRINTING 1
#define PRINTED  2
byte progress[PRODUCERS];
byte printed[PRODUCERS];   /* times the pair was written */
byte noticeCb[PRODUCERS];  /* OnRequest, codes as cbState */
inline StopNotice_PrintOnce(p) {
  if
  :: atomic { progress[p] == NOTBEGUN -> progress[p] = PRINTING }
     /* WriteConsoleLines: "Loop in DLL broken off", "Type a command" */
     printed[p]++;
     assert(printed[p] == 1);
     progress[p] = PRINTED
  :: atomic { progress[p] != NOTBEGUN -> skip }
#ifndef FAULT_NOTICE_NO_WAIT
     progress[p] == PRINTED
#endif
  fi
}

/* ---- Pause (src/producer/pause.cpp): ends at its deadline or once a stop
 * is requested. Its stop callback only wakes it, and its slices look at
 * the flag every 50 ms anyway, so the model waits for the flag itself. A
 * producer that has made BATCHES batches pauses for good: only the stop
 * ends that pause (`parked`). ------------------------------------------------ */
byte parked;
inline Pause(p, forGood) {
  if
  :: (forGood) -> atomic { parked++ }; stop; atomic { parked-- }
  :: !(forGood) -> skip   /* the deadline */
  :: stop               /* woken, or a slice saw the flag */
  fi
}

/* ---- condition_variable_any::wait(lock, stop_token, pred) (libstdc++ 12,
 * <condition_variable>): the user's lock and predicate differ by caller:
 *   UnlockUser(kind, t), LockUser(kind, t), EvalPred(kind, t, res)
 * are defined by the including file. Returns the predicate, or false when
 * a stop ended the wait (the user's lock then held, as on every return).
 * Uses the caller's locals `inl`. ----------------------------------------- */
inline CvWaitStop(c, t, kind, res) {
  if
  :: stop -> EvalPred(kind, t, res)
  :: else ->
     RegisterCallback(t, CB_CV + c);
     do
     :: EvalPred(kind, t, res);
        if
        :: res -> break
        :: else ->
           MLock(c, t);
           if
           :: stop -> MUnlock(c, t); res = 0; break
           :: else ->
              UnlockUser(kind, t);
              CvBlock(c, t);
              MUnlock(c, t);
              LockUser(kind, t)
           fi
        fi
     od;
     DeregisterCallback(t)
  fi
}
