// Ctrl-C and the other requests to end as requests, and whether a stream is
// a terminal.
//
//   {
//     demo::InterruptCatcher catcher;        // Ctrl-C no longer ends the program
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
#pragma once

#include <cstdio>

namespace demo {

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

// Keeps the signals above away from the calling thread, so that they reach
// the thread that writes (and interrupt its waiting). For threads that only
// compute. Does nothing on Windows.
void KeepInterruptsFromThisThread();

// True when `stream` is a terminal (a console on Windows).
bool IsTerminal(std::FILE* stream);

}  // namespace demo
