#include <gtest/gtest.h>

#include <algorithm>

#include "api/entry_points.h"
#include "platform/console.h"
#include "refdata/reference_lists.h"
#include "test_console.h"
#include "test_support.h"

namespace tavisor {
namespace {

using testing::BirdLines;
using testing::CommunityLines;
using testing::TempDir;

struct BirdLineCase {
  const char* label;
  std::string line;
  std::string order, family, name;
  char rarity;
};

class BirdLineTest : public ::testing::TestWithParam<BirdLineCase> {};

TEST_P(BirdLineTest, SplitsWordsIntoFields) {
  const BirdLineCase& c = GetParam();
  const BirdInfo info = ParseBirdLine(c.line);
  EXPECT_EQ(info.order, c.order);
  EXPECT_EQ(info.family, c.family);
  EXPECT_EQ(info.name, c.name);
  EXPECT_EQ(info.rarity, c.rarity);
}

INSTANTIATE_TEST_SUITE_P(
    LineFormat, BirdLineTest,
    ::testing::Values(
        BirdLineCase{"five_words", "haneli partlas hall hani A", "haneli", "partlas", "Hall hani ",
                     'A'},
        BirdLineCase{"lower_case_rarity_kept", "o f suur kajakas a", "o", "f", "Suur kajakas ",
                     'a'},
        BirdLineCase{"one_letter_third_word", "o f X more words", "o", "f", "", 'X'},
        BirdLineCase{"words_after_rarity_ignored", "o f nimi B tail words", "o", "f", "Nimi ", 'B'},
        BirdLineCase{"no_rarity", "o f kaks s\xF5na", "o", "f", "Kaks s\xF5na ", '\0'},
        BirdLineCase{"trailing_blank_adds_empty_word", "o f nimi \t", "o", "f", "Nimi  ", '\0'},
        BirdLineCase{"one_word", "ainult", "ainult", "", "", '\0'},
        BirdLineCase{"one_word_then_blank", "ainult ", "ainult", "", "", '\0'},
        BirdLineCase{"empty_line", "", "", "", "", '\0'},
        BirdLineCase{"blank_line", "  \t ", "", "", "", '\0'},
        BirdLineCase{"tabs_separate", "o\tf\t\tnimi\tC", "o", "f", "Nimi ", 'C'},
        BirdLineCase{"leading_blanks_skipped", "   o f nimi A", "o", "f", "Nimi ", 'A'},
        BirdLineCase{"one_char_order_family", "x y nimi A", "x", "y", "Nimi ", 'A'},
        BirdLineCase{"estonian_first_letter_keeps_case", "o f \xF5\xF5netuvi A", "o", "f",
                     "\xF5\xF5netuvi ", 'A'},
        BirdLineCase{"nul_byte_is_a_character", std::string("o f n\0i A", 9), "o", "f",
                     std::string("N\0i ", 4), 'A'},
        BirdLineCase{"high_byte_word_of_one_char_is_rarity", "o f nimi \xE4", "o", "f", "Nimi ",
                     '\xE4'}),
    [](const auto& info) { return std::string(info.param.label); });

// Writes the two files (or leaves one out when its text is absent).
void WriteLists(const TempDir& dir, const std::optional<std::string>& birds,
                const std::optional<std::string>& communities) {
  if (birds) dir.Write(kBirdListFile, *birds);
  if (communities) dir.Write(kMunicipalityListFile, *communities);
}

using testing::kNoBirdFile;
using testing::kNoCommunities;
using testing::kNoCommunityFile;
using testing::kNoSpecies;

struct LoadCase {
  const char* label;
  std::optional<std::string> birds;
  std::optional<std::string> communities;
  std::string failure;  // empty: success
  std::size_t birds_after;
  std::size_t communities_after;
};

class LoadTest : public ::testing::TestWithParam<LoadCase> {};

TEST_P(LoadTest, AppendsLinesAndReportsFailures) {
  const LoadCase& c = GetParam();
  TempDir dir;
  WriteLists(dir, c.birds, c.communities);
  ReferenceLists lists;
  EXPECT_EQ(LoadReferenceLists(lists, dir.path()), c.failure);
  EXPECT_EQ(lists.birds.size(), c.birds_after);
  EXPECT_EQ(lists.communities.size(), c.communities_after);
}

INSTANTIATE_TEST_SUITE_P(
    Files, LoadTest,
    ::testing::Values(
        LoadCase{"exact_minimums", BirdLines(414, false), CommunityLines(79, false), "", 414, 79},
        LoadCase{"final_break_adds_empty_entry", BirdLines(414, true), CommunityLines(79, true), "",
                 415, 80},
        LoadCase{"413_species_fail", BirdLines(413, false), CommunityLines(79, false), kNoSpecies,
                 413, 0},
        LoadCase{"413_species_and_final_break_succeed", BirdLines(413, true),
                 CommunityLines(79, false), "", 414, 79},
        LoadCase{"empty_bird_file_gives_one_entry", "", CommunityLines(79, false), kNoSpecies, 1,
                 0},
        LoadCase{"78_communities_fail", BirdLines(414, false), CommunityLines(78, false),
                 kNoCommunities, 414, 78},
        LoadCase{"78_communities_and_final_break_succeed", BirdLines(414, false),
                 CommunityLines(78, true), "", 414, 79},
        LoadCase{"missing_bird_file", std::nullopt, CommunityLines(79, false), kNoBirdFile, 0, 0},
        LoadCase{"missing_community_file", BirdLines(414, false), std::nullopt, kNoCommunityFile,
                 414, 0},
        LoadCase{"lf_only_line_ends", BirdLines(414, false, "\n"), CommunityLines(79, false, "\n"),
                 "", 414, 79},
        LoadCase{"cr_alone_does_not_end_a_line", BirdLines(5, false, "\r"),
                 CommunityLines(79, false), kNoSpecies, 1, 0},
        LoadCase{"long_bird_line_names_file_and_line",
                 BirdLines(16, true) + std::string(256, 'x') + "\r\n" + BirdLines(500, false),
                 CommunityLines(79, false),
                 "File \"Eesti linnud.txt\" is corrupted, line 17 is longer than 255 characters",
                 16, 0},
        LoadCase{"last_bird_line_of_255_without_break",
                 BirdLines(414, true) + std::string(255, 'x'), CommunityLines(79, false), "", 415,
                 79},
        LoadCase{"last_bird_line_of_256_without_break",
                 BirdLines(414, true) + std::string(256, 'x'), CommunityLines(79, false),
                 "File \"Eesti linnud.txt\" is corrupted, line 415 is longer than 255 characters",
                 414, 0},
        LoadCase{
            "ctrl_z_ends_the_bird_file",
            BirdLines(414, false) + "\x1A" + std::string(300, 'x') + "\r\n" + BirdLines(5, false),
            CommunityLines(79, false), "", 414, 79},
        LoadCase{"ctrl_z_after_a_final_break_gives_an_empty_line",
                 BirdLines(413, true) + "\x1A" + BirdLines(5, false), CommunityLines(79, false), "",
                 414, 79},
        LoadCase{"ctrl_z_cuts_the_species_short",
                 BirdLines(413, false) + "\x1A\r\n" + BirdLines(5, false),
                 CommunityLines(79, false), kNoSpecies, 413, 0},
        LoadCase{"ctrl_z_as_first_byte_gives_an_empty_file", BirdLines(414, false),
                 "\x1A" + CommunityLines(79, false), kNoCommunities, 414, 1},
        LoadCase{"long_community_line", BirdLines(414, false),
                 CommunityLines(3, true) + std::string(300, 'v'),
                 "File \"Eesti omavalitsused.txt\" is corrupted, line 4 is longer than 255 "
                 "characters",
                 414, 3}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(LoadReferenceLists, LineOf255CharactersFitsAnd256DoNot) {
  for (const bool crlf : {false, true}) {
    for (const std::size_t length : {255u, 256u}) {
      TempDir dir;
      const std::string brk = crlf ? "\r\n" : "\n";
      WriteLists(dir, BirdLines(414, true, brk),
                 std::string(length, 'v') + brk + CommunityLines(79, false, brk));
      ReferenceLists lists;
      const std::string failure = LoadReferenceLists(lists, dir.path());
      SCOPED_TRACE(::testing::Message() << "length " << length << " crlf " << crlf);
      if (length == 255) {
        EXPECT_EQ(failure, "");
        EXPECT_EQ(lists.communities.front(), std::string(255, 'v'));
      } else {
        EXPECT_NE(failure.find("line 1 is longer than 255"), std::string::npos) << failure;
      }
    }
  }
}

// A Ctrl-Z byte ends the file as in Windows text mode: the line it
// interrupts is the last line, and nothing behind it is read.
struct CtrlZCase {
  const char* label;
  std::string communities;
  std::size_t count;
  std::string last;
};

class CtrlZTest : public ::testing::TestWithParam<CtrlZCase> {};

TEST_P(CtrlZTest, EndsTheFile) {
  const CtrlZCase& c = GetParam();
  TempDir dir;
  WriteLists(dir, BirdLines(414, false), c.communities);
  ReferenceLists lists;
  EXPECT_EQ(LoadReferenceLists(lists, dir.path()), "");
  ASSERT_EQ(lists.communities.size(), c.count);
  EXPECT_EQ(lists.communities.back(), c.last);
}

INSTANTIATE_TEST_SUITE_P(
    Files, CtrlZTest,
    ::testing::Values(
        CtrlZCase{"in_the_middle_of_a_line", CommunityLines(79, false) + "\x1A tail\r\nVald x", 79,
                  "Vald 78"},
        CtrlZCase{"right_after_a_final_break", CommunityLines(79, true) + "\x1A", 80, ""},
        CtrlZCase{"lines_behind_it_are_not_read",
                  CommunityLines(79, true) + "\x1A\r\n" + CommunityLines(5, false) + "\x1A", 80,
                  ""},
        CtrlZCase{"behind_a_lone_cr_the_cr_stays", CommunityLines(79, false) + "\r\x1A\n", 79,
                  "Vald 78\r"},
        CtrlZCase{"hides_an_over_long_line",
                  CommunityLines(79, false) + "\x1A" + std::string(1000, 'v'), 79, "Vald 78"}),
    [](const auto& info) { return std::string(info.param.label); });

// 79 municipalities, then filler lines, up to `bytes_left` bytes before the
// end of the loader's first read block.
struct FirstBlock {
  std::string text;
  std::size_t lines;
};
FirstBlock FirstBlockBut(std::size_t bytes_left) {
  FirstBlock block{CommunityLines(79, true), 79};
  while (block.text.size() + bytes_left < kReadBlockSize) {
    const std::size_t room = kReadBlockSize - bytes_left - block.text.size();
    block.text += std::string(std::min<std::size_t>(room - 1, 200), 'p') + "\n";
    ++block.lines;
  }
  return block;
}

// A 255-character line whose CR is the last byte of a read block and whose
// LF is the first byte of the next one.
TEST(LoadReferenceLists, CrlfAcrossTheReadBlockBoundaryKeepsTheLine) {
  const std::string line(kMaximumLineLength, 'w');
  const FirstBlock block = FirstBlockBut(line.size() + 1);
  const std::string text = block.text + line + "\r\n" + CommunityLines(2, false);
  ASSERT_EQ(text[kReadBlockSize - 1], '\r');
  ASSERT_EQ(text[kReadBlockSize], '\n');
  TempDir dir;
  WriteLists(dir, BirdLines(414, false), text);
  ReferenceLists lists;
  ASSERT_EQ(LoadReferenceLists(lists, dir.path()), "");
  ASSERT_EQ(lists.communities.size(), block.lines + 3);
  EXPECT_EQ(lists.communities[block.lines], line);
  EXPECT_EQ(lists.communities[block.lines + 1], "Vald 0");
}

// A Ctrl-Z in the second read block, in a line that begins there or in the
// first block.
TEST(LoadReferenceLists, CtrlZBehindTheFirstReadBlockEndsTheFile) {
  for (const std::size_t bytes_left : {0u, 4u}) {
    SCOPED_TRACE(::testing::Message() << "line begins " << bytes_left << " bytes before the end");
    const FirstBlock block = FirstBlockBut(bytes_left);
    const std::string last = std::string(bytes_left + 3, 'V');
    TempDir dir;
    WriteLists(
        dir, BirdLines(414, false),
        block.text + last + "\x1A" + std::string(300, 'x') + "\n" + CommunityLines(3, false));
    ReferenceLists lists;
    ASSERT_EQ(LoadReferenceLists(lists, dir.path()), "");
    ASSERT_EQ(lists.communities.size(), block.lines + 1);
    EXPECT_EQ(lists.communities.back(), last);
  }
}

TEST(LoadReferenceLists, KeepsCommunityLinesExactlyAsRead) {
  TempDir dir;
  WriteLists(dir, BirdLines(414, false),
             " \tLeading and trailing \t\r\nTab\tinside\r\r\n" + CommunityLines(77, false));
  ReferenceLists lists;
  ASSERT_EQ(LoadReferenceLists(lists, dir.path()), "");
  EXPECT_EQ(lists.communities[0], " \tLeading and trailing \t");
  // Only the CR right before the LF belongs to the line break.
  EXPECT_EQ(lists.communities[1], "Tab\tinside\r");
}

TEST(LoadReferenceLists, SecondLoadAppendsBehindTheFirst) {
  TempDir dir;
  WriteLists(dir, BirdLines(414, false), CommunityLines(79, false));
  ReferenceLists lists;
  ASSERT_EQ(LoadReferenceLists(lists, dir.path()), "");
  ASSERT_EQ(LoadReferenceLists(lists, dir.path()), "");
  EXPECT_EQ(lists.birds.size(), 828u);
  EXPECT_EQ(lists.communities.size(), 158u);
  EXPECT_EQ(lists.birds[414].name, lists.birds[0].name);
}

TEST(LoadReferenceLists, EarlierLoadsCountTowardsTheMinimums) {
  TempDir full, small;
  WriteLists(full, BirdLines(414, false), CommunityLines(79, false));
  WriteLists(small, BirdLines(3, false), CommunityLines(3, false));
  ReferenceLists lists;
  ASSERT_EQ(LoadReferenceLists(lists, full.path()), "");
  EXPECT_EQ(LoadReferenceLists(lists, small.path()), "");
  EXPECT_EQ(lists.birds.size(), 417u);
}

TEST(LoadReferenceLists, DirectoryInPlaceOfFileCannotBeOpened) {
  TempDir dir;
  std::filesystem::create_directory(dir.path() / kBirdListFile);
  ReferenceLists lists;
  EXPECT_EQ(LoadReferenceLists(lists, dir.path()), kNoBirdFile);
  EXPECT_TRUE(lists.birds.empty());
}

TEST(LoadReferenceLists, BundledListsLoadWithCleanNames) {
  ReferenceLists lists;
  ASSERT_EQ(LoadReferenceLists(lists, testing::BundledData()), "");
  EXPECT_GE(lists.birds.size(), kMinimumSpecies);
  EXPECT_GE(lists.communities.size(), kMinimumCommunities);
  for (const BirdInfo& bird : lists.birds) {
    EXPECT_FALSE(bird.order.empty());
    EXPECT_EQ(bird.name.back(), ' ');
    EXPECT_NE(bird.rarity, '\0');
  }
  for (const std::string& community : lists.communities) {
    EXPECT_EQ(community.find('\r'), std::string::npos);
  }
}

TEST(LoadReferenceLists, MillionLineBirdFileLoads) {
  TempDir dir;
  WriteLists(dir, BirdLines(1'000'000, true), CommunityLines(79, false));
  ReferenceLists lists;
  EXPECT_EQ(LoadReferenceLists(lists, dir.path()), "");
  EXPECT_EQ(lists.birds.size(), 1'000'001u);
  EXPECT_EQ(lists.birds[999'999].name, "Liik999999 ");
}

// Initialize's code page handling around the load.
struct CodePageCase {
  const char* label;
  unsigned before;
  std::optional<std::string> birds, communities;
  std::string failure;
  unsigned after;
};

class InitializeCodePageTest : public ::testing::TestWithParam<CodePageCase> {};

TEST_P(InitializeCodePageTest, SwitchesTo1252AndRestoresOnFailure) {
  TAVISOR_SKIP_WITHOUT_CONSOLE();
  const CodePageCase& c = GetParam();
  TempDir dir;
  WriteLists(dir, c.birds, c.communities);
  platform::SetConsoleOutputCodePage(c.before);
  ReferenceLists lists;
  if (c.failure.empty()) {
    EXPECT_NO_THROW(LoadListsForInitialize(lists, dir.path()));
  } else {
    try {
      LoadListsForInitialize(lists, dir.path());
      ADD_FAILURE() << "no exception";
    } catch (const std::exception& e) {
      EXPECT_EQ(std::string(e.what()), c.failure);
    }
  }
  EXPECT_EQ(platform::GetConsoleOutputCodePage(), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Initialize, InitializeCodePageTest,
    ::testing::Values(
        CodePageCase{"success_from_850", 850, BirdLines(414, false), CommunityLines(79, false), "",
                     1252},
        CodePageCase{"success_from_1252", 1252, BirdLines(414, false), CommunityLines(79, false),
                     "", 1252},
        CodePageCase{"no_bird_file", 850, std::nullopt, CommunityLines(79, false), kNoBirdFile,
                     850},
        CodePageCase{"few_species", 850, BirdLines(10, false), CommunityLines(79, false),
                     kNoSpecies, 850},
        CodePageCase{"no_community_file", 850, BirdLines(414, false), std::nullopt,
                     kNoCommunityFile, 850},
        CodePageCase{"few_communities", 850, BirdLines(414, false), CommunityLines(5, false),
                     kNoCommunities, 850},
        CodePageCase{"long_line", 850, std::string(400, 'x'), CommunityLines(79, false),
                     "File \"Eesti linnud.txt\" is corrupted, line 1 is longer than 255 characters",
                     850}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace tavisor
