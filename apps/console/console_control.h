// Ctrl-C and the other requests to end as requests, and whether a stream is
// a terminal.
//
//   {
//     console::InterruptCatcher catcher;        // Ctrl-C no longer ends the program
//     while (more && !catcher.Requested()) WriteOneWholeRecord();
//   }                                        // the previous handling is back
//
// While a catcher lives, Ctrl-C (SIGINT), SIGTERM and SIGHUP (on Windows
// Ctrl-C, Ctrl-Break and closing the console) only set a flag that the work
// checks between two whole pieces. A system call that such a signal
// interrupts returns (EINTR) instead of going on, so that a writer waiting
// on a full pipe gets to look at the flag. SIGPIPE is ignored meanwhile: a
// pipe whose reader is gone fails the write instead. At most one catcher
// lives at a time.
//
// Windows has no such signal: a write to a pipe whose reader does not read
// waits until the reader makes room, and only cancelling it ends the wait.
// There the writes that may wait that long run inside an InterruptibleWrite,
// and after a request a write still waiting its patience later is cancelled
// by a thread that watches them.
#pragma once

#include <chrono>
#include <cstdio>

namespace console {

class InterruptCatcher {
 public:
  InterruptCatcher();
  ~InterruptCatcher();
  InterruptCatcher(const InterruptCatcher&) = delete;
  InterruptCatcher& operator=(const InterruptCatcher&) = delete;

  // True once a request came while this catcher lived. Any thread may ask.
  bool Requested() const;
  // The exit status that tells what ended the work: 128 + the signal's
  // number (130 for Ctrl-C, 143 for SIGTERM, 129 for SIGHUP).
  int ExitStatus() const;
};

#if defined(_WIN32)
// While one lives, the blocking writes of the thread that made the live
// catcher may be cut short: once a request has come, a write still waiting
// `patience` after the request (or after this began, if later) is
// cancelled, and fails with ERROR_OPERATION_ABORTED. How much of a
// cancelled write the reader got, the system does not say. Without a live
// catcher, nothing cancels them.
class InterruptibleWrite {
 public:
  explicit InterruptibleWrite(std::chrono::milliseconds patience);
  ~InterruptibleWrite();
  InterruptibleWrite(const InterruptibleWrite&) = delete;
  InterruptibleWrite& operator=(const InterruptibleWrite&) = delete;
};
#endif

// Keeps the signals above away from the calling thread, so that they reach
// the thread that writes (and interrupt its waiting). For threads that only
// compute. Does nothing on Windows.
void KeepInterruptsFromThisThread();

// True when `stream` is a terminal (a console on Windows).
bool IsTerminal(std::FILE* stream);

}  // namespace console
