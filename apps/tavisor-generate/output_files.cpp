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
int ProcessId() { return ::_getpid(); }
bool RenameOver(const fs::path& from, const fs::path& to) {
  return ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}
#else
int OpenFile(const fs::path& path, bool create_new) {
  const int flags = O_WRONLY | O_CLOEXEC | (create_new ? O_CREAT | O_EXCL : 0);
  return ::open(path.c_str(), flags, 0666);  // 0666 less the umask, as any new file
}
long WriteSome(int fd, const char* data, std::size_t size) { return ::write(fd, data, size); }
std::size_t LargestWrite(int) { return kLargestWrite; }
int CloseFile(int fd) { return ::close(fd); }
int ProcessId() { return static_cast<int>(::getpid()); }
bool RenameOver(const fs::path& from, const fs::path& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}
#endif

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

OutputFile::OutputFile(fs::path path, std::string shown)
    : path_(std::move(path)), shown_(std::move(shown)) {}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : path_(std::move(other.path_)),
      shown_(std::move(other.shown_)),
      target_(std::move(other.target_)),
      temporary_path_(std::move(other.temporary_path_)),
      fd_(other.fd_),
      temporary_(other.temporary_),
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
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = ".";
    name += target_.filename().string();
    name += ".tavisor-";
    name += std::to_string(ProcessId());
    name += '-';
    name += std::to_string(temporary_files_made++);
    temporary_path_ = target_.parent_path() / name;
    fd_ = OpenFile(temporary_path_, true);
    if (fd_ >= 0 || errno != EEXIST) break;
  }
  if (fd_ < 0) return "cannot open " + Description() + " for writing: " + SystemError(errno);
  temporary_ = true;
  largest_write_ = kLargestWrite;
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
  if (CloseFile(fd) != 0) {
    error_ = "cannot write to " + Description() + ": " + SystemError(errno);
    Discard();
    return false;
  }
  if (temporary_ && !RenameOver(temporary_path_, target_)) {
    error_ = "cannot write " + Description() + ": " + SystemError(errno);
    Discard();
    return false;
  }
  committed_ = true;
  return true;
}

void OutputFile::Discard() {
  if (fd_ >= 0 && !path_.empty()) CloseFile(fd_);
  fd_ = -1;
  if (temporary_) {
    std::error_code ec;
    fs::remove(temporary_path_, ec);
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
