/* The producer's frame (src/producer/frame.h RunFrame), the client as the
 * runtime drives it (include/tavisor/producer.h Producer<V>::Wait over
 * include/tavisor/hand_over.h HandOver<V>), a stop from another thread at
 * any moment (BasicProducer::RequestOwnStop), and the checks of the end. Included
 * last by each variant_?.pml, which defines the variant's parts first:
 *   producer: VariantCtor BeginCycle EndCycle TakeTurn PassTurn BeginBatch
 *             Append Announce AnnounceAndAwait End
 *   client:   AwaitSignal TakeSignal ReleaseLeftovers ClientStopCallbacks
 *             VariantInit, HAS_LAST_SIGNAL, HAND_BACK_ALWAYS
 */
byte running;        /* producer threads not yet at the end of RunFrame */
bit setUp[PRODUCERS];
byte lastSignals;
bit clientDone;      /* the client knows that nothing more comes */
bit batchAfterStop;  /* ... because it took a batch after the stop */

/* Every producer's stop lines are out. */
inline AssertAllPrinted() {
  i = 0;
  do
  :: i < PRODUCERS -> assert(printed[i] == 1); i++
  :: else -> break
  od
}

/* The last signal of B to E: after the stop lines, once per structure. */
inline CountLastSignal() {
  AssertAllPrinted();
  atomic { lastSignals++; assert(lastSignals == 1) }
}

/* hand_over_detail::QueueView::Take on the records [lo, hi): gives the new
 * ones; `hand_back` empties the queue, otherwise they stay, as given. The
 * clear is a write interval (`clearing`) that no producer read may cross.
 * Uses the client's locals given, r. */
inline QueueViewTake(lo, hi, hand_back, what) {
  atomic {
    Touch();
    if :: given > hi - lo -> given = hi - lo :: else fi;
    if :: hi - lo == given -> what = ENDED :: else -> what = BATCH_OUT fi;
    reading = 1
  }
  atomic {
    r = lo + given;
    do
    :: r < hi -> Deliver(r); r++
    :: else -> r = 0; break
    od;
    reading = 0
  }
  if
  :: hand_back -> clearing = 1; atomic { Touch(); lo = hi; clearing = 0 }; given = 0
  :: else ->
#ifndef FAULT_VIEW_FORGETS_GIVEN
     given = hi - lo
#else
     skip
#endif
  fi
}

/* hand_over_detail::Base::TakeQueue: the hand-back ends with cvShared's
 * notify_all. */
inline TakeQueue(lo, hi, hand_back, what) {
  QueueViewTake(lo, hi, hand_back, what);
  if
  :: hand_back -> NotifyAll(CV_SHARED, CLIENT)
  :: else
  fi
}

/* RunFrame (src/producer/frame.h), one producer thread. */
proctype RunFrame(byte p) {
  bit inl, res, blw, annc;
  byte n, i, made, obj, obj2;
  /* "Generator in DLL started"; std::stop_callback on_request(stop, notice) */
  atomic {
    if
    :: stop -> inl = 1
    :: else -> inl = 0; noticeCb[p] = 1
    fi
  }
  if :: inl -> StopNotice_PrintOnce(p); inl = 0 :: else fi;
  VariantCtor(p);
  /* set_up.set_value(): Start returns; a stop requested before has its lines out */
  atomic { assert(!stop || printed[p] == 1); setUp[p] = 1 }
  do
  :: stop -> break
  :: else ->
     BeginCycle(p);
Frame_PauseBeforeBatch:
     Pause(p, made >= BATCHES);
     if :: stop -> EndCycle(p); break :: else fi;
Frame_TakeTurn:
     TakeTurn(p, res);
     if :: !res -> EndCycle(p); break :: else fi;
     /* DrawBatchSize */
     if
     :: n = 1
     :: BATCH >= 2 -> n = 2
     :: BATCH >= 3 -> n = 3
     fi;
     BeginBatch(p);
     i = 0;
     do
     :: i < n -> Append(p); i++
     :: else -> i = 0; n = 0; break
     od;
     /* "n items generated" */
     annc = 0;
Frame_AnnounceAndAwait:
     AnnounceAndAwait(p, res);
     blw = !res;
     made++;
     if :: res -> PassTurn(p) :: else fi;
     EndCycle(p);
     annc = 0; res = 0; obj = 0; obj2 = 0
  od;
Frame_EnsurePrinted:
  StopNotice_PrintOnce(p);
Frame_End:
  End(p, blw);
  /* ~on_request */
  atomic { noticeCb[p] != 2 -> noticeCb[p] = 0 }
  running--
}

/* The consuming thread: Producer<V>::Wait() until kEnded, each Take as
 * Base::Take does it (under hand_back_mutex_ for B to E). Then the
 * structure goes: at once on the last signal, otherwise once the grace
 * period has passed (modelled: once every producer thread has ended). */
