#include "output_files.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <optional>
#include <system_error>

#include "console_control.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace generate {

namespace fs = std::filesystem;

namespace {

// One write call at most this large: a blocked write returns when a signal
// comes, having written part of it.
constexpr std::size_t kLargestWrite = std::size_t{1} << 20;

std::atomic<unsigned> temporary_files_made{0};

std::string SystemError(int error) { return std::strerror(error); }

#if defined(_WIN32)
int OpenFile(const fs::path& path, bool create_new) {
  const int flags = _O_WRONLY | _O_BINARY | (create_new ? _O_CREAT | _O_EXCL : 0);
  return ::_wopen(path.c_str(), flags, _S_IREAD | _S_IWRITE);
}
long WriteSome(int fd, const char* data, std::size_t size) {
  const int n = ::_write(fd, data, static_cast<unsigned>(size));
  // Cancelled after its patience (InterruptibleWrite): interrupted, as a
  // signal interrupts a write elsewhere.
  if (n < 0 && _doserrno == ERROR_OPERATION_ABORTED) errno = EINTR;
  return n;
}
// The largest write to `fd`. A write to a pipe that is no larger than the
// pipe's buffer completes as soon as the reader gets to it, so when one is
// cancelled (InterruptibleWrite) the reader got none of it, and the bytes
// counted are exactly the bytes sent. A larger one may be cut off after the
// reader took part of it, and the system does not tell how much.
std::size_t LargestWrite(int fd) {
  const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  DWORD out_buffer = 0, in_buffer = 0;
  if (::GetFileType(handle) != FILE_TYPE_PIPE ||
      !::GetNamedPipeInfo(handle, nullptr, &out_buffer, &in_buffer, nullptr)) {
    return kLargestWrite;
  }
  // Which of the two buffers the written end fills depends on how the pipe
  // was made: the smaller will do. 0 asks for the system's default, 4096.
  const DWORD smaller =
      std::min(out_buffer == 0 ? 4096 : out_buffer, in_buffer == 0 ? 4096 : in_buffer);
  return std::min<std::size_t>(smaller, kLargestWrite);
}
int CloseFile(int fd) { return ::_close(fd); }
int FlushToDisk(int fd) { return ::_commit(fd); }
int ProcessId() { return ::_getpid(); }
bool ProcessEnded(long pid) {
  const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (process == nullptr) return ::GetLastError() == ERROR_INVALID_PARAMETER;
  const bool ended = ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
  ::CloseHandle(process);
  return ended;
}
// The attributes that a replaced file keeps.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                  FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                  FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
#else
int OpenFile(const fs::path& path, bool create_new) {
  const int flags = O_WRONLY | O_CLOEXEC | (create_new ? O_CREAT | O_EXCL : 0);
  return ::open(path.c_str(), flags, 0666);  // 0666 less the umask, as any new file
}
long WriteSome(int fd, const char* data, std::size_t size) { return ::write(fd, data, size); }
std::size_t LargestWrite(int) { return kLargestWrite; }
int CloseFile(int fd) { return ::close(fd); }
int FlushToDisk(int fd) { return ::fsync(fd); }
int ProcessId() { return static_cast<int>(::getpid()); }
bool ProcessEnded(long pid) { return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH; }
bool RenameOver(const fs::path& from, const fs::path& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}
// The rename reaches the disk with the directory. A file system that cannot
// flush a directory (EINVAL) keeps its names by other means.
std::string SyncDirectory(const fs::path& directory) {
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return {};  // a directory that may be written but not read
  const int error = ::fsync(fd) == 0 ? 0 : errno;
  ::close(fd);
  return error == 0 || error == EINVAL || error == EROFS ? std::string() : SystemError(error);
}
// Gives the temporary file the replaced file's owner and group where the
// process may (the owner as root, the group as one of the user's groups),
// and its permissions, always: after the owner, which clears set-user-ID.
std::string KeepOwnerAndMode(int fd, unsigned long mode, long owner, long group) {
  if (::fchown(fd, static_cast<uid_t>(owner), static_cast<gid_t>(group)) != 0) {
    if (errno != EPERM) return SystemError(errno);
    if (::fchown(fd, static_cast<uid_t>(-1), static_cast<gid_t>(group)) != 0 && errno != EPERM) {
      return SystemError(errno);
    }
  }
  return ::fchmod(fd, static_cast<mode_t>(mode)) == 0 ? std::string() : SystemError(errno);
}
#endif

#if defined(O_TMPFILE)
// Whether an unnamed file can be given a name: through /proc.
bool UnnamedFilesLinkable() {
  static const bool linkable = ::access("/proc/self/fd", X_OK) == 0;
  return linkable;
}
int OpenUnnamed(const fs::path& directory) {
  return ::open(directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
}
// The errors of a system or file system without unnamed files.
bool NoUnnamedFiles(int error) { return error == EOPNOTSUPP || error == EISDIR || error == EINVAL; }
bool LinkUnnamed(int fd, const fs::path& name) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
}
#endif

// Temporary files are named ".NAME.tavisor-PID-N" beside the file NAME.
std::string TemporaryPrefix(const fs::path& target) {
  return "." + target.filename().string() + ".tavisor-";
}

// The process that made the temporary file `name` for `target`; -1 when
// `name` is not one.
long TemporaryOwner(const std::string& name, const fs::path& target) {
  const std::string prefix = TemporaryPrefix(target);
  const std::size_t dash = name.find('-', prefix.size());
  const auto digits = [&](std::size_t from, std::size_t to) {
    return to > from && to - from <= 9 && name.find_first_not_of("0123456789", from) >= to;
  };
  if (name.compare(0, prefix.size(), prefix) != 0 || dash == std::string::npos ||
      !digits(prefix.size(), dash) || !digits(dash + 1, name.size())) {
    return -1;
  }
  return std::stol(name.substr(prefix.size(), dash - prefix.size()));
}

#if !defined(_WIN32)
// After a request to end, a pipe gets `patience` to take the rest of a
// record, a little at a time, so that the writer never blocks on it.
std::size_t WritePatiently(int fd, std::string_view bytes, std::chrono::milliseconds patience,
                           int& error) {
  std::size_t done = 0;
  const auto deadline = std::chrono::steady_clock::now() + patience;
  while (done < bytes.size() && std::chrono::steady_clock::now() < deadline) {
    pollfd ready{fd, POLLOUT, 0};
    if (::poll(&ready, 1, 50) <= 0) continue;
    // A pipe that polls writable takes this much without blocking.
    const std::size_t piece = std::min<std::size_t>(bytes.size() - done, PIPE_BUF);
    const long n = WriteSome(fd, bytes.data() + done, piece);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      error = errno;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  return done;
}
#endif

// The file that `path` names, absolute, with every link followed, also a
// link to a file that does not exist yet (which the run then creates).
fs::path FinalTarget(const fs::path& path) {
  std::error_code ec;
  fs::path target = fs::absolute(path, ec);
  for (int hops = 0; hops < 40 && fs::is_symlink(target, ec); ++hops) {
    const fs::path link = fs::read_symlink(target, ec);
    if (ec) break;
    target = link.is_absolute() ? link : target.parent_path() / link;
  }
  const fs::path canonical = fs::weakly_canonical(target, ec);
  return ec ? target : canonical;
}

}  // namespace

OutputFile::OutputFile() = default;

OutputFile::OutputFile(fs::path path, std::string shown, ReplaceRules rules)
    : path_(std::move(path)), shown_(std::move(shown)), rules_(rules) {}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : path_(std::move(other.path_)),
      shown_(std::move(other.shown_)),
      target_(std::move(other.target_)),
      temporary_path_(std::move(other.temporary_path_)),
      rules_(other.rules_),
      fd_(other.fd_),
      temporary_(other.temporary_),
      replaces_(other.replaces_),
      old_mode_(other.old_mode_),
      old_owner_(other.old_owner_),
      old_group_(other.old_group_),
      committed_(other.committed_),
      reader_gone_(other.reader_gone_),
      largest_write_(other.largest_write_),
      error_(std::move(other.error_)) {
  other.fd_ = -1;
  other.temporary_ = false;
}

OutputFile::~OutputFile() {
  if (!committed_) Discard();
}

std::string OutputFile::Open() {
  if (path_.empty()) {
#if defined(_WIN32)
    fd_ = ::_fileno(stdout);
#else
    fd_ = STDOUT_FILENO;
#endif
    largest_write_ = LargestWrite(fd_);
    return {};
  }
  std::error_code ec;
  target_ = FinalTarget(path_);  // the links stay links
  if (fs::exists(target_, ec) && !fs::is_regular_file(target_, ec)) {
    fd_ = OpenFile(target_, false);  // a device or a pipe: written as it is
    if (fd_ < 0) return "cannot open " + Description() + " for writing: " + SystemError(errno);
    largest_write_ = LargestWrite(fd_);
    return {};
  }
  if (fs::exists(target_, ec)) {
    if (const std::string problem = NoteReplaced(); !problem.empty()) return problem;
  }
  RemoveAbandonedTemporaries(target_);
#if defined(O_TMPFILE)
  if (!rules_.named_temporary && UnnamedFilesLinkable()) {
    fd_ = OpenUnnamed(target_.parent_path());
    if (fd_ < 0 && !NoUnnamedFiles(errno)) {
      return "cannot open " + Description() + " for writing: " + SystemError(errno);
    }
  }
#endif
  for (int attempt = 0; fd_ < 0 && attempt < 100; ++attempt) {
    temporary_path_ = NewTemporaryName(target_);
    fd_ = OpenFile(temporary_path_, true);
    if (fd_ < 0 && errno != EEXIST) break;
  }
  if (fd_ < 0) return "cannot open " + Description() + " for writing: " + SystemError(errno);
  temporary_ = true;
  largest_write_ = kLargestWrite;
#if !defined(_WIN32)
  if (replaces_) {
    if (const std::string problem = KeepOwnerAndMode(fd_, old_mode_, old_owner_, old_group_);
        !problem.empty()) {
      return "cannot give " + Description() + " its owner and permissions again: " + problem;
    }
  }
#endif
  return {};
}

std::string OutputFile::NoteReplaced() {
#if defined(_WIN32)
  const DWORD attributes = ::GetFileAttributesW(target_.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return {};
  if ((attributes & FILE_ATTRIBUTE_READONLY) && !rules_.force) {
    return "cannot replace " + Description() + ": the file is read-only (--force replaces it)";
  }
  old_mode_ = attributes & kKeptAttributes;
#else
  struct stat old = {};
  if (::stat(target_.c_str(), &old) != 0) return {};  // gone meanwhile: a new file
  // As a shell's `>` would find it: by the effective user's rights.
  if (::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0 && !rules_.force) {
    return "cannot replace " + Description() + ": " + SystemError(errno) +
           " (--force replaces a file that you may not write)";
  }
  old_mode_ = old.st_mode & 07777;
  old_owner_ = static_cast<long>(old.st_uid);
  old_group_ = static_cast<long>(old.st_gid);
#endif
  replaces_ = true;
  return {};
}

std::size_t OutputFile::Write(std::string_view bytes, const console::InterruptCatcher& catcher,
                              std::chrono::milliseconds patience) {
  std::size_t done = 0;
  int error = 0;
#if defined(_WIN32)
  (void)catcher;
  // A write that waits on a reader ends `patience` after a request, or
  // after this call began if that is later, as it does elsewhere.
  std::optional<console::InterruptibleWrite> interruptible;
  if (!temporary_) interruptible.emplace(patience);
#endif
  while (done < bytes.size() && error == 0) {
#if !defined(_WIN32)
    if (!temporary_ && catcher.Requested()) {
      done += WritePatiently(fd_, bytes.substr(done), patience, error);
      break;
    }
#endif
    const long n =
        WriteSome(fd_, bytes.data() + done, std::min(bytes.size() - done, largest_write_));
    if (n < 0) {
#if defined(_WIN32)
      // Cancelled once its patience was over, having sent nothing (see
      // LargestWrite).
      if (errno == EINTR && !temporary_) break;
#endif
      if (errno != EINTR) error = errno;
      continue;
    }
    done += static_cast<std::size_t>(n);
  }
  if (error != 0) {
    error_ = "cannot write to " + Description() + ": " + SystemError(error);
    reader_gone_ = error == EPIPE;
  }
  return done;
}

bool OutputFile::Commit() {
  if (fd_ < 0) return error_.empty();
  const int fd = fd_;
  fd_ = -1;
  if (path_.empty()) return true;  // standard output stays open
  std::string problem;
  // The data reaches the disk before the name: a power loss cannot leave
  // the name on a file that is not whole.
  if (temporary_ && FlushToDisk(fd) != 0) problem = "cannot write to " + Description() + ": ";
#if defined(O_TMPFILE)
  // A link cannot replace a file: the unnamed file gets a temporary name
  // first, then the rename replaces.
  for (int attempt = 0; temporary_ && problem.empty() && temporary_path_.empty() && attempt < 100;
       ++attempt) {
    const fs::path name = NewTemporaryName(target_);
    if (LinkUnnamed(fd, name)) {
      temporary_path_ = name;
    } else if (errno != EEXIST) {
      problem = "cannot write " + Description() + ": ";
    }
  }
#endif
  if (!problem.empty()) problem += SystemError(errno);
  if (CloseFile(fd) != 0 && problem.empty()) {
    problem = "cannot write to " + Description() + ": " + SystemError(errno);
  }
  if (problem.empty() && temporary_ && !PutInPlace()) {
    problem = "cannot write " + Description() + ": " + SystemError(errno);
  }
  if (!problem.empty()) {
    error_ = problem;
    Discard();
    return false;
  }
  committed_ = true;
#if !defined(_WIN32)
  if (const std::string unsynced = temporary_ ? SyncDirectory(target_.parent_path()) : "";
      !unsynced.empty()) {
    error_ =
        Description() + " is written, but its directory cannot be flushed to disk: " + unsynced;
    return false;
  }
#endif
  return true;
}

bool OutputFile::PutInPlace() {
#if defined(_WIN32)
  bool placed = false;
  if (!replaces_) {
    placed = ::MoveFileExW(temporary_path_.c_str(), target_.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
  } else {
    // A read-only file is replaced only when forced (Open), and stays
    // read-only. ReplaceFileW keeps the replaced file's access rights.
    const auto set = [&](DWORD attributes) {
      ::SetFileAttributesW(target_.c_str(), attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL);
    };
    set(old_mode_ & ~DWORD{FILE_ATTRIBUTE_READONLY});
    placed = ::ReplaceFileW(target_.c_str(), temporary_path_.c_str(), nullptr,
                            REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0;
    set(old_mode_);
  }
  if (!placed) errno = EACCES;  // what the C library reports for most of these failures
  return placed;
#else
  return RenameOver(temporary_path_, target_);
#endif
}

void OutputFile::Discard() {
  if (fd_ >= 0 && !path_.empty()) CloseFile(fd_);
  fd_ = -1;
  if (temporary_) {
    std::error_code ec;
    if (!temporary_path_.empty()) fs::remove(temporary_path_, ec);
    temporary_ = false;
  }
}

std::string OutputFile::Description() const {
  return path_.empty() ? std::string("standard output") : '"' + shown_ + '"';
}

bool SameFile(const std::string& a, const std::string& b) {
  if (a == b) return true;
  if (a == "-" || b == "-") {
#if defined(_WIN32)
    return false;
#else
    struct stat out = {}, file = {};
    return ::fstat(STDOUT_FILENO, &out) == 0 && ::stat((a == "-" ? b : a).c_str(), &file) == 0 &&
           out.st_dev == file.st_dev && out.st_ino == file.st_ino;
#endif
  }
  std::error_code ec;
  return fs::equivalent(a, b, ec) || FinalTarget(a) == FinalTarget(b);
}

fs::path NewTemporaryName(const fs::path& target) {
  return target.parent_path() / (TemporaryPrefix(target) + std::to_string(ProcessId()) + '-' +
                                 std::to_string(temporary_files_made++));
}

int RemoveAbandonedTemporaries(const fs::path& target) {
  int removed = 0;
  std::error_code ec;
  for (fs::directory_iterator entry(target.parent_path(), ec), end; !ec && entry != end;
       entry.increment(ec)) {
    const long owner = TemporaryOwner(entry->path().filename().string(), target);
    if (owner > 0 && owner != ProcessId() && ProcessEnded(owner) && fs::remove(entry->path(), ec)) {
      ++removed;
    }
    ec.clear();
  }
  return removed;
}

bool StandardOutputOnErrorTerminal() {
#if defined(_WIN32)
  // A process has one console at most.
  return ::_isatty(::_fileno(stdout)) && ::_isatty(::_fileno(stderr));
#else
  struct stat out = {}, err = {};
  return ::isatty(STDOUT_FILENO) && ::isatty(STDERR_FILENO) && ::fstat(STDOUT_FILENO, &out) == 0 &&
         ::fstat(STDERR_FILENO, &err) == 0 && out.st_rdev == err.st_rdev;
#endif
}

}  // namespace generate
