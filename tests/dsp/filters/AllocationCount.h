// Counts heap allocations made through operator new in this test program, so tests can
// show that a real-time path allocates nothing.
#pragma once

#include <cstddef>

#include "tests/support/AllocationCounter.h"

namespace Iir::test {

// Number of operator new calls since the program started.
inline std::size_t AllocationCount() {
  return static_cast<std::size_t>(qd::testing::AllocationsSoFar());
}

}  // namespace Iir::test
