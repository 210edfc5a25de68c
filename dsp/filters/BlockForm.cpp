#include "dsp/filters/BlockForm.h"

#include "dsp/math/Cpu.h"

#if defined(__SSE2__)
#include "dsp/filters/BlockKernels.h"
#endif

namespace Iir {

namespace {

constexpr int kStages = 2;
using Stereo = BlockForm::StereoFilter;

// One sample of the cascade on a plain state vector {d1, d2 of stage 0, d1, d2 of stage 1}:
// the arithmetic of the per-channel loop, so the maps are that loop applied to unit inputs.
double Step(const BiquadStage* stages, double* x, double& offset, double in) {
  offset = -offset;
  DirectForm2 first{x[0], x[1]}, second{x[2], x[3]};
  double y = first.process(in, stages[0], offset);
  y = second.process(y, stages[1]);
  x[0] = first.d1, x[1] = first.d2, x[2] = second.d1, x[3] = second.d2;
  return y;
}

// Loads and stores the filter's own state in the kernels' layout.
void Load(const Stereo& filter, StereoBlockState& s) {
  for (int c = 0; c < 2; ++c) {
    const auto& ch = filter.channelState(c);
    s.state[0][c] = ch.stages[0].d1;
    s.state[1][c] = ch.stages[0].d2;
    s.state[2][c] = ch.stages[1].d1;
    s.state[3][c] = ch.stages[1].d2;
    s.offset[c] = ch.offset;
  }
}

void Store(const StereoBlockState& s, Stereo& filter) {
  for (int c = 0; c < 2; ++c) {
    auto& ch = filter.channelState(c);
    ch.stages[0].d1 = s.state[0][c];
    ch.stages[0].d2 = s.state[1][c];
    ch.stages[1].d1 = s.state[2][c];
    ch.stages[1].d2 = s.state[3][c];
    ch.offset = s.offset[c];
  }
}

#if defined(__SSE2__)
struct Sse2Ops {
  static __m128d madd(__m128d a, __m128d b, __m128d c) { return _mm_add_pd(_mm_mul_pd(a, b), c); }
};
#endif

}  // namespace

bool IsaAvailable(Isa isa) {
  switch (isa) {
    case Isa::kPlain:
      return true;
    case Isa::kSse2:
#if defined(__SSE2__)
      return true;
#else
      return false;
#endif
    case Isa::kAvx2Fma:
#if defined(QD_HAVE_AVX2_KERNELS)
      return qd::CpuHasAvx2Fma();
#else
      return false;
#endif
  }
  return false;
}

Isa BestIsa() {
  if (IsaAvailable(Isa::kAvx2Fma)) return Isa::kAvx2Fma;
  if (IsaAvailable(Isa::kSse2)) return Isa::kSse2;
  return Isa::kPlain;
}

bool BlockForm::Design(const StereoFilter& filter, int factor) {
  factor_ = 0;
  const auto& cascade = filter.design().cascade();
  if (factor < 2 || factor > kMaxFactor || cascade.numStages > kStages) return false;
  // A design with fewer stages runs as two, the missing one passing its input through.
  BiquadStage stages[kStages];
  for (int s = 0; s < cascade.numStages; ++s) stages[s] = cascade.stages[s];

  maps_ = Maps{};
  maps_.factor = factor;
  // Interpolation: column i is the response to unit state i, a unit input or a unit offset.
  for (int i = 0; i < kStateSize + 2; ++i) {
    double x[kStateSize] = {};
    if (i < kStateSize) x[i] = 1.0;
    double offset = i == kStateSize + 1 ? 1.0 : 0.0;
    for (int j = 0; j < factor; ++j) {
      maps_.upOut[j][i] = Step(stages, x, offset, j == 0 && i == kStateSize ? 1.0 : 0.0);
    }
    for (int r = 0; r < kStateSize; ++r) maps_.upState[r][i] = x[r];
  }
  // Decimation: columns state 0..3, input j of the group, offset.
  const int cols = kStateSize + factor + 1;
  for (int i = 0; i < cols; ++i) {
    double x[kStateSize] = {};
    if (i < kStateSize) x[i] = 1.0;
    double offset = i == cols - 1 ? 1.0 : 0.0;
    for (int j = 0; j < factor; ++j) {
      const double y = Step(stages, x, offset, i == kStateSize + j ? 1.0 : 0.0);
      if (j == 0) {
        if (i < kStateSize + 1) maps_.downOut[i] = y;
        if (i == cols - 1) maps_.downOut[kStateSize + 1] = y;
      }
    }
    for (int r = 0; r < kStateSize; ++r) maps_.downState[r][i] = x[r];
  }
  auto pair = [](double(&to)[2], double v) { to[0] = to[1] = v; };
  for (int j = 0; j < kMaxFactor; ++j) {
    for (int i = 0; i < kStateSize + 2; ++i) pair(maps_.upOutPairs[j][i], maps_.upOut[j][i]);
  }
  for (int r = 0; r < kStateSize; ++r) {
    for (int i = 0; i < kStateSize + 2; ++i) pair(maps_.upStatePairs[r][i], maps_.upState[r][i]);
    for (int i = 0; i < kStateSize + kMaxFactor + 1; ++i) {
      pair(maps_.downStatePairs[r][i], maps_.downState[r][i]);
    }
  }
  for (int i = 0; i < kStateSize + 2; ++i) pair(maps_.downOutPairs[i], maps_.downOut[i]);
  factor_ = factor;
  isa_ = BestIsa();
  return true;
}

void BlockForm::Interpolate(StereoFilter& filter, const double* inL, const double* inR, double gain,
                            double scale, double* outL, double* outR, int frames) const {
  if (!Ready() || frames <= 0) return;
  const int f = factor_;
  if (isa_ == Isa::kPlain || !HasKernel(f)) {
    // The reference: a gain stage, zero-stuffing, then the per-channel loop.
    for (int k = 0; k < frames; ++k) {
      outL[k * f] = scale * (gain * inL[k]);
      outR[k * f] = scale * (gain * inR[k]);
      for (int j = 1; j < f; ++j) outL[k * f + j] = outR[k * f + j] = 0.0;
    }
    double* channels[2] = {outL, outR};
    filter.processEachChannel(frames * f, channels);
    return;
  }
  StereoBlockState s;
  Load(filter, s);
#if defined(__SSE2__)
  if (isa_ == Isa::kAvx2Fma) {
    detail::InterpolateAvx2Fma(maps_, s, inL, inR, gain, scale, outL, outR, frames);
  } else {
    detail::InterpolateSse2(maps_, s, inL, inR, gain, scale, outL, outR, frames);
  }
#endif
  Store(s, filter);
}

void BlockForm::Decimate(StereoFilter& filter, const double* inL, const double* inR, double gain,
                         double* outL, double* outR, int frames) const {
  if (!Ready() || frames <= 0) return;
  const int f = factor_;
  if (isa_ == Isa::kPlain || !HasKernel(f)) {
    // The reference: a gain stage, the per-channel loop, then every f-th sample; run sample
    // by sample so the input stays untouched.
    const auto& stages = filter.design().cascade().stages;
    const int numStages = filter.design().cascade().numStages;
    const double* in[2] = {inL, inR};
    double* out[2] = {outL, outR};
    for (int c = 0; c < 2; ++c) {
      auto& ch = filter.channelState(c);
      for (int k = 0; k < frames; ++k) {
        double kept = 0.0;
        for (int j = 0; j < f; ++j) {
          double y = gain * in[c][k * f + j];
          ch.offset = -ch.offset;
          if (numStages > 0) {
            y = ch.stages[0].process(y, stages[0], ch.offset);
            for (int st = 1; st < numStages; ++st) y = ch.stages[st].process(y, stages[st]);
          }
          if (j == 0) kept = y;
        }
        out[c][k] = kept;
      }
    }
    return;
  }
  StereoBlockState s;
  Load(filter, s);
#if defined(__SSE2__)
  if (isa_ == Isa::kAvx2Fma) {
    detail::DecimateAvx2Fma(maps_, s, inL, inR, gain, outL, outR, frames);
  } else {
    detail::DecimateSse2(maps_, s, inL, inR, gain, outL, outR, frames);
  }
#endif
  Store(s, filter);
}

#if defined(__SSE2__)
namespace detail {

void InterpolateSse2(const BlockForm::Maps& m, StereoBlockState& s, const double* inL,
                     const double* inR, double gain, double scale, double* outL, double* outR,
                     int frames) {
  Kernels<Sse2Ops>::Interpolate(m, s, inL, inR, gain, scale, outL, outR, frames);
}

void DecimateSse2(const BlockForm::Maps& m, StereoBlockState& s, const double* inL,
                  const double* inR, double gain, double* outL, double* outR, int frames) {
  Kernels<Sse2Ops>::Decimate(m, s, inL, inR, gain, outL, outR, frames);
}

}  // namespace detail
#endif

}  // namespace Iir
