// The engine's passes over a whole block at its two ends, each in a one-pass form beside the
// straightforward reference form it is tested against bit for bit. Audio thread; allocate
// nothing.
#pragma once

namespace qd {

// Copies one input channel into the chain: a non-finite sample becomes 0, a finite one is
// clamped to [-limit, limit]. `in` null reads as silence.
void CopyInputSafely(const double* in, int frames, double limit, double* out);
void CopyInputSafelyReference(const double* in, int frames, double limit, double* out);

// The last pass over a block of the engine's interleaved output: splits it into the host's
// two output channels, sums the squares of the samples (for the long-term RMS) and runs the
// two output peak followers.

struct OutputPeaks {
  double envelope[2] = {0.0, 0.0};  // left, right
  double attack[2] = {0.0, 0.0};
  double release[2] = {0.0, 0.0};
};

// One pass over `frames` interleaved stereo frames: outL/outR receive the channels, peaks
// step once per frame (env = |x| + (env - |x|) * (|x| > env ? attack : release)), and the
// return value is the plain sum of the squares in sample order (L0, R0, L1, ...).
double SplitAndMeasureOutput(const double* interleaved, int frames, double* outL, double* outR,
                             OutputPeaks& peaks);

// The same results computed the straightforward way, one channel and one quantity at a time
// (the reference the one-pass form is tested against, bit for bit).
double SplitAndMeasureOutputReference(const double* interleaved, int frames, double* outL,
                                      double* outR, OutputPeaks& peaks);

}  // namespace qd
