#include "api/entry_points.h"

#include <atomic>
#include <exception>
#include <stdexcept>
#include <utility>

#include "items/data_item.h"
#include "platform/console.h"
#include "producer/launch.h"
#include "refdata/reference_lists.h"
#include "tavisor/shared_state.h"
#include "testdata/test_item_table.h"

namespace tavisor {

namespace {

constexpr unsigned kWindowsLatin1CodePage = 1252;

std::atomic<bool> lists_ready{false};

// The lists are read without a lock, so nothing may read them before a load
// has filled them; before that the exports refuse instead.
void RequireLists() {
  if (!lists_ready.load(std::memory_order_acquire)) {
    throw std::logic_error("Reference lists are not loaded: call Initialize first");
  }
}

}  // namespace

void ThrowFailure(const std::string& message) {
#if defined(_MSC_VER)
  throw std::exception(message.c_str());
#else
  throw std::runtime_error(message);
#endif
}

void LoadListsForInitialize(ReferenceLists& lists, const std::filesystem::path& directory) {
  const unsigned previous = platform::GetConsoleOutputCodePage();
  if (previous != kWindowsLatin1CodePage) {
    platform::SetConsoleOutputCodePage(kWindowsLatin1CodePage);
  }
  const std::string failure = LoadReferenceLists(lists, directory);
  if (!failure.empty()) {
    platform::SetConsoleOutputCodePage(previous);
    ThrowFailure(failure);
  }
}

bool ListsReady() { return lists_ready.load(std::memory_order_acquire); }

void InitializeLibrary() {
  // The file names are relative: they are looked up in the working
  // directory. Records may be made meanwhile: they read what the lists
  // publish, never what a load is appending to.
  UpdateLibraryLists([](ReferenceLists& lists) { LoadListsForInitialize(lists, {}); });
  // A failed later call leaves the lists as they were, still complete, so
  // the flag stays set once a load has succeeded.
  lists_ready.store(true, std::memory_order_release);
}

Item* NewRandomItem() {
  RequireLists();
  DataItem dit;
  return MakeItem(std::move(dit));
}

Item* NewTestItem(std::int32_t n) {
  if (n < 0 || n >= kTestItemCount) {
    throw std::out_of_range("GetTestItem: index " + std::to_string(n) +
                            " is outside the valid range 0 to " +
                            std::to_string(kTestItemCount - 1));
  }
  // MakeItem copies the entry's public members: the table itself is never
  // handed out or changed.
  return MakeItem(TestItemTable()[static_cast<std::size_t>(n)]);
}

void StartProducer(char version, void* shared, const ProducerEnvironment& env) {
  const char letter = NormalizedVariantLetter(version);
  // The letter is checked first, so a bad letter is "Unknown version"
  // whatever the address; then the address, before anything else: a null
  // structure would only crash the producer thread. Other bad addresses
  // cannot be told from good ones.
  if (letter == '\0') ThrowFailure("Unknown version");
  if (shared == nullptr) ThrowFailure("Start: the SharedState pointer is null");
  RequireLists();
  LaunchProducer(letter, shared, env);
}

}  // namespace tavisor
