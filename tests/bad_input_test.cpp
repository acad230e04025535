// Malformed list files, each loaded twice: into empty lists, and behind a
// good load of the bundled lists. Every case has one exact outcome per
// start (message, entries appended), and a bad file never changes or removes
// what an earlier load put into the lists.

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

#include "refdata/reference_lists.h"
#include "test_support.h"

namespace tavisor {
namespace {

using testing::BirdLines;
using testing::CommunityLines;
using testing::TempDir;

using testing::kNoBirdFile;
using testing::kNoCommunities;
using testing::kNoCommunityFile;
using testing::kNoSpecies;

std::string BirdLineTooLong(int line) {
  return "File \"Eesti linnud.txt\" is corrupted, line " + std::to_string(line) +
         " is longer than 255 characters";
}
std::string CommunityLineTooLong(int line) {
  return "File \"Eesti omavalitsused.txt\" is corrupted, line " + std::to_string(line) +
         " is longer than 255 characters";
}

// Every byte value in order but `left_out`, 500 times: lines split at byte
// 10 (line feed). Text mode ends the file at the first byte 26 (Ctrl-Z).
std::string AllByteValues(int left_out = -1) {
  std::string text;
  for (int round = 0; round < 500; ++round) {
    for (int b = 0; b < 256; ++b) {
      if (b != left_out) text.push_back(static_cast<char>(b));
    }
  }
  return text;
}
std::string AllByteValuesButCtrlZ() { return AllByteValues(0x1A); }

// What stands in the directory under a list's file name. Contents are made
// only when a case runs, so the big ones cost nothing at test discovery.
struct FileSpec {
  enum class Kind { kBytes, kDirectory, kUnreadable } kind = Kind::kBytes;
  std::function<std::string()> bytes;
};
FileSpec Bytes(std::function<std::string()> bytes) { return {FileSpec::Kind::kBytes, bytes}; }
FileSpec GoodBirds() {
  return Bytes([] { return BirdLines(414, false); });
}
FileSpec GoodCommunities() {
  return Bytes([] { return CommunityLines(79, false); });
}
const FileSpec kDirectory{FileSpec::Kind::kDirectory, {}};
FileSpec Unreadable(std::function<std::string()> bytes) {
  return {FileSpec::Kind::kUnreadable, bytes};
}

struct Outcome {
  std::string failure;  // empty: success
  std::size_t birds_appended;
  std::size_t communities_appended;
};

// Checks the appended entries themselves; `birds_from` and `communities_from`
// are the first appended positions.
using EntryCheck = std::function<void(const ReferenceLists&, std::size_t birds_from,
                                      std::size_t communities_from)>;

struct BadInputCase {
  const char* label;
  FileSpec birds;
  FileSpec communities;
  Outcome into_empty_lists;
  Outcome after_good_load;  // earlier entries count towards the minimums
  EntryCheck check_entries;
};

// Puts `spec` into place; false when the file cannot be made unreadable.
bool Prepare(const TempDir& dir, const char* name, const FileSpec& spec) {
  const std::filesystem::path path = dir.path() / name;
  if (spec.kind == FileSpec::Kind::kDirectory) {
    std::filesystem::create_directory(path);
    return true;
  }
  dir.Write(name, spec.bytes());
  if (spec.kind == FileSpec::Kind::kBytes) return true;
  std::filesystem::permissions(path, std::filesystem::perms::none);
  std::FILE* probe = std::fopen(path.string().c_str(), "rb");
  if (probe == nullptr) return true;
  std::fclose(probe);
  return false;
}

void ExpectSameBirds(const BirdInfo& a, const BirdInfo& b) {
  EXPECT_EQ(a.order, b.order);
  EXPECT_EQ(a.family, b.family);
  EXPECT_EQ(a.name, b.name);
  EXPECT_EQ(a.rarity, b.rarity);
}

class BadInputTest : public ::testing::TestWithParam<BadInputCase> {};

TEST_P(BadInputTest, ReportsExactlyAndKeepsEarlierEntries) {
  const BadInputCase& c = GetParam();
  for (const bool after_good_load : {false, true}) {
    SCOPED_TRACE(after_good_load ? "after a good load" : "into empty lists");
    ReferenceLists lists;
    if (after_good_load) {
      ASSERT_EQ(LoadReferenceLists(lists, testing::BundledData()), "");
    }
    const ReferenceLists good = lists;

    TempDir dir;
    if (!Prepare(dir, kBirdListFile, c.birds) ||
        !Prepare(dir, kMunicipalityListFile, c.communities)) {
      GTEST_SKIP() << "this process reads files without read permission (root)";
    }
    const std::string failure = LoadReferenceLists(lists, dir.path());

    const Outcome& expected = after_good_load ? c.after_good_load : c.into_empty_lists;
    EXPECT_EQ(failure, expected.failure);
    ASSERT_EQ(lists.birds.size(), good.birds.size() + expected.birds_appended);
    ASSERT_EQ(lists.communities.size(), good.communities.size() + expected.communities_appended);
    for (std::size_t i = 0; i < good.birds.size(); ++i)
      ExpectSameBirds(lists.birds[i], good.birds[i]);
    for (std::size_t i = 0; i < good.communities.size(); ++i) {
      EXPECT_EQ(lists.communities[i], good.communities[i]);
    }
    if (c.check_entries) c.check_entries(lists, good.birds.size(), good.communities.size());
  }
}

const BadInputCase kBadInputCases[] = {
    {"empty_community_file",
     GoodBirds(),
     Bytes([] { return std::string(); }),
     {kNoCommunities, 414, 1},
     {"", 414, 1},
     [](const ReferenceLists& lists, std::size_t, std::size_t from) {
       EXPECT_EQ(lists.communities[from], "");
     }},
    {"only_blanks_in_bird_file",
     Bytes([] { return std::string(" \t \r\n\t\r\n   "); }),
     GoodCommunities(),
     {kNoSpecies, 3, 0},
     {"", 3, 79},
     [](const ReferenceLists& lists, std::size_t from, std::size_t) {
       for (std::size_t i = from; i < from + 3; ++i) ExpectSameBirds(lists.birds[i], BirdInfo{});
     }},
    {"only_blanks_in_community_file",
     GoodBirds(),
     Bytes([] {
       std::string text = " \t ";
       for (int i = 1; i < 80; ++i) text += "\r\n \t ";
       return text;
     }),
     {"", 414, 80},
     {"", 414, 80},
     [](const ReferenceLists& lists, std::size_t, std::size_t from) {
       EXPECT_EQ(lists.communities[from], " \t ");
       EXPECT_EQ(lists.communities.back(), " \t ");
     }},
    {"binary_community_file_ends_at_ctrl_z",
     GoodBirds(),
     Bytes([] { return AllByteValues(); }),
     {kNoCommunities, 414, 2},
     {"", 414, 2},
     [](const ReferenceLists& lists, std::size_t, std::size_t from) {
       const std::string all = AllByteValues();
       EXPECT_EQ(lists.communities[from], all.substr(0, 10));
       EXPECT_EQ(lists.communities[from + 1], all.substr(11, 15));  // bytes 11 to 25
     }},
    {"binary_community_file_without_ctrl_z",
     GoodBirds(),
     Bytes(AllByteValuesButCtrlZ),
     {"", 414, 501},
     {"", 414, 501},
     [](const ReferenceLists& lists, std::size_t, std::size_t from) {
       const std::string all = AllByteValuesButCtrlZ();
       EXPECT_EQ(lists.communities[from], all.substr(0, 10));
       EXPECT_EQ(lists.communities[from + 1], all.substr(10 + 1, 254));
       EXPECT_EQ(lists.communities.back(), all.substr(10 + 1, 244));
     }},
    {"nul_bytes_only_bird_file",
     Bytes([] { return std::string(1000, '\0'); }),
     GoodCommunities(),
     {BirdLineTooLong(1), 0, 0},
     {BirdLineTooLong(1), 0, 0},
     {}},
    {"utf8_text_kept_as_bytes",
     Bytes([] {
       std::string text = "\xEF\xBB\xBF";  // byte order mark
       for (int i = 0; i < 414; ++i) text += "o f \xC3\xB5\xC3\xB5netuvi A\r\n";
       return text;
     }),
     Bytes([] {
       std::string text;
       for (int i = 0; i < 79; ++i) text += "V\xC3\xB5ru vald\r\n";
       return text;
     }),
     {"", 415, 80},
     {"", 415, 80},
     [](const ReferenceLists& lists, std::size_t birds_from, std::size_t communities_from) {
       EXPECT_EQ(lists.birds[birds_from].order, "\xEF\xBB\xBFo");
       EXPECT_EQ(lists.birds[birds_from + 1].name, "\xC3\xB5\xC3\xB5netuvi ");
       EXPECT_EQ(lists.communities[communities_from], "V\xC3\xB5ru vald");
     }},
    {"cr_only_line_ends_in_community_file",
     GoodBirds(),
     Bytes([] { return CommunityLines(79, false, "\r"); }),
     {CommunityLineTooLong(1), 414, 0},
     {CommunityLineTooLong(1), 414, 0},
     {}},
    {"million_line_community_file",
     GoodBirds(),
     Bytes([] { return CommunityLines(1'000'000, true); }),
     {"", 414, 1'000'001},
     {"", 414, 1'000'001},
     [](const ReferenceLists& lists, std::size_t, std::size_t from) {
       EXPECT_EQ(lists.communities[from + 999'999], "Vald 999999");
       EXPECT_EQ(lists.communities.back(), "");
     }},
    {"ten_megabyte_line_in_bird_file",
     Bytes([] {
       return BirdLines(20, true) + std::string(10'000'000, 'x') + "\r\n" + BirdLines(500, false);
     }),
     GoodCommunities(),
     {BirdLineTooLong(21), 20, 0},
     {BirdLineTooLong(21), 20, 0},
     {}},
    {"directory_as_community_file",
     GoodBirds(),
     kDirectory,
     {kNoCommunityFile, 414, 0},
     {kNoCommunityFile, 414, 0},
     {}},
    {"unreadable_bird_file",
     Unreadable([] { return BirdLines(414, false); }),
     GoodCommunities(),
     {kNoBirdFile, 0, 0},
     {kNoBirdFile, 0, 0},
     {}},
};

INSTANTIATE_TEST_SUITE_P(ListFiles, BadInputTest, ::testing::ValuesIn(kBadInputCases),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace tavisor
