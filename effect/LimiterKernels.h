// The limiter's follower loop in the instruction sets the processor may have. Every form
// performs the same IEEE operations on each follower in the same order, so all give identical
// envelopes and peaks; the widest one the processor runs is chosen once, when the library
// loads.
//
// Threads: pure functions over the caller's arrays; real-time safe.
#pragma once

namespace qd::detail {

// Per follower (slow, medium, fast): rising = up x peak + upKeep x envelope, falling =
// down x peak + downKeep x envelope.
struct FollowerCoefficients {
  double up[3], upKeep[3], down[3], downKeep[3];
};

// For i < n: each follower takes the rising form where peaks[i] exceeds its envelope and the
// falling one elsewhere; peaks[i] becomes the largest of 0.3 x slow, 0.3 x medium and fast.
void FollowPeaksScalar(const FollowerCoefficients& c, double envelope[3], double* peaks, int n);
// Whether the AVX2 form (all three followers in one register) is built and this processor
// runs it; where it is not built it runs the scalar form.
bool HaveAvx2LimiterKernels();
void FollowPeaksAvx2(const FollowerCoefficients& c, double envelope[3], double* peaks, int n);

}  // namespace qd::detail
