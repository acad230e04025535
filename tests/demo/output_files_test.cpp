// How generate replaces a file: under its name only when committed, with
// the replaced file's permissions and owner, and no temporary file left
// behind by a run whose process has ended.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "console_control.h"
#include "output_files.h"
#include "test_support.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace generate {
namespace {

namespace fs = std::filesystem;
using tavisor::testing::TempDir;

std::string Contents(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::size_t FilesIn(const fs::path& dir) {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {}));
}

// Whether the file system of `dir` gives unnamed files, which the default
// rules then use.
bool UnnamedFilesIn([[maybe_unused]] const fs::path& dir) {
#if defined(O_TMPFILE)
  const int fd = ::open(dir.c_str(), O_TMPFILE | O_WRONLY, 0600);
  if (fd < 0) return false;
  ::close(fd);
  return true;
#else
  return false;
#endif
}

// Writes `text` to `path` through an OutputFile and commits it.
void Replace(const fs::path& path, const std::string& text, ReplaceRules rules = {}) {
  const console::InterruptCatcher catcher;
  OutputFile file(path, path.filename().string(), rules);
  ASSERT_EQ(file.Open(), "");
  ASSERT_EQ(file.Write(text, catcher, {}), text.size());
  ASSERT_TRUE(file.Commit()) << file.Error();
}

// A file takes its name only when committed; until then, and after a
// discard, the file of that name is what it was, and nothing is left
// beside it.
TEST(OutputFile, TakesItsNameOnlyWhenCommitted) {
  const TempDir dir;
  dir.Write("birds.jsonl", "keep\n");
  const console::InterruptCatcher catcher;
  for (const bool named : {true, false}) {
    SCOPED_TRACE(named ? "named temporary file" : "default temporary file");
    const std::size_t while_written = named || !UnnamedFilesIn(dir.path()) ? 2 : 1;
    for (const bool commit : {false, true}) {
      dir.Write("birds.jsonl", "keep\n");
      OutputFile file(dir.path() / "birds.jsonl", "birds.jsonl", {false, named});
      ASSERT_EQ(file.Open(), "");
      EXPECT_TRUE(file.Seekable());
      EXPECT_TRUE(file.Replaces());
      EXPECT_EQ(file.Write("new\n", catcher, {}), 4u);
      EXPECT_EQ(Contents(dir.path() / "birds.jsonl"), "keep\n");
      EXPECT_EQ(FilesIn(dir.path()), while_written);
      if (commit) {
        ASSERT_TRUE(file.Commit()) << file.Error();
        EXPECT_EQ(Contents(dir.path() / "birds.jsonl"), "new\n");
      } else {
        file.Discard();
        EXPECT_EQ(Contents(dir.path() / "birds.jsonl"), "keep\n");
      }
      EXPECT_EQ(FilesIn(dir.path()), 1u);
    }
  }
  OutputFile fresh(dir.path() / "fresh.csv", "fresh.csv");
  ASSERT_EQ(fresh.Open(), "");
  EXPECT_FALSE(fresh.Replaces());
  OutputFile nowhere(dir.path() / "no" / "such.csv", "no/such.csv");
  EXPECT_EQ(nowhere.Open().rfind("cannot open \"no/such.csv\" for writing: ", 0), 0u);
}

// A read-only file is refused, naming it, and replaced only when forced; it
// stays read-only. (Root may write any file: the program's process test
// runs this as another user.)
TEST(OutputFile, ReplacesAReadOnlyFileOnlyWhenForced) {
#if !defined(_WIN32)
  if (::geteuid() == 0) GTEST_SKIP() << "root may write a read-only file";
#endif
  const TempDir dir;
  const fs::path path = dir.path() / "birds.txt";
  dir.Write("birds.txt", "old");
  fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  OutputFile refused(path, "birds.txt");
  EXPECT_EQ(refused.Open().rfind("cannot replace \"birds.txt\": ", 0), 0u);
  Replace(path, "new", {true, false});
  EXPECT_EQ(Contents(path), "new");
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::owner_write, fs::perms::none);
  fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
}

#if !defined(_WIN32)

fs::perms PermissionsOf(const fs::path& path) { return fs::status(path).permissions(); }

