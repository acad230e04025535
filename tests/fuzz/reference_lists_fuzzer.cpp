// libFuzzer target for the reference list loader: arbitrary bytes as the
// bird file and the municipality file, loaded into fresh lists. The files
// are handed to the loader from memory, so no time goes to the file system
// (the tests cover opening real files).
//
// Input layout: byte 0 holds flags (bit 0: no bird file, bit 1: no
// municipality file, bit 2: load a second time into the same lists, bit 3:
// load behind lists that already hold the minimums, as a reload does, so
// that small inputs reach every step; bits 4 to 7: how many bytes a read may
// deliver at most, from kReadSizes), bytes 1 to 4 the length of the bird
// file (little endian, cut to what is there), then the bird file's bytes,
// then the municipality file's bytes.
//
// Besides crashes, undefined behaviour, leaks and time or memory limits
// (the sanitizers and libFuzzer catch those), every run checks that the
// outcome is exactly what the bytes call for: the failure message is one of
// the loader's defined forms, every line is appended as read, and the lists
// only ever grow.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "refdata/line_reader.h"
#include "refdata/reference_lists.h"

namespace {

using tavisor::BirdInfo;
using tavisor::ReferenceLists;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "reference_lists_fuzzer: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

// Takes a plain text: a std::string made for every check would cost more
// than most runs.
void Check(bool ok, const char* what) {
  if (!ok) Fail(what);
}

void CheckMessage(const std::string& failure, const std::string& expected) {
  if (failure != expected) Fail("message \"" + failure + "\", expected \"" + expected + "\"");
}

// Reads shorter than the loader's block put the block ends (where a line
// is carried over into the next read) anywhere in a small input.
constexpr std::size_t kReadSizes[16] = {
    tavisor::kReadBlockSize, 1, 2, 3, 5, 8, 64, 127, 254, 255, 256, 257, 300, 4095, 4096, 65535};

// The two files as the loader sees them: bytes, or absent.
struct Files {
  std::optional<std::string_view> birds;
  std::optional<std::string_view> communities;
  std::size_t read_size;

