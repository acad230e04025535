// For test programs that link the library's internals: the bundled lists
// loaded as Initialize loads them, and a typed test over variant letters.
#pragma once

#include <gtest/gtest.h>

#include "api/entry_points.h"
#include "test_support.h"

namespace tavisor::testing {

inline void LoadBundledLists() {
  const WorkingDirectory cwd(BundledData());
  InitializeLibrary();
}

// A typed test over Letter<'A'> ... Letter<'E'>, with the bundled lists
// loaded once per suite.
template <class T>
class VariantTest : public ::testing::Test {
 protected:
  static constexpr char kLetter = T::value;
  static void SetUpTestSuite() { LoadBundledLists(); }
};

}  // namespace tavisor::testing
