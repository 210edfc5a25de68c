// Interpolation and decimation by an integer factor F through a two-channel order-4 filter,
// F samples at a time in state-space form. Over one group of F samples the cascade is a
// linear map of its state (the four direct-form-II delays), the group's inputs and the
// anti-denormal offset; BlockForm holds that map, built by running the plain per-sample
// recursion on unit inputs, and applies it with both channels in one register. The results
// equal zero-stuffing and processBlock (interpolation) or processBlock and keeping the first
// of every F samples (decimation) up to the rounding of the reordered arithmetic (about 1e-15
// of full scale); the filter's own state is advanced, so the forms can be mixed freely.
//
// The kernel runs with SSE2 on every x86-64 processor, or with AVX2 + FMA where the processor
// has them (chosen once at run time); other targets run the plain recursion.
//
// Threads: design on a setup path (allocates nothing, but must not overlap processing);
// Interpolate and Decimate are real-time safe: no allocation, no lock, no throw.
#pragma once

#include "dsp/filters/LowPass.h"

namespace Iir {

enum class Isa { kPlain, kSse2, kAvx2Fma };

// The best kernel this processor runs.
Isa BestIsa();
// Whether this build and processor can run the kernel.
bool IsaAvailable(Isa isa);

class BlockForm {
 public:
  using StereoFilter = LegendreLowPassFilter<2>;
  static constexpr int kStateSize = 4;
  static constexpr int kMaxFactor = 16;

  // The factors that have a group kernel; others run the plain recursion.
  static bool HasKernel(int factor) {
    return factor == 2 || factor == 4 || factor == 8 || factor == 16;
  }

  // Builds the group maps for `factor` (2 .. kMaxFactor) from the filter's current design.
  // Returns false (and leaves the form unusable) for a factor out of range or a design with
  // more than two stages.
  bool Design(const StereoFilter& filter, int factor);
  int Factor() const { return factor_; }
  bool Ready() const { return factor_ > 0; }

  // outL/outR[k*F + j] for k < frames, j < F: the filter's response to inL/inR[k] x scale
  // x gain placed at k*F, zeros between. The input is multiplied as (gain x in) x scale,
  // as a separate gain stage followed by the zero-stuffing scale would. Buffers must not
  // overlap; outL/R hold frames x F samples.
  void Interpolate(StereoFilter& filter, const double* inL, const double* inR, double gain,
                   double scale, double* outL, double* outR, int frames) const;

  // outL/outR[k] for k < frames: the filter's output at k*F for the input gain x in[0 ..
  // frames x F). outL/R may be inL/R themselves (each output is written after its group is
  // read) but must not overlap the other channel.
  void Decimate(StereoFilter& filter, const double* inL, const double* inR, double gain,
                double* outL, double* outR, int frames) const;

  // The kernel in use: BestIsa() after Design. Tests and benchmarks choose another one with
  // UseIsa (one this processor runs; kPlain is the per-sample recursion itself).
  Isa ActiveIsa() const { return isa_; }
  void UseIsa(Isa isa) { isa_ = IsaAvailable(isa) ? isa : Isa::kPlain; }

  // The maps, laid out for the kernels. Columns of the interpolation map: state 0..3, the
  // input, the offset; of the decimation map: state 0..3, inputs 0..F-1, the offset.
  struct Maps {
    int factor = 0;
    double upOut[kMaxFactor][kStateSize + 2] = {};
    double upState[kStateSize][kStateSize + 2] = {};
    double downOut[kStateSize + 2] = {};
    double downState[kStateSize][kStateSize + kMaxFactor + 1] = {};
    // The same coefficients, each twice (one for each channel of a register), so the kernels
    // load them as they go instead of broadcasting them on every call.
    alignas(16) double upOutPairs[kMaxFactor][kStateSize + 2][2] = {};
    alignas(16) double upStatePairs[kStateSize][kStateSize + 2][2] = {};
    alignas(16) double downOutPairs[kStateSize + 2][2] = {};
    alignas(16) double downStatePairs[kStateSize][kStateSize + kMaxFactor + 1][2] = {};
  };
  const Maps& GroupMaps() const { return maps_; }

 private:
  int factor_ = 0;
  Isa isa_ = Isa::kPlain;
  Maps maps_;
};

// Run state in the kernels' layout: both channels of each delay side by side.
struct StereoBlockState {
  alignas(16) double state[BlockForm::kStateSize][2];
  alignas(16) double offset[2];
};

namespace detail {
void InterpolateSse2(const BlockForm::Maps& m, StereoBlockState& s, const double* inL,
                     const double* inR, double gain, double scale, double* outL, double* outR,
                     int frames);
void DecimateSse2(const BlockForm::Maps& m, StereoBlockState& s, const double* inL,
                  const double* inR, double gain, double* outL, double* outR, int frames);
void InterpolateAvx2Fma(const BlockForm::Maps& m, StereoBlockState& s, const double* inL,
                        const double* inR, double gain, double scale, double* outL, double* outR,
                        int frames);
void DecimateAvx2Fma(const BlockForm::Maps& m, StereoBlockState& s, const double* inL,
                     const double* inR, double gain, double* outL, double* outR, int frames);
}  // namespace detail

}  // namespace Iir
