#include "tavisor/record_stream.h"

#include <random>
#include <stdexcept>
#include <utility>

#include "items/distributions.h"
#include "items/mt19937_blocks.h"
#include "items/record_maker.h"
#include "items/word_runs.h"
#include "refdata/reference_lists.h"

namespace tavisor {

namespace {

// One engine of a stream with its distributions: words from the stream's
// own MT19937, drawn through PortableUniform, so that the values are the
// same on every platform.
template <class Distributions>
class SeededEngine {
 public:
  // Seeds the engine with the stream's seed, the chunk and which engine of
  // the three this is (so that the three start from different states).
  void Seed(std::uint64_t seed, std::uint64_t chunk, std::uint32_t engine) {
    std::seed_seq sequence{static_cast<std::uint32_t>(seed), static_cast<std::uint32_t>(seed >> 32),
                           static_cast<std::uint32_t>(chunk),
                           static_cast<std::uint32_t>(chunk >> 32), engine};
    engine_.SeedWith(sequence);
    run_.next = run_.end = 0;
  }

  template <class Body>
  decltype(auto) Draw(Body&& body) {
    Distributions distributions{};
    RunSource<SeededEngine> source(*this, run_);
    return body(source, distributions);
  }

 private:
  friend class RunSource<SeededEngine>;

  void TakeRun(ThreadRun& run) {
    TwistRun(engine_, run);
    TemperRun(run);
  }

  Mt19937Blocks engine_{0};
  ThreadRun run_{};
};

struct SeededEngines {
  SeededEngine<ItemDistributionsOf<PortableUniform>> item;
  SeededEngine<CoordDistributionsOf<PortableUniform>> coord;
  SeededEngine<DateDistributionsOf<PortableUniform>> date;
};

std::shared_ptr<const ReferenceLists> LoadDrawnLists(const std::filesystem::path& directory) {
  auto lists = std::make_shared<ReferenceLists>();
  if (std::string failure = LoadReferenceLists(*lists, directory); !failure.empty()) {
    throw std::runtime_error(failure);
  }
  // Records draw only from the first entries.
  lists->birds.resize(kMinimumSpecies);
  lists->communities.resize(kMinimumCommunities);
  return lists;
}

constexpr std::uint64_t kNoRecord = ~std::uint64_t{0};

}  // namespace

struct RecordStream::State {
  std::shared_ptr<const ReferenceLists> lists;
  std::uint64_t seed = 0;
  std::uint64_t position = 0;
  // The number of the record that the engines would make next.
  std::uint64_t engines_at = kNoRecord;
  SeededEngines engines;

  // Seeds the engines for the chunk of `position` and draws the records
  // before it in that chunk.
  void PrepareEngines() {
    const std::uint64_t chunk = position / kChunkRecords;
    engines.item.Seed(seed, chunk, 0);
    engines.coord.Seed(seed, chunk, 1);
    engines.date.Seed(seed, chunk, 2);
    record_maker::RecordDraws skipped;
    for (std::uint64_t n = chunk * kChunkRecords; n < position; ++n) {
      record_maker::DrawRecord(skipped, engines);
    }
    engines_at = position;
  }
};

RecordStream::RecordStream(std::uint64_t seed, const std::filesystem::path& lists_directory)
    : state_(std::make_unique<State>()) {
  state_->lists = LoadDrawnLists(lists_directory);
  state_->seed = seed;
}

RecordStream::RecordStream(const RecordStream& other)
    : state_(std::make_unique<State>(*other.state_)) {}

RecordStream& RecordStream::operator=(const RecordStream& other) {
  if (this != &other) *state_ = *other.state_;
  return *this;
}

RecordStream::RecordStream(RecordStream&& other) noexcept = default;
RecordStream& RecordStream::operator=(RecordStream&& other) noexcept = default;
RecordStream::~RecordStream() = default;

std::uint64_t RecordStream::seed() const { return state_->seed; }

std::uint64_t RecordStream::position() const { return state_->position; }

void RecordStream::Seek(std::uint64_t position) { state_->position = position; }

Item RecordStream::Next() {
  Item record;
  Next(record);
  return record;
}

void RecordStream::Next(Item& record) {
  State& s = *state_;
  if (s.position % kChunkRecords == 0 || s.engines_at != s.position) s.PrepareEngines();
  DataItemGenerator::Fill(record, *s.lists, s.engines);
  ++s.position;
  ++s.engines_at;
}

}  // namespace tavisor
