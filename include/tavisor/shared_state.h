// The structure through which a producer started by Start hands batches of
// records to its client, one layout per variant letter.
//
// The client owns the structure: it constructs it, passes its address to
// Start(letter, &state), and keeps it (and whatever its pointer members point
// to) alive until the producer has ended. The producer uses exactly the
// members below, in place, by their position; a client that declares its own
// structure must repeat them member for member and may add members of its
// own after them, which the producer never touches.
//
// Every variant begins with `stoken`, taken from a std::stop_source that the
// client keeps. Start returns once its producer has printed "Generator in DLL
// started" and registered its stop callback. A producer runs until a stop is
// requested on that source:
//   * "Loop in DLL broken off" and "Type a command" are printed once per
//     producer, one right after the other, and are out when request_stop()
//     returns (a producer stopped before Start prints them as it starts,
//     before Start returns). Usually the thread that calls request_stop()
//     prints them, inside the call; the producer's own thread does when it
//     gets to its end first. request_stop() runs stop callbacks newest
//     first, so a stop callback of yours registered after Start runs before
//     the library's. Such a callback may take mxShared (A) or wait for the
//     last signal (B to E), whenever it was registered: the producer frees
//     mxShared first, then prints the lines, then sends its last signal, and
//     a pause also looks at the stop state every 50 ms, so the stop returns
//     within that plus the time of a batch already being made;
//   * a producer pausing between batches (1 to 10 s) wakes and ends;
//   * a batch already being made is finished and announced first;
//   * B to E send one last signal (see each layout), after the two lines,
//     when the stop finds no batch of theirs waiting to be taken: during a
//     pause, before the first pause (also for a stop before Start), or after
//     the client had emptied the queue (before requesting the stop). A stop
//     that ends the producer's wait for the client to empty the queue brings
//     nothing more;
//   * after its last signal a producer touches neither the structure nor
//     anything its members point to: from the moment the client has received
//     the last signal, it may destroy the structure, its latch or promise,
//     and E's last buffer. B to E without a last signal (the stop found a
//     batch out, or one went out after it): the producer's last look at the
//     queue is over when the request_stop() call that returned true
//     returns (its stop callback looks, inside that call, if the producer
//     has not looked yet), and after announcing a batch it touches nothing
//     more. So once that call has returned and the batch has been received,
//     the structure may go. Variant A: nothing tells when the producer is
//     done with the structure.
//
// Several producers may run on one structure (Start called again with the
// same address; they share its stop token). For B to E they take turns at
// the hand-over, so that the client sees exactly one producer's protocol: a
// producer appends and announces a batch only once the client has taken the
// batch before (and, in D and E, put the next latch or promise in place),
// never while the client removes another producer's records; after a stop
// the structure gets one last signal, from the producer that ends last,
// unless a batch was left waiting. Each producer prints its own lines. For A
// mxShared already keeps them apart. The turns cost the usual single
// producer an atomic exchange and a store per batch.
//
// Start(letter, nullptr) throws ("Start: the SharedState pointer is null")
// and starts nothing; a letter other than A to E is refused first ("Unknown
// version"). Any other address must be that of a live structure of the
// letter's layout: the library cannot check it.
//
// Each variant's cycle: pause 1 to 10 s; append 1 to 4 new Item* to the
// queue (they belong to the client from then on; delete each); announce the
// batch; wait on cvShared until the client has emptied the queue. After
// emptying it, the client calls cvShared.notify_all().
//
// Variants B to E read the queue's emptiness from the producer thread, and
// the layouts hold no lock that both sides take around the queue. So the
// producer reads it only where the read is ordered after the client's
// removals:
//   * after the client's notification of cvShared, which the client sends
//     once it has emptied the queue. The producer announces the batch as
//     its wait on cvShared releases its own lock, and a condition variable
//     releases the lock and blocks as one step, so no notification that
//     follows the announcement can be missed: the wait has no time-out;
//   * once after a stop that ended that wait, to learn whether the batch
//     was taken (then the last signal comes) or not (then nothing more).
//     The stop orders this read after whatever the client did before it
//     requested the stop. So the client empties the queue only before it
//     requests the stop, never after: request the stop on the thread that
//     empties the queue, or from another thread under a lock that the
//     emptying thread holds while it checks stop_requested() and empties
//     the queue. After the stop, read and delete a batch's records but
//     leave the queue as it is. A batch announced after the stop is left
//     waiting without a read.
// A client that empties the queue and does not notify leaves the producer
// waiting until the stop. The client must not touch the queue between
// notifying cvShared and the next announcement. (The one read the producer
// makes on a wake-up of cvShared that nobody notified would not be ordered;
// the standard allows such wake-ups, but the condition variables of glibc
// and of Windows' runtime give none without a notification.)
//
// Linking: records and these synchronisation objects cross the library
// boundary as native objects, so the client must use the same compiler and
// standard library as the library. With GCC's libstdc++, std::barrier and
// std::latch wake their waiters through a table in inline header code, one
// copy per module: on Linux link the client with -rdynamic (CMake
// ENABLE_EXPORTS, which the Tavisor::Tavisor target sets) so that library
// and client share one table, otherwise variants B and D never wake the
// client. A client of a MinGW-built Tavisor.dll cannot use B and D across the
// DLL boundary at all; A, C and E work everywhere. MSVC's standard library
// keeps these waits in its runtime DLL and is not affected.
#pragma once