// The replacement has the permissions of the file it replaces, whatever the
// umask would give a new file; a new file gets the umask's.
TEST(OutputFile, KeepsThePermissionsOfTheFileItReplaces) {
  const TempDir dir;
  const fs::path path = dir.path() / "birds.csv";
  for (const bool named : {true, false}) {
    for (const auto mode : {fs::perms(0600), fs::perms(0640), fs::perms(0755), fs::perms(0604)}) {
      SCOPED_TRACE(std::to_string(static_cast<int>(mode)) + (named ? " named" : " default"));
      dir.Write("birds.csv", "old");
      fs::permissions(path, mode);
      Replace(path, "new", {false, named});
      EXPECT_EQ(Contents(path), "new");
      EXPECT_EQ(PermissionsOf(path), mode);
    }
  }
  const mode_t umask = ::umask(022);
  fs::remove(path);
  Replace(path, "new");
  EXPECT_EQ(PermissionsOf(path), fs::perms(0644));
  ::umask(umask);
}

// As root, the replacement of another user's file stays that user's; as
// another user, the file becomes the user's own and keeps its permissions.
TEST(OutputFile, KeepsTheOwnerWhereTheProcessMaySetIt) {
  const TempDir dir;
  const fs::path path = dir.path() / "birds.jsonl";
  const uid_t other_user = ::geteuid() == 0 ? 65534 : ::geteuid();  // nobody
  const gid_t other_group = ::geteuid() == 0 ? 65534 : ::getegid();
  for (const bool named : {true, false}) {
    dir.Write("birds.jsonl", "old");
    ASSERT_EQ(::chown(path.c_str(), other_user, other_group), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    Replace(path, "new", {false, named});
    struct stat replaced = {};
    ASSERT_EQ(::stat(path.c_str(), &replaced), 0);
    EXPECT_EQ(replaced.st_uid, other_user);
    EXPECT_EQ(replaced.st_gid, other_group);
    EXPECT_EQ(replaced.st_mode & 07777, 0640u);
  }
}

// A device is written as it is: nothing is made beside it.
TEST(OutputFile, WritesADeviceAsItIs) {
  const console::InterruptCatcher catcher;
  const auto beside = [] {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator("/dev")) {
      if (entry.path().filename().string().rfind(".null.", 0) == 0) {
        names.push_back(entry.path().string());
      }
    }
    return names;
  };
  OutputFile file("/dev/null", "/dev/null");
  ASSERT_EQ(file.Open(), "");
  EXPECT_FALSE(file.Seekable());
  EXPECT_FALSE(file.Replaces());
  EXPECT_EQ(file.Write("records\n", catcher, {}), 8u);
  EXPECT_TRUE(file.Commit()) << file.Error();
  EXPECT_EQ(beside(), std::vector<std::string>{});
}

// A process that has ended, by its id.
pid_t EndedProcess() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  return child;
}

// Only the temporary files of the target whose process has ended go.
TEST(OutputFile, RemovesTheTemporaryFilesOfEndedRuns) {
  const TempDir dir;
  const std::string ended = std::to_string(EndedProcess());
  const std::string running = std::to_string(::getppid());
  struct Case {
    std::string name;
    bool removed;
  };
  const std::vector<Case> cases = {
      {".birds.jsonl.tavisor-" + ended + "-0", true},
      {".birds.jsonl.tavisor-" + ended + "-17", true},
      {".birds.jsonl.tavisor-" + running + "-0", false},    // its run goes on
      {".birds.jsonl.tavisor-" + ended + "-x", false},      // not our name
      {".birds.jsonl.tavisor-" + ended, false},             // not our name
      {".birds.jsonl.tavisor-" + ended + "-0.bak", false},  // not our name
      {"birds.jsonl.tavisor-" + ended + "-0", false},       // not hidden: not ours
      {".other.jsonl.tavisor-" + ended + "-0", false},      // another file's
      {".birds.jsonl.tavisor--" + ended + "-0", false},     // not a process id
  };
  for (const Case& c : cases) dir.Write(c.name, "part");
  dir.Write("birds.jsonl", "keep");
  OutputFile file(dir.path() / "birds.jsonl", "birds.jsonl");
  ASSERT_EQ(file.Open(), "");
  for (const Case& c : cases) {
    EXPECT_EQ(fs::exists(dir.path() / c.name), !c.removed) << c.name;
  }
  file.Discard();
  EXPECT_EQ(Contents(dir.path() / "birds.jsonl"), "keep");
  EXPECT_EQ(RemoveAbandonedTemporaries(dir.path() / "birds.jsonl"), 0);
}

#endif

}  // namespace
}  // namespace generate
