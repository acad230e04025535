// A shared module of another author's that waits on a latch: like every
// such module, it exports its copy of libstdc++'s barrier/latch wait table,
// a static inside an inline function of default visibility.
#include <latch>

extern "C" bool WaitTableModuleWaits() {
  std::latch done(1);
  done.count_down();
  done.wait();
  return done.try_wait();
}
