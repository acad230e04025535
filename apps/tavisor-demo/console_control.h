// Ctrl-C as a request, and whether a stream is a terminal.
//
//   {
//     demo::InterruptCatcher catcher;        // Ctrl-C no longer ends the program
//     while (more && !catcher.Requested()) WriteOneWholeRecord();
//   }                                        // the previous handling is back
//
// While a catcher lives, Ctrl-C (SIGINT; on Windows also Ctrl-Break and
// closing the console) only sets a flag that the work checks between two
// whole pieces. At most one catcher lives at a time.
#pragma once

#include <cstdio>

namespace demo {

class InterruptCatcher {
 public:
  InterruptCatcher();
  ~InterruptCatcher();
  InterruptCatcher(const InterruptCatcher&) = delete;
  InterruptCatcher& operator=(const InterruptCatcher&) = delete;

  // True once Ctrl-C has been pressed while this catcher lived. Any thread
  // may ask.
  bool Requested() const;
};

// True when `stream` is a terminal (a console on Windows).
bool IsTerminal(std::FILE* stream);

}  // namespace demo
