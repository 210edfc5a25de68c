// Counts heap allocations made through operator new in this test program, so tests can
// show that a real-time path allocates nothing.
#pragma once

#include <cstddef>

namespace Iir::test {

// Number of operator new calls since the program started.
std::size_t AllocationCount();

}  // namespace Iir::test
