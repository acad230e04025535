// A producer's thread runs library code after its last signal (it returns,
// destroys its objects, ends), and nothing tells the client when it is
// through: once a producer has been started, the library stays loaded
// whatever the client unloads.
#include <gtest/gtest.h>

#include <optional>

#include "../test_support.h"
#include "tavisor/library.h"
#include "tavisor/producer.h"

#if defined(__linux__)
#include <dlfcn.h>
#endif

namespace tavisor {
namespace {

using namespace std::chrono_literals;

TEST(KeepLoaded, AStartedProducerKeepsTheLibraryLoadedForGood) {
#if !defined(__linux__)
  GTEST_SKIP() << "asks the loader with dlopen(RTLD_NOLOAD), which only Linux has here";
#else
  const auto loaded = [] {
    void* const handle = ::dlopen(TAVISOR_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) ::dlclose(handle);
    return handle != nullptr;
  };
  if (loaded())
    GTEST_SKIP() << "the library is loaded already: run this test in a process of its own";
  // In this order: the first producer keeps the library for the rest of
  // the process.
  struct Case {
    const char* what;
    std::optional<char> producer;
    bool stays_loaded;
  };
  const Case cases[] = {
      {"a Library that started no producer", std::nullopt, false},
      {"a Library whose D producer has ended", 'D', true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    {
      const Library lib(TAVISOR_LIBRARY_PATH);
      testing::InitializeOnBundledLists(lib);
      if (c.producer) {
        ::testing::internal::CaptureStdout();
        AnyProducer producer(*c.producer, lib);
        producer.Stop();
        EXPECT_EQ(producer.WaitFor(5s).what, Arrival::kEnded);
        (void)::testing::internal::GetCapturedStdout();
      }
    }
    EXPECT_EQ(loaded(), c.stays_loaded);
  }
#endif
}

}  // namespace
}  // namespace tavisor
