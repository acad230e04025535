/* Variant E: a promise per batch, reached through SharedState<'E'>::pPromise;
 * each batch comes in a new buffer of the producer's.
 * Producer: src/producer/variants.h VariantE; client: HandOver<'E'> in
 * include/tavisor/hand_over.h. The batch is announced by
 * set_value(pBuf); the client takes the buffer from its future, points
 * pPromise at a fresh promise, then empties the buffer and notifies
 * cvShared. The producer deletes the buffer delivered last on the structure
 * when it begins the next batch (Turns::ExchangeLatestBuffer); the last
 * signal is a null value, and the last buffer is the client's to delete. */
#include "common.pml"

#define BUFS  (PRODUCERS * BATCHES + 2)
#define PROMS (PRODUCERS * BATCHES + 3)
byte bufLo[BUFS], bufHi[BUFS];   /* ItemQueue buffers: the records [lo, hi) */
bit bufFreed[BUFS];
byte nextBuf;
byte latest;                     /* Turns::latest_buffer_ */
bit promSet[PROMS], promFreed[PROMS];
byte promVal[PROMS];
byte pPromise;                   /* SharedState<'E'>::pPromise */
byte curProm, prevProm, nextProm;/* HandOver<'E'>: current_, previous_ */
bit futValid;                    /* future_.valid() */
byte lastBuf;                    /* HandOver<'E'>::last_buffer_ */

/* pPromise->set_value(v): the pointer read, then the call; never on a
 * satisfied or freed promise. */
inline SetValue(v) {
  atomic { Touch(); assert(!writingPtr); obj2 = pPromise }
  atomic { assert(!promFreed[obj2]); assert(!promSet[obj2]); promSet[obj2] = 1; promVal[obj2] = v }
}
/* VariantE::Announce: ExchangeLatestBuffer(pBuf), then set_value(pBuf). */
inline Announce(p) { latest = obj; SetValue(obj) }
inline SendLastSignal(p) { SetValue(0) }
inline ReadBatchTaken(p, res) {
  atomic { assert(!bufFreed[obj]); assert(!clearing); res = (bufLo[obj] == bufHi[obj]) }
}
#include "unlocked.pml"
/* VariantE::BeginBatch: delete the buffer delivered last, make a new one. */
inline BeginBatch(p) {
  atomic {
    if
    :: latest > 0 -> assert(!bufFreed[latest]); bufFreed[latest] = 1
    :: else
    fi;
    latest = 0
  }
  atomic { obj = nextBuf; nextBuf++; bufLo[obj] = nrec; bufHi[obj] = nrec }
}
inline Append(p) {
  atomic { assert(!bufFreed[obj]); assert(!clearing && !reading && !clientDone); bufHi[obj]++; nrec++ }
}

inline VariantInit() { curProm = 1; pPromise = 1; nextProm = 2; futValid = 1; nextBuf = 1 }
/* HandOver<'E'>::AwaitSignal without a time limit: future_.wait(). */
inline AwaitSignal() { atomic { promSet[curProm] -> assert(!promFreed[curProm]) } }
inline RenewPromise() {
  atomic {
    if :: prevProm > 0 -> promFreed[prevProm] = 1 :: else fi;
    prevProm = curProm; curProm = nextProm; nextProm++; futValid = 1
  }
  writingPtr = 1;
  atomic { Touch(); pPromise = curProm; writingPtr = 0 }
}
/* A buffer the client reads must not have been deleted by a producer. */
inline TakeBuffer(hand_back, what) {
  assert(!bufFreed[lastBuf]);
  TakeQueue(bufLo[lastBuf], bufHi[lastBuf], hand_back, what)
}
/* HandOver<'E'>::TakeSignal: future_.get(); null is the last signal; a
 * buffer is received, the fresh promise put in place before it looks
 * empty. */
inline TakeSignal(hand_back, what) {
  atomic { v = promVal[curProm]; futValid = 0 }
  if
  :: v == 0 -> what = ENDED
  :: else ->
     lastBuf = v; given = 0;   /* Receive */
     if :: hand_back -> RenewPromise() :: else fi;
     TakeBuffer(hand_back, what);
     what = BATCH_OUT
  fi
}
/* HandOver<'E'>::TakeLeftovers, then the promises go. */
inline ReleaseLeftovers() {
  if
  :: futValid && promSet[curProm] ->
     v = promVal[curProm]; futValid = 0;
     if :: v > 0 -> lastBuf = v; given = 0 :: else fi
  :: else
  fi;
  if
  :: lastBuf > 0 ->
     assert(!bufFreed[lastBuf]);
     QueueViewTake(bufLo[lastBuf], bufHi[lastBuf], 1, what);
     bufFreed[lastBuf] = 1; lastBuf = 0
  :: else
  fi;
  promFreed[curProm] = 1;
  if :: prevProm > 0 -> promFreed[prevProm] = 1 :: else fi
}
inline ClientStopCallbacks() { skip }

#include "frame.pml"
