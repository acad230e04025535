// The version of Tavisor: of these headers and of the library they fit.
//
// The build takes the project's version from here, so it is set in this one
// place. The major version is part of the Linux library's name
// (libTavisor.so.1, see tavisor/library.h): it goes up with any change that
// a client built against the old headers would trip over, that is any change
// of Item (and the types it holds), of a SharedState, or of what the exports
// do. A client then loads only a library of the major version it was built
// for.
#pragma once

#include "tavisor/build_requirements.h"

#define TAVISOR_VERSION_MAJOR 1
#define TAVISOR_VERSION_MINOR 0
#define TAVISOR_VERSION_PATCH 0

// The major version as a string literal, e.g. "1".
#define TAVISOR_DETAIL_STRINGIFY(x) #x
#define TAVISOR_DETAIL_EXPAND_STRINGIFY(x) TAVISOR_DETAIL_STRINGIFY(x)
#define TAVISOR_VERSION_MAJOR_STRING TAVISOR_DETAIL_EXPAND_STRINGIFY(TAVISOR_VERSION_MAJOR)
