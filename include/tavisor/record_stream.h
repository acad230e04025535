// Random records from a seed, in-process: the same seed gives the same
// records, on every platform and whatever the order in which they are made.
//
//   tavisor::RecordStream stream(42, "data");  // the directory of the two lists
//   tavisor::Item record;
//   for (int i = 0; i < 1000; ++i) {
//     stream.Next(record);                     // reuses record's storage
//     use(record);
//   }
//
// The records follow the library's own rules (the same draws in the same
// order, from the same ranges, out of the first 414 species and 79
// municipalities of the lists); only the engines' states come from the seed
// instead of the clock. Record number n (from 0) of a seed is made from
// engines seeded with the seed and n's chunk (n / kChunkRecords) through
// std::seed_seq, so a stream can start anywhere (Seek) and several streams
// can make the parts of one run side by side.
//
// The exported library is not involved: link the static library
// Tavisor::Records (CMake) and build with the same compiler as it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>

#include "tavisor/item.h"

namespace tavisor {

class RecordStream {
 public:
  // Records are made in chunks of this many, each from engines of its own.
  static constexpr std::uint64_t kChunkRecords = 1024;

  // Loads "Eesti linnud.txt" and "Eesti omavalitsused.txt" from
  // `lists_directory` as Initialize does; throws std::runtime_error with
  // Initialize's message when they cannot be used. The next record is
  // number 0.
  RecordStream(std::uint64_t seed, const std::filesystem::path& lists_directory);

  // A copy makes the same records from where the original stands; copies
  // share the loaded lists, which never change.
  RecordStream(const RecordStream& other);
  RecordStream& operator=(const RecordStream& other);
  RecordStream(RecordStream&& other) noexcept;
  RecordStream& operator=(RecordStream&& other) noexcept;
  ~RecordStream();

  std::uint64_t seed() const;
  // The number of the record that Next makes next.
  std::uint64_t position() const;
  // Goes to record number `position`; costs the draws of at most one chunk.
  void Seek(std::uint64_t position);

  // The next record.
  Item Next();
  // The next record into `record`, reusing its strings and list.
  void Next(Item& record);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace tavisor
