// The layouts that a client and the library share without the exports'
// signatures naming them: each SharedState crosses the boundary as the
// void* of Start. Exported here, with the record they hold, so that an ABI
// dump of this small library describes them all (tests/package/abi_check.cmake).
#include "tavisor/item.h"
#include "tavisor/shared_state.h"

extern "C" __attribute__((visibility("default"))) void TavisorSharedLayouts(
    tavisor::Item*, tavisor::SharedState<'A'>*, tavisor::SharedState<'B'>*,
    tavisor::SharedState<'C'>*, tavisor::SharedState<'D'>*, tavisor::SharedState<'E'>*) {}