#include "tavisor/build_requirements.h"

#include <barrier>
#include <condition_variable>
#include <deque>
#include <future>
#include <latch>
#include <mutex>
#include <semaphore>
#include <stop_token>
#include <utility>

#include "tavisor/item.h"

namespace tavisor {

// The queue of new records; the producer appends, only the client removes.
using ItemQueue = std::deque<Item*>;

template <char Variant>
struct SharedState;

// The variant that `letter` names: 'A' to 'E' for a to e in either case,
// '\0' for any other character. Start and the client headers read a letter
// through this one function.
constexpr char NormalizedVariantLetter(char letter) {
  if (letter >= 'a' && letter <= 'e') return static_cast<char>(letter - 'a' + 'A');
  if (letter >= 'A' && letter <= 'E') return letter;
  return '\0';
}

// visit.template operator()<V>() for the variant V that `letter` names
// (either case), or otherwise() for any other letter: the one way from a
// letter known at run time to the code of its variant. Both must return
// the same type.
template <class Visit, class Otherwise>
decltype(auto) VisitVariant(char letter, Visit&& visit, Otherwise&& otherwise) {
  switch (NormalizedVariantLetter(letter)) {
    case 'A':
      return std::forward<Visit>(visit).template operator()<'A'>();
    case 'B':
      return std::forward<Visit>(visit).template operator()<'B'>();
    case 'C':
      return std::forward<Visit>(visit).template operator()<'C'>();
    case 'D':
      return std::forward<Visit>(visit).template operator()<'D'>();
    case 'E':
      return std::forward<Visit>(visit).template operator()<'E'>();
    default:
      return std::forward<Otherwise>(otherwise)();
  }
}

// The members keep the standard types (std::mutex, not the annotated mutex
// of tavisor/internal/thread_annotations.h): they are the layout the
// library and every client build against. So nothing here says what
// mxShared guards to clang's analysis; the protocols below say it.
//
// A: mutex and condition variable. The producer holds mxShared for a whole
// cycle (pause, batch, announcement) and gives it up only while it waits for
// the queue to empty. The client waits on cvShared with mxShared for a
// non-empty queue, takes the records, notifies cvShared. After a stop the
// producer sends nothing: a client waiting for a batch must notice the stop
// itself (wait with the stop token).
template <>
struct SharedState<'A'> {
  explicit SharedState(std::stop_token token) : stoken(std::move(token)) {}

  std::stop_token stoken;
  std::mutex mxShared;
  std::condition_variable_any cvShared;
  ItemQueue queue;
};

// B: barrier. Construct `barrier` with the producer counted as one
// participant (std::barrier<>{2} for one client thread). The client arrives
// and waits; when the phase completes the batch is in the queue. The
// producer arrives without waiting for the phase: the client's emptying of
// the queue, which the producer waits for, comes after it anyway. The last
// signal is one more arrival with nothing appended.
template <>
struct SharedState<'B'> {
  SharedState(std::stop_token token, std::ptrdiff_t participants)
      : stoken(std::move(token)), barrier(participants) {}

  std::stop_token stoken;
  std::barrier<> barrier;
  std::condition_variable_any cvShared;
  ItemQueue queue;
};

// C: binary semaphore, usually constructed with count 0. The client acquires
// it; then the batch is in the queue. The last signal releases it once more
// with nothing appended.
template <>
struct SharedState<'C'> {
  explicit SharedState(std::stop_token token, std::ptrdiff_t initial_count = 0)
      : stoken(std::move(token)), semaphore(initial_count) {}

  std::stop_token stoken;
  std::counting_semaphore<1> semaphore;
  std::condition_variable_any cvShared;
  ItemQueue queue;
};

// D: latch, reached through a pointer because a latch cannot be reset. The
// producer counts *pLatch down by 1 per batch; the client waits on it,
// points pLatch at a fresh latch, and only then takes the records and
// notifies cvShared (the producer may count down again as soon as it finds
// the queue empty). The last signal counts the current latch down once more
// with nothing appended.
template <>
struct SharedState<'D'> {
  SharedState(std::stop_token token, std::latch* first_latch)
      : stoken(std::move(token)), pLatch(first_latch) {}

  std::stop_token stoken;
  std::latch* pLatch;
  std::condition_variable_any cvShared;
  ItemQueue queue;
};

// E: promise. Each batch comes in a new buffer of the producer's, delivered
// as the value of *pPromise. The client takes the buffer from the future,
// points pPromise at a fresh promise, and only then removes every Item*
// from the buffer and notifies cvShared. The producer frees each buffer when
// it makes the next one; the last signal is a null value. The buffer
// delivered last is left to the client: once the producer has ended, the
// client deletes the last non-null buffer it received.
template <>
struct SharedState<'E'> {
  SharedState(std::stop_token token, std::promise<ItemQueue*>* first_promise)
      : stoken(std::move(token)), pPromise(first_promise) {}

  std::stop_token stoken;
  std::promise<ItemQueue*>* pPromise;
  std::condition_variable_any cvShared;
};

}  // namespace tavisor
