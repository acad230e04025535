#include "producers.h"

namespace demo {

int Producers::Start(char letter) {
  running_.push_back(
      std::make_unique<Session>(letter, start_, graveyard_, output_, started_ + 1, timeline_));
  return ++started_;
}

std::size_t Producers::StopAll() {
  if (running_.empty()) return 0;
  if (timeline_) timeline_->Mark("stops " + std::to_string(running_.size()) + " producer(s)");
  for (const auto& session : running_) session->RequestStop();
  for (const auto& session : running_) {
    if (session->Finish()) ++stand_ins_;
  }
  const std::size_t count = running_.size();
  for (auto& session : running_) stopped_.push_back(std::move(session));
  running_.clear();
  return count;
}

std::string Producers::RunningLetters() const {
  std::string letters;
  for (const auto& session : running_) letters += session->Letter();
  return letters;
}

bool Producers::AwaitMoreBatches(std::size_t more, Clock::time_point deadline) {
  std::vector<std::size_t> targets;
  for (const auto& session : running_) targets.push_back(session->Batches() + more);
  bool all = true;
  for (std::size_t i = 0; i < running_.size(); ++i) {
    all = running_[i]->AwaitBatches(targets[i], deadline) && all;
  }
  return all;
}

Totals Producers::Shutdown() {
  StopAll();
  Totals totals;
  for (const auto& session : stopped_) {
    totals.leftovers += session->ReleaseLeftovers();
    ++totals.producers;
    totals.batches += session->Batches();
    totals.records += session->Records();
  }
  stopped_.clear();
  return totals;
}

}  // namespace demo
