// The group kernels of BlockForm, written once over a multiply-add policy. Included only by
// BlockForm.cpp (SSE2) and BlockFormAvx2.cpp (compiled for AVX2 + FMA): everything here has
// internal linkage, so the two instruction sets never share a definition.
#pragma once

#include <emmintrin.h>

#include "dsp/filters/BlockForm.h"

namespace Iir {
namespace {

constexpr int kN = BlockForm::kStateSize;

template <class Ops, int F>
void InterpolateGroups(const BlockForm::Maps& m, StereoBlockState& st, const double* inL,
                       const double* inR, double gain, double scale, double* outL, double* outR,
                       int frames) {
  // Coefficient (row, column) of each map, in both lanes.
  auto out = [&m](int j, int i) { return _mm_load_pd(m.upOutPairs[j][i]); };
  auto next = [&m](int r, int i) { return _mm_load_pd(m.upStatePairs[r][i]); };
  __m128d s[kN];
  for (int r = 0; r < kN; ++r) s[r] = _mm_load_pd(st.state[r]);
  __m128d c = _mm_load_pd(st.offset);
  const __m128d g = _mm_set1_pd(gain);
  const __m128d sc = _mm_set1_pd(scale);
  for (int k = 0; k < frames; ++k) {
    const __m128d u = _mm_mul_pd(sc, _mm_mul_pd(g, _mm_set_pd(inR[k], inL[k])));
    __m128d y[F];
    for (int j = 0; j < F; ++j) {
      __m128d a = Ops::madd(out(j, kN), u, _mm_mul_pd(out(j, kN + 1), c));
      __m128d b = Ops::madd(out(j, 0), s[0], _mm_mul_pd(out(j, 1), s[1]));
      a = Ops::madd(out(j, 2), s[2], a);
      b = Ops::madd(out(j, 3), s[3], b);
      y[j] = _mm_add_pd(a, b);
    }
    __m128d ns[kN];
    for (int r = 0; r < kN; ++r) {
      __m128d a = Ops::madd(next(r, kN), u, _mm_mul_pd(next(r, kN + 1), c));
      __m128d b = Ops::madd(next(r, 0), s[0], _mm_mul_pd(next(r, 1), s[1]));
      a = Ops::madd(next(r, 2), s[2], a);
      b = Ops::madd(next(r, 3), s[3], b);
      ns[r] = _mm_add_pd(a, b);
    }
    for (int r = 0; r < kN; ++r) s[r] = ns[r];
    // An odd group length leaves the alternating offset with the other sign.
    if constexpr (F % 2 != 0) c = _mm_sub_pd(_mm_setzero_pd(), c);
    double* l = outL + static_cast<long>(k) * F;
    double* rr = outR + static_cast<long>(k) * F;
    for (int j = 0; j + 1 < F; j += 2) {
      _mm_storeu_pd(l + j, _mm_unpacklo_pd(y[j], y[j + 1]));
      _mm_storeu_pd(rr + j, _mm_unpackhi_pd(y[j], y[j + 1]));
    }
    if constexpr (F % 2 != 0) {
      _mm_storel_pd(l + F - 1, y[F - 1]);
      _mm_storeh_pd(rr + F - 1, y[F - 1]);
    }
  }
  for (int r = 0; r < kN; ++r) _mm_store_pd(st.state[r], s[r]);
  _mm_store_pd(st.offset, c);
}

template <class Ops, int F>
void DecimateGroups(const BlockForm::Maps& m, StereoBlockState& st, const double* inL,
                    const double* inR, double gain, double* outL, double* outR, int frames) {
  auto out = [&m](int i) { return _mm_load_pd(m.downOutPairs[i]); };
  auto next = [&m](int r, int i) { return _mm_load_pd(m.downStatePairs[r][i]); };
  __m128d s[kN];
  for (int r = 0; r < kN; ++r) s[r] = _mm_load_pd(st.state[r]);
  __m128d c = _mm_load_pd(st.offset);
  const __m128d g = _mm_set1_pd(gain);
  for (int k = 0; k < frames; ++k) {
    const double* l = inL + static_cast<long>(k) * F;
    const double* rr = inR + static_cast<long>(k) * F;
    __m128d u[F];
    for (int j = 0; j + 1 < F; j += 2) {
      const __m128d lj = _mm_loadu_pd(l + j);
      const __m128d rj = _mm_loadu_pd(rr + j);
      u[j] = _mm_mul_pd(g, _mm_unpacklo_pd(lj, rj));
      u[j + 1] = _mm_mul_pd(g, _mm_unpackhi_pd(lj, rj));
    }
    if constexpr (F % 2 != 0) u[F - 1] = _mm_mul_pd(g, _mm_set_pd(rr[F - 1], l[F - 1]));
    // The kept output depends only on the state, the group's first input and the offset.
    __m128d a = Ops::madd(out(kN), u[0], _mm_mul_pd(out(kN + 1), c));
    __m128d b = Ops::madd(out(0), s[0], _mm_mul_pd(out(1), s[1]));
    a = Ops::madd(out(2), s[2], a);
    b = Ops::madd(out(3), s[3], b);
    const __m128d y = _mm_add_pd(a, b);
    __m128d ns[kN];
    for (int r = 0; r < kN; ++r) {
      // Input terms first, in two chains; the state terms, on the recursion's critical path,
      // come last.
      __m128d p = _mm_mul_pd(next(r, kN + F), c);
      __m128d q = _mm_mul_pd(next(r, kN), u[0]);
      for (int j = 1; j < F; j += 2) {
        p = Ops::madd(next(r, kN + j), u[j], p);
        if (j + 1 < F) q = Ops::madd(next(r, kN + j + 1), u[j + 1], q);
      }
      p = Ops::madd(next(r, 0), s[0], p);
      q = Ops::madd(next(r, 1), s[1], q);
      p = Ops::madd(next(r, 2), s[2], p);
      q = Ops::madd(next(r, 3), s[3], q);
      ns[r] = _mm_add_pd(p, q);
    }
    for (int r = 0; r < kN; ++r) s[r] = ns[r];
    if constexpr (F % 2 != 0) c = _mm_sub_pd(_mm_setzero_pd(), c);
    _mm_storel_pd(outL + k, y);
    _mm_storeh_pd(outR + k, y);
  }
  for (int r = 0; r < kN; ++r) _mm_store_pd(st.state[r], s[r]);
  _mm_store_pd(st.offset, c);
}

// Runs Kernel<F> for the factors BlockForm has kernels for.
template <template <int> class Kernel, class... Args>
void ForFactor(int factor, Args&&... args) {
  switch (factor) {
    case 2:
      Kernel<2>::Run(args...);
      break;
    case 4:
      Kernel<4>::Run(args...);
      break;
    case 8:
      Kernel<8>::Run(args...);
      break;
    case 16:
      Kernel<16>::Run(args...);
      break;
    default:
      break;
  }
}

template <class Ops>
struct Kernels {
  template <int F>
  struct Up {
    template <class... Args>
    static void Run(Args&&... args) {
      InterpolateGroups<Ops, F>(args...);
    }
  };
  template <int F>
  struct Down {
    template <class... Args>
    static void Run(Args&&... args) {
      DecimateGroups<Ops, F>(args...);
    }
  };
  static void Interpolate(const BlockForm::Maps& m, StereoBlockState& s, const double* inL,
                          const double* inR, double gain, double scale, double* outL, double* outR,
                          int frames) {
    ForFactor<Up>(m.factor, m, s, inL, inR, gain, scale, outL, outR, frames);
  }
  static void Decimate(const BlockForm::Maps& m, StereoBlockState& s, const double* inL,
                       const double* inR, double gain, double* outL, double* outR, int frames) {
    ForFactor<Down>(m.factor, m, s, inL, inR, gain, outL, outR, frames);
  }
};

}  // namespace
}  // namespace Iir
