// libFuzzer target for the reference list loader: arbitrary bytes as the
// bird file and the municipality file, loaded into fresh lists.
//
// Input layout: byte 0 holds flags (bit 0: no bird file, bit 1: no
// municipality file, bit 2: load a second time into the same lists), bytes
// 1 to 4 the length of the bird file (little endian, cut to what is there),
// then the bird file's bytes, then the municipality file's bytes.
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
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "refdata/reference_lists.h"

namespace {

namespace fs = std::filesystem;
using tavisor::BirdInfo;
using tavisor::ReferenceLists;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "reference_lists_fuzzer: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

void Check(bool ok, const std::string& what) {
  if (!ok) Fail(what);
}

// One scratch directory per fuzzing process, removed at exit.
struct ScratchDir {
  fs::path path;
  ScratchDir() {
    std::random_device rd;
    path = fs::temp_directory_path() /
           ("tavisor-fuzz-" + std::to_string(rd()) + "-" + std::to_string(rd()));
    fs::create_directories(path);
  }
  ~ScratchDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

const fs::path& Scratch() {
  static ScratchDir dir;
  return dir.path;
}

void WriteOrRemove(const fs::path& file, std::optional<std::string_view> bytes) {
  std::error_code ec;
  fs::remove(file, ec);
  if (!bytes) return;
  std::FILE* out = std::fopen(file.c_str(), "wb");
  if (out == nullptr) Fail("cannot write " + file.string());
  if (!bytes->empty() && std::fwrite(bytes->data(), 1, bytes->size(), out) != bytes->size()) {
    Fail("cannot write " + file.string());
  }
  std::fclose(out);
}

// The lines of a file as the loader must read them: split at every line
// feed, a carriage return right before a line feed dropped, one (possibly
// empty) line after the last line feed.
std::vector<std::string_view> ExpectedLines(std::string_view bytes) {
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
  Check(lists.birds.size() == from + lines.size(), "wrong number of species appended");
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
  Check(lists.communities.size() == from + lines.size(), "wrong number of communities appended");
  for (std::size_t i = 0; i < lines.size(); ++i) {
    Check(lists.communities[from + i] == lines[i], "community entry differs from its line");
  }
}

// One load into `lists`, checked against what the two files call for.
void LoadAndCheck(ReferenceLists& lists, std::optional<std::string_view> birds,
                  std::optional<std::string_view> communities) {
  const ReferenceLists before = lists;
  const std::string failure = tavisor::LoadReferenceLists(lists, Scratch());

  // Nothing that was there is changed or removed.
  Check(lists.birds.size() >= before.birds.size() &&
            lists.communities.size() >= before.communities.size(),
        "a list shrank");
  for (std::size_t i = 0; i < before.birds.size(); ++i) {
    Check(lists.birds[i].order == before.birds[i].order &&
              lists.birds[i].family == before.birds[i].family &&
              lists.birds[i].name == before.birds[i].name &&
              lists.birds[i].rarity == before.birds[i].rarity,
          "an earlier species entry changed");
  }
  for (std::size_t i = 0; i < before.communities.size(); ++i) {
    Check(lists.communities[i] == before.communities[i], "an earlier community entry changed");
  }

  const FileOutcome bird_file = ExpectedFile(birds, tavisor::kEstonianBirdsFile);
  BirdsMatch(lists, before.birds.size(), bird_file.lines);
  std::string expected = bird_file.failure;
  if (expected.empty() && lists.birds.size() < tavisor::kMinimumSpecies) {
    expected = "File \"Eesti linnud.txt\" is corrupted, number of species cannot be less than 414";
  }
  if (!expected.empty()) {
    // The municipality file is not even opened.
    Check(lists.communities.size() == before.communities.size(),
          "communities after a bird failure");
    Check(failure == expected, "message \"" + failure + "\", expected \"" + expected + "\"");
    return;
  }

  const FileOutcome community_file = ExpectedFile(communities, tavisor::kEstonianCommunitiesFile);
  CommunitiesMatch(lists, before.communities.size(), community_file.lines);
  expected = community_file.failure;
  if (expected.empty() && lists.communities.size() < tavisor::kMinimumCommunities) {
    expected =
        "File \"Eesti omavalitsused.txt\" is corrupted, number of communities cannot be less "
        "than 79";
  }
  Check(failure == expected, "message \"" + failure + "\", expected \"" + expected + "\"");
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

  std::optional<std::string_view> birds = input.substr(0, bird_length);
  std::optional<std::string_view> communities = input.substr(bird_length);
  if (flags & 1u) birds.reset();
  if (flags & 2u) communities.reset();

  WriteOrRemove(Scratch() / tavisor::kEstonianBirdsFile, birds);
  WriteOrRemove(Scratch() / tavisor::kEstonianCommunitiesFile, communities);

  ReferenceLists lists;
  LoadAndCheck(lists, birds, communities);
  if (flags & 4u) LoadAndCheck(lists, birds, communities);
  return 0;
}
