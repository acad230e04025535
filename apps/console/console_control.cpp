#include "console_control.h"

#include <atomic>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <thread>

#include "tavisor/internal/thread_annotations.h"
#else
#include <pthread.h>
#include <signal.h>
#include <unistd.h>
#endif

namespace console {

namespace {

// The signal that came, 0 for none. Lock-free, so a signal handler may set it.
std::atomic<int> requested_by{0};
static_assert(std::atomic<int>::is_always_lock_free);

#if defined(_WIN32)
constexpr int kInterruptSignal = 2;  // SIGINT's number: the status is 130, as elsewhere
// How often, after a request, the watcher looks for a write whose patience
// is over.
constexpr auto kWatchEvery = std::chrono::milliseconds(10);

using Ticks = std::int64_t;  // of the steady clock, in nanoseconds

Ticks Now() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The catcher's thread and its blocked write, and the thread that cancels
// that write once a request has come. The control handler only starts the
// watcher and returns: the system holds a lock of its console functions
// while a handler runs.
struct Watch {
  tavisor::internal::Mutex mutex;
  std::condition_variable catcher_gone;
  bool catcher_lives TAVISOR_GUARDED_BY(mutex) = false;
  // The thread that made the catcher.
  HANDLE writer TAVISOR_GUARDED_BY(mutex) = nullptr;
  std::thread watcher TAVISOR_GUARDED_BY(mutex);
  std::atomic<Ticks> write_started{0};  // 0: no write under way
  std::atomic<Ticks> write_patience{0};
};
Watch watch;

// Runs until the catcher goes. Only ever after a request, a cancel may
// reach I/O that began just after the write it was meant for ended: a
// write then ends early, or a file write fails and is done again.
void CancelOverdueWrites(Ticks requested) {
  tavisor::internal::UniqueLock lock(watch.mutex);
  while (watch.catcher_lives) {
    const Ticks started = watch.write_started.load();
    if (started != 0 && Now() >= std::max(started, requested) + watch.write_patience.load()) {
      ::CancelSynchronousIo(watch.writer);  // fails harmlessly when nothing waits
    }
    watch.catcher_gone.wait_for(lock.native(), kWatchEvery);
  }
}

// What Ctrl-C does while a catcher lives: the request, and a watcher that
// cancels the writes that wait too long until the catcher goes.
void RequestEnd() {
  requested_by.store(kInterruptSignal);
  const tavisor::internal::MutexLock lock(watch.mutex);
  if (watch.catcher_lives && !watch.watcher.joinable()) {
    watch.watcher = std::thread(CancelOverdueWrites, Now());
  }
}

BOOL WINAPI OnConsoleControl(DWORD event) {
  // Closing the console ends the process when this returns, whatever it
  // returns.
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT) {
    RequestEnd();
    return TRUE;
  }
  return FALSE;
}
#else
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previous_actions[3];
struct sigaction previous_pipe_action;

extern "C" void OnSignal(int signal) {
  int none = 0;
  requested_by.compare_exchange_strong(none, signal);
}
#endif

}  // namespace

InterruptCatcher::InterruptCatcher() {
  requested_by.store(0);
#if defined(_WIN32)
  {
    const tavisor::internal::MutexLock lock(watch.mutex);
    ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(),
                      &watch.writer, 0, FALSE, DUPLICATE_SAME_ACCESS);
    watch.catcher_lives = true;
  }
  ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
#else
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a write blocked on a full pipe returns, and the writer
  // sees the request.
  action.sa_flags = 0;
  for (int i = 0; i < 3; ++i) ::sigaction(kSignals[i], &action, &previous_actions[i]);
  // A reader that closes its pipe shows as a failed write (EPIPE), which
  // ends the run cleanly, instead of a signal that ends the process.
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGPIPE, &ignore, &previous_pipe_action);
#endif
}

InterruptCatcher::~InterruptCatcher() {
#if defined(_WIN32)
  ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  std::thread watcher;
  {
    const tavisor::internal::MutexLock lock(watch.mutex);
    watch.catcher_lives = false;
    watcher = std::move(watch.watcher);
  }
  watch.catcher_gone.notify_all();
  if (watcher.joinable()) watcher.join();
  const tavisor::internal::MutexLock lock(watch.mutex);
  ::CloseHandle(watch.writer);
  watch.writer = nullptr;
#else
  for (int i = 0; i < 3; ++i) ::sigaction(kSignals[i], &previous_actions[i], nullptr);
  ::sigaction(SIGPIPE, &previous_pipe_action, nullptr);
#endif
}

bool InterruptCatcher::Requested() const {
  return requested_by.load(std::memory_order_relaxed) != 0;
}

int InterruptCatcher::ExitStatus() const { return 128 + requested_by.load(); }

#if defined(_WIN32)
InterruptibleWrite::InterruptibleWrite(std::chrono::milliseconds patience) {
  watch.write_patience.store(
      std::chrono::duration_cast<std::chrono::nanoseconds>(patience).count());
  watch.write_started.store(Now());
}

InterruptibleWrite::~InterruptibleWrite() { watch.write_started.store(0); }
#endif

void KeepInterruptsFromThisThread() {
#if !defined(_WIN32)
  sigset_t signals;
  sigemptyset(&signals);
  for (const int signal : kSignals) sigaddset(&signals, signal);
  ::pthread_sigmask(SIG_BLOCK, &signals, nullptr);
#endif
}

bool IsTerminal(std::FILE* stream) {
#if defined(_WIN32)
  return ::_isatty(::_fileno(stream)) != 0;
#else
  return ::isatty(::fileno(stream)) != 0;
#endif
}

}  // namespace console
