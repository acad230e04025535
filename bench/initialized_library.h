// The library that this build produced, as a client sees it: loaded by file
// name at run time, its exports called through the resolved pointers.
#pragma once

#include "tavisor/library.h"

namespace tavisor::bench {

// Loaded and initialised from the bundled lists on first use; kept loaded
// until the process ends.
const Library& InitializedLibrary();

}  // namespace tavisor::bench
