// Producers and launchers made from a Library. From a temporary one, which
// would be unloaded while its producer runs, every line marked "refused"
// must fail to compile as a call of a deleted function; from a named one
// (TAVISOR_NAMED_LIBRARY, the control) the same lines compile.
#include "tavisor/producer.h"

#if defined(TAVISOR_NAMED_LIBRARY)
#define LIBRARY lib
#else
#define LIBRARY \
  tavisor::Library {}
#endif

void MakeFromLibrary() {
  tavisor::Library lib;
  tavisor::Producer<'C'> producer{LIBRARY};                           // refused
  tavisor::Producer<'C'> shared(LIBRARY, std::stop_source());         // refused
  tavisor::AnyProducer any('C', LIBRARY);                             // refused
  tavisor::AnyProducer any_shared('C', LIBRARY, std::stop_source());  // refused
  tavisor::Launcher launch = tavisor::LauncherFor(LIBRARY, 'C');      // refused
}
