// The group kernels built for AVX2 + FMA (this file alone is compiled with those instruction
// sets; BlockForm calls it only on processors that have them). The kernels keep both
// channels in one 128-bit register, as the SSE2 build does, and fuse each multiply-add.
#include "dsp/filters/BlockForm.h"

#if defined(QD_HAVE_AVX2_KERNELS)
#include <immintrin.h>

#include "dsp/filters/BlockKernels.h"

namespace Iir {
namespace {

struct FmaOps {
  static __m128d madd(__m128d a, __m128d b, __m128d c) { return _mm_fmadd_pd(a, b, c); }
};

}  // namespace

namespace detail {

void InterpolateAvx2Fma(const BlockForm::Maps& m, StereoBlockState& s, const double* inL,
                        const double* inR, double gain, double scale, double* outL, double* outR,
                        int frames) {
  Kernels<FmaOps>::Interpolate(m, s, inL, inR, gain, scale, outL, outR, frames);
}

void DecimateAvx2Fma(const BlockForm::Maps& m, StereoBlockState& s, const double* inL,
                     const double* inR, double gain, double* outL, double* outR, int frames) {
  Kernels<FmaOps>::Decimate(m, s, inL, inR, gain, outL, outR, frames);
}

}  // namespace detail
}  // namespace Iir
#endif
