// A shared module of another author's that waits on a latch: built with
// default visibility, it exports its copy of libstdc++'s barrier/latch wait
// table.
#include <latch>

extern "C" bool WaitTableModuleWaits() {
  std::latch done(1);
  done.count_down();
  done.wait();
  return done.try_wait();
}
