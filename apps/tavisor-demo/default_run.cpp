#include <string>

#include "modes.h"

namespace demo {

namespace {

constexpr int kRandomRecords = 3;
constexpr std::int32_t kTestRecords[] = {0, 10, 16};
// A batch comes after a pause of 1 to 10 seconds; allow for a slow machine.
constexpr std::chrono::seconds kLongestBatchWait{12};

}  // namespace

void EndProducers(App& app) {
  const Totals totals = app.producers().Shutdown();
  if (totals.producers == 0) return;
  app.output().Line("All producers ended: " + std::to_string(totals.producers) + " producer(s), " +
                    std::to_string(totals.batches) + " batch(es), " +
                    std::to_string(totals.records + totals.leftovers) +
                    " record(s) received and released");
}

int RunDefault(App& app, const Options& options) {
  console::Output& out = app.output();
  if (!app.ListsLoaded()) return 1;

  out.Line(std::to_string(kRandomRecords) + " random records:");
  app.ShowRandom(kRandomRecords);
  out.Line("Test records 0, 10 and 16:");
  for (const std::int32_t n : kTestRecords) app.ShowTest(n);

  if (options.batches == 0) return 0;
  out.Line(std::string("Producer of variant ") + options.variant + ", until " +
           std::to_string(options.batches) +
           " batch(es) have come (each after a pause of 1 to 10 seconds):");
  if (!app.StartProducer(options.variant)) return 1;
  const bool complete =
      app.producers().AwaitMoreBatches(static_cast<std::size_t>(options.batches),
                                       Clock::now() + options.batches * kLongestBatchWait);
  out.Line("Stopping the producer");
  app.producers().StopAll();
  EndProducers(app);
  if (!complete) {
    out.Line("The producer did not deliver " + std::to_string(options.batches) +
             " batch(es) in time");
    return 1;
  }
  return 0;
}

}  // namespace demo
