// Symbol visibility for the four exported entry points.
#pragma once

#include "tavisor/build_requirements.h"

#if defined(_WIN32)
#if defined(TAVISOR_BUILDING_LIBRARY)
#define TAVISOR_API __declspec(dllexport)
#else
#define TAVISOR_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define TAVISOR_API __attribute__((visibility("default")))
#else
#define TAVISOR_API
#endif