proctype Client() {
  bit hand_back, inl, res;
  byte given, r, what, v;
  do
  :: AwaitSignal();
     /* Base::Take */
#if !defined(FAULT_NO_FENCE) && TAKE_FENCED
     Lock(MX_HANDBACK, CLIENT);
     hand_back = HAND_BACK_ALWAYS || (!stopping && !stop);
     TakeSignal(hand_back, what);
     Unlock(MX_HANDBACK, CLIENT);
#else
     hand_back = HAND_BACK_ALWAYS || !stop;
     TakeSignal(hand_back, what);
#endif
     if
     :: what == ENDED -> break
     :: what != ENDED && !hand_back -> batchAfterStop = 1; break
     :: else -> hand_back = 0; v = 0; res = 0
     fi
  od;
  clientDone = 1;
  if
  :: HAS_LAST_SIGNAL && what == ENDED -> skip   /* the last signal has come */
  :: else -> running == 0                       /* the grace period */
  fi;
  ReleaseLeftovers();
  freed = 1
}

#ifndef NOSTOP
/* BasicProducer::RequestOwnStop (Stop, StopThis, a shared source's link)
 * from another thread of the client's, at any moment after Start:
 * HandOver's FenceStop(), then std::stop_source::request_stop(), which
 * runs the callbacks newest first: the wake-ups of waits and pauses (any
 * order among threads), each producer's OnRequest (the later producer's
 * first), the client's own (registered before Start). */
proctype RequestOwnStop() {
  byte cur, i;
  bit due;
#ifndef FAULT_NO_FENCE
  /* FenceStop */
  Lock(MX_HANDBACK, STOPPER);
  stopping = 1;
  Unlock(MX_HANDBACK, STOPPER);
#endif
  stop = 1;
  do
  :: atomic { cbState[0] == 1 -> cbState[0] = 2; cur = 0 }; RunCallback(cbKind[cur], STOPPER); cbState[cur] = 3
  :: atomic { cbState[1] == 1 -> cbState[1] = 2; cur = 1 }; RunCallback(cbKind[cur], STOPPER); cbState[cur] = 3
#if PRODUCERS >= 2
  :: atomic { cbState[2] == 1 -> cbState[2] = 2; cur = 2 }; RunCallback(cbKind[cur], STOPPER); cbState[cur] = 3
#endif
#if PRODUCERS >= 3
  :: atomic { cbState[3] == 1 -> cbState[3] = 2; cur = 3 }; RunCallback(cbKind[cur], STOPPER); cbState[cur] = 3
#endif
  :: else -> break
  od;
  cur = PRODUCERS;
  do
  :: cur > 0 ->
     cur--;
     atomic {
       if
       :: noticeCb[cur] == 1 -> noticeCb[cur] = 2; due = 1
       :: else -> due = 0
       fi
     }
     if
     :: due -> StopNotice_PrintOnce(cur); noticeCb[cur] = 3
     :: else
     fi
  :: else -> break
  od;
  ClientStopCallbacks();
  /* request_stop() returns: every producer's lines are out */
  AssertAllPrinted();
  stopDone = 1
}
#endif

/* Every record made was handed to the client exactly once. */
inline AssertAllDelivered() {
  r = 0;
  do
  :: r < nrec -> assert(delivered[r]); r++
  :: else -> break
  od
}

/* When nothing can move any more: the end must be the promised one. */
proctype Watchdog() {
  byte r;
  timeout ->
#ifdef NOSTOP
  /* No stop: every producer has made its batches, all taken. In A, a
     producer that pauses for good holds mxShared for good, and whoever
     waits for it then would have it once the pause ends (at most 10 s
     later in the library): such an end counts too (nothing but a pause
     blocks while holding mxShared), with a batch that may not be taken. */
  if
  :: parked == PRODUCERS -> AssertAllDelivered()
  :: else -> assert(parked > 0 && mtx[MX_SHARED] > 0 && mtx[MX_SHARED] <= PRODUCERS)
  fi
#else
  /* After the stop everybody has ended and the structure is gone. */
  assert(stopDone && running == 0 && freed);
  /* One last signal exactly when no batch was left waiting; none after a
     batch that came after the stop. */
  assert(!HAS_LAST_SIGNAL || lastSignals == 1 - tBlw);
  assert(!(batchAfterStop && lastSignals > 0));
  AssertAllDelivered()
#endif
}

init {
  byte p;
  VariantInit();
  running = PRODUCERS;
  p = 0;
  do
  :: p < PRODUCERS -> run RunFrame(p); setUp[p]; p++   /* Start returns once set up */
  :: else -> break
  od;
  run Client();
#ifndef NOSTOP
  run RequestOwnStop();
#endif
  run Watchdog()
}