  tavisor::OpenListFile Opener() const {
    return [this](const char* file) -> std::unique_ptr<tavisor::ByteSource> {
      const std::optional<std::string_view>& bytes =
          std::string_view(file) == tavisor::kBirdListFile ? birds : communities;
      if (!bytes) return nullptr;
      return tavisor::MemorySource(*bytes, read_size);
    };
  }
};

// The lines of a file as the loader must read them: nothing from the first
// Ctrl-Z on, split at every line feed, a carriage return right before a line
// feed dropped, one (possibly empty) line after the last line feed.
std::vector<std::string_view> ExpectedLines(std::string_view bytes) {
  bytes = bytes.substr(0, bytes.find('\x1A'));
  std::vector<std::string_view> lines;
  for (;;) {
    const std::size_t lf = bytes.find('\n');
    if (lf == std::string_view::npos) {
      lines.push_back(bytes);
      return lines;
    }
    std::string_view line = bytes.substr(0, lf);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    bytes.remove_prefix(lf + 1);
  }
}

// What one load of one file must append and report: the lines up to the
// first over-long one, and the failure that this line causes.
struct FileOutcome {
  std::vector<std::string_view> lines;
  std::string failure;  // empty: the whole file is read
};

FileOutcome ExpectedFile(std::optional<std::string_view> bytes, const char* file) {
  const std::string quoted = std::string("\"") + file + "\"";
  if (!bytes) return {{}, "Unable to open file " + quoted};
  FileOutcome outcome;
  for (std::string_view line : ExpectedLines(*bytes)) {
    if (line.size() > tavisor::kMaximumLineLength) {
      outcome.failure = "File " + quoted + " is corrupted, line " +
                        std::to_string(outcome.lines.size() + 1) + " is longer than 255 characters";
      break;
    }
    outcome.lines.push_back(line);
  }
  return outcome;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool HasBlank(std::string_view s) {
  for (char c : s) {
    if (IsBlank(c)) return true;
  }
  return false;
}

// A parsed species line keeps its shape whatever the bytes were.
void CheckBird(const BirdInfo& bird) {
  Check(!HasBlank(bird.order) && !HasBlank(bird.family), "white space in order or family");
  Check(!IsBlank(bird.rarity), "white space as rarity");
  Check(bird.name.empty() || bird.name.back() == ' ', "name does not end in a blank");
  Check(bird.name.empty() || !(bird.name[0] >= 'a' && bird.name[0] <= 'z'),
        "name starts with a lower-case ASCII letter");
  Check(bird.name.find('\t') == std::string::npos, "tab inside a name");
}

void BirdsMatch(const ReferenceLists& lists, std::size_t from,
                const std::vector<std::string_view>& lines) {
  Check(lists.birds.size() >= from + lines.size(), "species entries missing");
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const BirdInfo& bird = lists.birds[from + i];
    const BirdInfo expected = tavisor::ParseBirdLine(lines[i]);
    Check(bird.order == expected.order && bird.family == expected.family &&
              bird.name == expected.name && bird.rarity == expected.rarity,
          "species entry differs from its line");
    CheckBird(bird);
  }
}

void CommunitiesMatch(const ReferenceLists& lists, std::size_t from,
                      const std::vector<std::string_view>& lines) {
  Check(lists.communities.size() >= from + lines.size(), "community entries missing");
  for (std::size_t i = 0; i < lines.size(); ++i) {
    Check(lists.communities[from + i] == lines[i], "community entry differs from its line");
  }
}

// The entries of one load: where they begin and the lines they come from.
struct Appended {
  std::size_t birds_from = 0, communities_from = 0;
  std::vector<std::string_view> bird_lines, community_lines;
};

void AppendedMatch(const ReferenceLists& lists, const Appended& a) {
  BirdsMatch(lists, a.birds_from, a.bird_lines);
  CommunitiesMatch(lists, a.communities_from, a.community_lines);
}

// One load into `lists`, checked against what the two files call for.
// Returns what it appended.
Appended LoadAndCheck(ReferenceLists& lists, const Files& files) {
  Appended appended{lists.birds.size(), lists.communities.size(), {}, {}};
  const std::string failure = tavisor::LoadReferenceLists(lists, files.Opener());
  Check(lists.birds.size() >= appended.birds_from &&
            lists.communities.size() >= appended.communities_from,
        "a list shrank");

  FileOutcome bird_file = ExpectedFile(files.birds, tavisor::kBirdListFile);
  appended.bird_lines = std::move(bird_file.lines);
  BirdsMatch(lists, appended.birds_from, appended.bird_lines);
  Check(lists.birds.size() == appended.birds_from + appended.bird_lines.size(),
        "wrong number of species appended");
  std::string expected = bird_file.failure;
  if (expected.empty() && lists.birds.size() < tavisor::kMinimumSpecies) {
    expected = "File \"Eesti linnud.txt\" is corrupted, number of species cannot be less than 414";
  }
  if (!expected.empty()) {
    // The municipality file is not even opened.
    Check(lists.communities.size() == appended.communities_from,
          "communities appended after a bird failure");
    CheckMessage(failure, expected);
    return appended;
  }

  FileOutcome community_file = ExpectedFile(files.communities, tavisor::kMunicipalityListFile);
  appended.community_lines = std::move(community_file.lines);
  CommunitiesMatch(lists, appended.communities_from, appended.community_lines);
  Check(lists.communities.size() == appended.communities_from + appended.community_lines.size(),
        "wrong number of communities appended");
  expected = community_file.failure;
  if (expected.empty() && lists.communities.size() < tavisor::kMinimumCommunities) {
    expected =
        "File \"Eesti omavalitsused.txt\" is corrupted, number of communities cannot be less "
        "than 79";
  }
  CheckMessage(failure, expected);
  return appended;
}

// Lists as a successful load of 414 species and 79 municipalities leaves
// them.
const ReferenceLists& LoadedLists() {
  static const ReferenceLists loaded = [] {
    std::string birds, communities;
    for (int i = 0; i < 414; ++i) birds += "o f lind" + std::to_string(i) + " A\r\n";
    for (int i = 0; i < 79; ++i) communities += "Vald " + std::to_string(i) + "\r\n";
    ReferenceLists lists;
    const Files files{birds, communities, tavisor::kReadBlockSize};
    if (!tavisor::LoadReferenceLists(lists, files.Opener()).empty()) Fail("cannot load lists");
    return lists;
  }();
  return loaded;
}

// The loaded lists to load behind, kept between runs and cut back to the
// loaded entries after each (copying them for every run would cost more
// than the run itself).
ReferenceLists& ListsToReload() {
  static ReferenceLists lists = LoadedLists();
  return lists;
}

void LoadedEntriesUnchanged(const ReferenceLists& lists) {
  const ReferenceLists& loaded = LoadedLists();
  for (std::size_t i = 0; i < loaded.birds.size(); ++i) {
    const BirdInfo& a = lists.birds[i];
    const BirdInfo& b = loaded.birds[i];
    Check(a.order == b.order && a.family == b.family && a.name == b.name && a.rarity == b.rarity,
          "an earlier species entry changed");
  }
  for (std::size_t i = 0; i < loaded.communities.size(); ++i) {
    Check(lists.communities[i] == loaded.communities[i], "an earlier community entry changed");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const unsigned flags = input.empty() ? 0u : static_cast<unsigned char>(input[0]);
  input.remove_prefix(input.empty() ? 0 : 1);
  std::size_t bird_length = 0;
  for (int i = 0; i < 4 && !input.empty(); ++i) {
    bird_length |= static_cast<std::size_t>(static_cast<unsigned char>(input[0])) << (8 * i);
    input.remove_prefix(1);
  }
  if (bird_length > input.size()) bird_length = input.size();

  Files files{input.substr(0, bird_length), input.substr(bird_length), kReadSizes[flags >> 4]};
  if (flags & 1u) files.birds.reset();
  if (flags & 2u) files.communities.reset();

  const bool reload = (flags & 8u) != 0;
  ReferenceLists fresh;
  ReferenceLists& lists = reload ? ListsToReload() : fresh;
  const Appended first = LoadAndCheck(lists, files);
  if (flags & 4u) {
    LoadAndCheck(lists, files);
    AppendedMatch(lists, first);  // the second load left the first one's entries alone
  }
  if (reload) {
    LoadedEntriesUnchanged(lists);
    lists.birds.resize(LoadedLists().birds.size());
    lists.communities.resize(LoadedLists().communities.size());
  }
  return 0;
}
