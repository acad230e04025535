// Every producer the demo has started, running or stopped.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "output.h"
#include "session.h"
#include "tavisor/producer.h"

namespace demo {

struct Totals {
  std::size_t producers = 0;
  std::size_t batches = 0;
  std::size_t records = 0;    // taken batch by batch and printed
  std::size_t leftovers = 0;  // came after the client thread had ended
};

class Producers {
 public:
  // Producers are started through `start`; their structures go to
  // `graveyard` (the Library's) once they have stopped.
  Producers(tavisor::Launcher start, tavisor::Graveyard& graveyard, console::Output& output)
      : start_(std::move(start)), graveyard_(graveyard), output_(output) {}
  ~Producers() { Shutdown(); }
  Producers(const Producers&) = delete;
  Producers& operator=(const Producers&) = delete;

  // Starts a producer of variant `letter` ('A' to 'E') and returns its
  // number (1 for the first). Throws what the library's Start throws; then
  // nothing was started.
  int Start(char letter);
  // Producers started from now on record their hand-over on `timeline`,
  // and so do the stops.
  void RecordTimeline(std::shared_ptr<tavisor::Timeline> timeline) {
    timeline_ = std::move(timeline);
  }
  // Stops every running producer and waits until each client thread has
  // seen that nothing more comes. Returns how many were stopped.
  std::size_t StopAll();
  std::size_t Running() const { return running_.size(); }
  // Letters of the running producers, in start order.
  std::string RunningLetters() const;
  // Waits until every running producer has delivered `more` batches beyond
  // what it had delivered so far, or until `deadline`. False on timeout.
  bool AwaitMoreBatches(std::size_t more, Clock::time_point deadline);
  // How many stopped producers ended without a last signal (they were
  // waiting for their batch to be taken), over every producer stopped so far.
  std::size_t StandIns() const { return stand_ins_; }
  // Stops everything, deletes what is left and ends every session; the
  // structures go to the graveyard. Totals over every producer ever started.
  Totals Shutdown();

 private:
  const tavisor::Launcher start_;
  tavisor::Graveyard& graveyard_;
  console::Output& output_;
  int started_ = 0;
  std::vector<std::unique_ptr<Session>> running_;
  // Stopped sessions, kept for their figures and for what came after their
  // client threads had finished, until Shutdown.
  std::vector<std::unique_ptr<Session>> stopped_;
  std::size_t stand_ins_ = 0;
  std::shared_ptr<tavisor::Timeline> timeline_;
};

}  // namespace demo
