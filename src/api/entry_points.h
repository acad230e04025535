// The work behind the four exports. The exported functions in exports.cpp
// only forward here, so tests can drive the same code without loading the
// library.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "producer/environment.h"
#include "tavisor/item.h"

namespace tavisor {

struct ReferenceLists;

// Throws `message` as the standard base exception (MSVC) or as a standard
// type derived from it that carries the message (elsewhere).
[[noreturn]] void ThrowFailure(const std::string& message);

// Switches the console output code page to 1252 and loads both lists of
// `directory` into `lists`; restores the previous code page and throws on
// failure.
void LoadListsForInitialize(ReferenceLists& lists, const std::filesystem::path& directory);

// True once Initialize has returned normally.
bool ListsReady();

void InitializeLibrary();
Item* NewRandomItem();
Item* NewTestItem(std::int32_t n);
// Start: the producers run in `env`, the library's own unless a test passes
// its own.
void StartProducer(char version, void* shared, const ProducerEnvironment& env = {});

}  // namespace tavisor
