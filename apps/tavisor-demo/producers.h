// Every producer the demo has started, running or stopped.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "output.h"
#include "session.h"

namespace demo {

struct Totals {
  std::size_t producers = 0;
  std::size_t batches = 0;
  std::size_t records = 0;    // taken batch by batch and printed
  std::size_t leftovers = 0;  // came after the client thread had ended
};

class Producers {
 public:
  // `grace`: see kStopGrace; tests whose producers pause only briefly
  // pass less.
  Producers(Starter start, Output& output, Clock::duration grace = kStopGrace)
      : start_(std::move(start)), output_(output), grace_(grace) {}
  ~Producers() { Shutdown(); }
  Producers(const Producers&) = delete;
  Producers& operator=(const Producers&) = delete;

  // Starts a producer of variant `letter` ('A' to 'E') and returns its
  // number (1 for the first). Throws what the library's Start throws; then
  // nothing was started.
  int Start(char letter);
  // Stops every running producer and waits for their client threads.
  // Returns how many were stopped.
  std::size_t StopAll();
  std::size_t Running() const { return running_.size(); }
  // Letters of the running producers, in start order.
  std::string RunningLetters() const;
  // Waits until every running producer has delivered `more` batches beyond
  // what it had delivered so far, or until `deadline`. False on timeout.
  bool AwaitMoreBatches(std::size_t more, Clock::time_point deadline);
  // Returns once every stopped producer has surely ended.
  void Settle();
  // Whether the client side of a stopped producer had to send its last
  // signal itself, over every producer stopped so far.
  std::size_t StandIns() const { return stand_ins_; }
  // Stops everything, waits until it has ended, deletes what is left and
  // ends every session. Totals over every producer ever started.
  Totals Shutdown();

 private:
  const Starter start_;
  Output& output_;
  const Clock::duration grace_;
  int started_ = 0;
  std::vector<std::unique_ptr<Session>> running_;
  // A stopped producer's SharedState stays here until the end: nothing tells
  // when the producer has let go of it (see kStopGrace).
  std::vector<std::unique_ptr<Session>> stopped_;
  Clock::time_point last_stop_{};
  std::size_t stand_ins_ = 0;
};

}  // namespace demo
