#include "producers.h"

#include <thread>

namespace demo {

std::unique_ptr<Session> StartSession(char letter, const Starter& start, Output& output,
                                      int number) {
  switch (letter) {
    case 'A':
      return std::make_unique<SessionOf<ProtocolA>>(start, output, number);
    case 'B':
      return std::make_unique<SessionOf<ProtocolB>>(start, output, number);
    case 'C':
      return std::make_unique<SessionOf<ProtocolC>>(start, output, number);
    case 'D':
      return std::make_unique<SessionOf<ProtocolD>>(start, output, number);
    case 'E':
      return std::make_unique<SessionOf<ProtocolE>>(start, output, number);
    default:
      return nullptr;
  }
}

int Producers::Start(char letter) {
  std::unique_ptr<Session> session = StartSession(letter, start_, output_, started_ + 1);
  if (session == nullptr) return 0;
  running_.push_back(std::move(session));
  return ++started_;
}

std::size_t Producers::StopAll() {
  if (running_.empty()) return 0;
  for (const auto& session : running_) session->RequestStop();
  last_stop_ = Clock::now();
  const Clock::time_point deadline = last_stop_ + grace_;
  for (const auto& session : running_) {
    if (session->Finish(deadline)) ++stand_ins_;
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

void Producers::Settle() {
  if (!stopped_.empty()) std::this_thread::sleep_until(last_stop_ + grace_);
}

Totals Producers::Shutdown() {
  StopAll();
  Settle();
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
