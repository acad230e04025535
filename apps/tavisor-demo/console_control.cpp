#include "console_control.h"

#include <atomic>

#if defined(_WIN32)
#if !defined(NOMINMAX)
#define NOMINMAX
#endif
#include <io.h>
#include <windows.h>
#else
#include <pthread.h>
#include <signal.h>
#include <unistd.h>
#endif

namespace demo {

namespace {

// The signal that came, 0 for none. Lock-free, so a signal handler may set it.
std::atomic<int> requested_by{0};
static_assert(std::atomic<int>::is_always_lock_free);

#if defined(_WIN32)
constexpr int kInterruptSignal = 2;  // SIGINT's number: the status is 130, as elsewhere

BOOL WINAPI OnConsoleControl(DWORD event) {
  // Closing the console ends the process when this returns, whatever it
  // returns: the work gets until then.
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT) {
    requested_by.store(kInterruptSignal);
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
#else
  for (int i = 0; i < 3; ++i) ::sigaction(kSignals[i], &previous_actions[i], nullptr);
  ::sigaction(SIGPIPE, &previous_pipe_action, nullptr);
#endif
}

bool InterruptCatcher::Requested() const {
  return requested_by.load(std::memory_order_relaxed) != 0;
}

int InterruptCatcher::ExitStatus() const { return 128 + requested_by.load(); }

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

}  // namespace demo
