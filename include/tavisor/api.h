// The four functions that Tavisor exports under plain names.
//
// Clients normally load the library at run time and resolve these names
// (see tavisor/library.h); the function-pointer types below match them.
// Failures are thrown as exceptions that derive from std::exception; read
// what() for the message.
#pragma once

#include "tavisor/build_requirements.h"

#include <cstdint>

#include "tavisor/export.h"
#include "tavisor/item.h"

extern "C" {

// Loads "Eesti linnud.txt" and "Eesti omavalitsused.txt" from the current
// working directory and switches the console output to code page 1252.
// Must return normally before the first GetItem or Start. May be called
// again, from any thread, also while records are being made: each call
// appends both files to the lists again.
TAVISOR_API void Initialize();

// A new random record; the caller owns it and deletes it.
TAVISOR_API tavisor::Item* GetItem();

// A new copy of fixed test record n (0 to tavisor::kTestItemCount - 1);
// needs no Initialize.
TAVISOR_API tavisor::Item* GetTestItem(std::int32_t n);

// Starts a detached producer of variant 'A' to 'E' (either case) that hands
// batches over through `shared`, which must point to the matching
// tavisor::SharedState<...> (tavisor/shared_state.h) and stay alive until the
// producer has ended.
TAVISOR_API void Start(char version, void* shared);

}  // extern "C"

namespace tavisor {

// The number of fixed test records: GetTestItem takes 0 to kTestItemCount - 1.
inline constexpr std::int32_t kTestItemCount = 17;

// The two reference lists that Initialize (and tavisor::RecordStream) read,
// by file name, in the data directory.
inline constexpr char kBirdListFile[] = "Eesti linnud.txt";
inline constexpr char kMunicipalityListFile[] = "Eesti omavalitsused.txt";

using InitializeFn = void (*)();
using GetItemFn = Item* (*)();
using GetTestItemFn = Item* (*)(std::int32_t);
using StartFn = void (*)(char, void*);
}  // namespace tavisor
