// Counts heap allocations in a test program, so tests can show that a real-time path
// allocates nothing. Linking the test_support object library replaces the program's global
// allocation functions (every form, so each allocation pairs with its release).
#pragma once

namespace qd::testing {

// Starts counting the calling thread's allocations from zero (on = true), or stops; returns
// the allocations counted since the previous call. Other threads' allocations are not
// counted.
long CountAllocations(bool on);
// Allocations made by the whole program so far.
long AllocationsSoFar();

}  // namespace qd::testing
