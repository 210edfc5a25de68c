// The RMS window's inner loops over whole rounds of four lanes, in the instruction sets the
// processor may have. Every form performs the same IEEE operations on the same lanes in the
// same order, so all of them give identical sums; the widest one the processor runs is chosen
// once, when the library loads.
//
// Threads: pure functions over the caller's arrays; real-time safe.
#pragma once

namespace qd::detail {

// Running compensated sums of four lanes: [lane] sums and their two-sum error terms.
struct LaneSums {
  double* addedSum;
  double* addedCompensation;
  double* removedSum;
  double* removedCompensation;
};

// Pushes rounds x 4 samples over the window's items (replacing them), adding the squares of
// the new samples and of the replaced items to the lane sums; returns the change in the
// number of items that are not zero.
int PushRoundsSse2(const LaneSums& sums, const double* samples, double* items, int rounds);
// Compensated sums of squares of rounds x 4 items into zeroed lane sums (added only).
void SumRoundsSse2(const LaneSums& sums, const double* items, int rounds);

// Whether the AVX2 forms (four lanes to a register) are built and this processor runs them;
// where they are not built they run the SSE2 forms.
bool HaveAvx2RmsKernels();
int PushRoundsAvx2(const LaneSums& sums, const double* samples, double* items, int rounds);
void SumRoundsAvx2(const LaneSums& sums, const double* items, int rounds);

}  // namespace qd::detail
