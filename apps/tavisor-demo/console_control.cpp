#include "console_control.h"

#include <atomic>

#if defined(_WIN32)
#if !defined(NOMINMAX)
#define NOMINMAX
#endif
#include <io.h>
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

namespace demo {

namespace {

// Lock-free, so a signal handler may set it.
std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

#if defined(_WIN32)
BOOL WINAPI OnConsoleControl(DWORD event) {
  // Closing the console ends the process when this returns, whatever it
  // returns: the work gets until then.
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT) {
    interrupted.store(true);
    return TRUE;
  }
  return FALSE;
}
#else
struct sigaction previous_action;

extern "C" void OnInterrupt(int) { interrupted.store(true); }
#endif

}  // namespace

InterruptCatcher::InterruptCatcher() {
  interrupted.store(false);
#if defined(_WIN32)
  ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
#else
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  // Writes that the signal interrupts go on by themselves.
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &action, &previous_action);
#endif
}

InterruptCatcher::~InterruptCatcher() {
#if defined(_WIN32)
  ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
#else
  ::sigaction(SIGINT, &previous_action, nullptr);
#endif
}

bool InterruptCatcher::Requested() const { return interrupted.load(std::memory_order_relaxed); }

bool IsTerminal(std::FILE* stream) {
#if defined(_WIN32)
  return ::_isatty(::_fileno(stream)) != 0;
#else
  return ::isatty(::fileno(stream)) != 0;
#endif
}

}  // namespace demo
