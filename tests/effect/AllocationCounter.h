// Counts heap allocations made through the global allocation functions of the effect test
// program (defined in Allocation_test.cpp), so tests can show a real-time path allocates
// nothing.
#pragma once

namespace qd::testing {

// Starts counting from zero (on = true), or stops and returns the allocations counted.
long CountAllocations(bool on);

}  // namespace qd::testing
