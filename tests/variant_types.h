// The variant lists of the typed tests.
#pragma once

#include <gtest/gtest.h>

#include "test_support.h"

namespace tavisor::testing {

// All five variants, and those that end with a last signal.
using AllVariants =
    ::testing::Types<Letter<'A'>, Letter<'B'>, Letter<'C'>, Letter<'D'>, Letter<'E'>>;
using LastSignalVariants = ::testing::Types<Letter<'B'>, Letter<'C'>, Letter<'D'>, Letter<'E'>>;

}  // namespace tavisor::testing
