// The two library-wide reference lists and their loader.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "refdata/drawn_lengths.h"
#include "refdata/line_reader.h"
#include "tavisor/api.h"

namespace tavisor {

// One species of the bird catalogue.
struct BirdInfo {
  std::string order;
  std::string family;
  std::string name;  // every word followed by one blank, first ASCII letter upper-cased
  char rarity = '\0';
};

inline constexpr std::size_t kMaximumLineLength = 255;

// Both lists only ever grow: every load appends behind what is there.
struct ReferenceLists {
  std::vector<BirdInfo> birds;           // BirdCatalogue
  std::vector<std::string> communities;  // MunicipalityList
};

// The library's own lists, for the life of the library. Loads append to
// them one at a time, while records are made from them on other threads
// without a lock: records draw only from the first kMinimumSpecies and
// kMinimumCommunities entries, and a load only appends, so those entries
// never change once the lists hold them. They are then copied once into a
// list of their own that is published (release/acquire) and never changed
// or freed before the library is unloaded; a reload builds no new view and
// moves nothing that a record reads.

// Runs `load` on the library's lists, after any load that is still running,
// and publishes what records draw from once the lists hold the minimums.
void UpdateLibraryLists(const std::function<void(ReferenceLists&)>& load);

// Calls `read` with the library's lists, between two loads.
void ReadLibraryLists(const std::function<void(const ReferenceLists&)>& read);

// What records draw from: the first kMinimumSpecies species and
// kMinimumCommunities municipalities of the library's lists, or empty lists
// while they do not hold that many. Safe to read while a load runs.
const ReferenceLists& DrawnLists();

// Parses one line of the bird file.
BirdInfo ParseBirdLine(std::string_view line);

// Appends both files of `directory` to `lists`. Returns an empty string on
// success, otherwise the message of the failure; entries appended before a
// failure stay in the lists.
std::string LoadReferenceLists(ReferenceLists& lists, const std::filesystem::path& directory);

// Opens a list file by its name (kBirdListFile, kMunicipalityListFile);
// null when it cannot be opened.
using OpenListFile = std::function<std::unique_ptr<ByteSource>(const char* file)>;

// The same load, with the files opened by `open`.
std::string LoadReferenceLists(ReferenceLists& lists, const OpenListFile& open);

}  // namespace tavisor
