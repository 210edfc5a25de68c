#include "effect/RMSBuffer.h"

#include <algorithm>
#include <cmath>

#include "dsp/math/Cpu.h"
#include "effect/RMSKernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qd {

void CircularBuffer::Allocate(int size) {
  size_ = std::max(0, size);
  items_ = size_ > 0 ? std::make_unique<double[]>(size_) : nullptr;  // zero-filled
  position_ = 0;
}

void CircularBuffer::Push(const double* samples, int count) {
  if (size_ <= 0 || !samples) return;
  double* items = items_.get();
  for (int i = 0; i < count; ++i) {
    items[position_] = samples[i];
    if (++position_ >= size_) {
      position_ = 0;
      OnWrap(items, size_ - 1);
    }
  }
}

namespace {

// Adds term to (sum, compensation) keeping the exact rounding error (Knuth's two-sum).
inline void TwoSumAdd(double& sum, double& compensation, double term) {
  const double t = sum + term;
  const double b = t - sum;
  compensation += (sum - (t - b)) + (term - b);
  sum = t;
}

#if defined(__SSE2__)
// TwoSumAdd on two lanes at once.
inline void TwoSumAdd2(__m128d& sum, __m128d& compensation, __m128d term) {
  const __m128d t = _mm_add_pd(sum, term);
  const __m128d b = _mm_sub_pd(t, sum);
  compensation =
      _mm_add_pd(compensation, _mm_add_pd(_mm_sub_pd(sum, _mm_sub_pd(t, b)), _mm_sub_pd(term, b)));
  sum = t;
}
#endif

// Chosen once, when the library loads.
const bool kUseAvx2 = detail::HaveAvx2RmsKernels();

}  // namespace

namespace detail {

#if defined(__SSE2__)
int PushRoundsSse2(const LaneSums& s, const double* samples, double* items, int rounds) {
  // Two lanes to a register.
  __m128d addSum[2], addComp[2], remSum[2], remComp[2];
  for (int h = 0; h < 2; ++h) {
    addSum[h] = _mm_loadu_pd(s.addedSum + 2 * h);
    addComp[h] = _mm_loadu_pd(s.addedCompensation + 2 * h);
    remSum[h] = _mm_loadu_pd(s.removedSum + 2 * h);
    remComp[h] = _mm_loadu_pd(s.removedCompensation + 2 * h);
  }
  const __m128d zero = _mm_setzero_pd();
  __m128i counted = _mm_setzero_si128();  // per lane: nonzero new minus nonzero old
  for (int r = 0; r < rounds; ++r) {
    for (int h = 0; h < 2; ++h) {
      const __m128d n = _mm_loadu_pd(samples + 4 * r + 2 * h);
      const __m128d o = _mm_loadu_pd(items + 4 * r + 2 * h);
      counted = _mm_sub_epi64(counted, _mm_castpd_si128(_mm_cmpneq_pd(n, zero)));
      counted = _mm_add_epi64(counted, _mm_castpd_si128(_mm_cmpneq_pd(o, zero)));
      TwoSumAdd2(addSum[h], addComp[h], _mm_mul_pd(n, n));
      TwoSumAdd2(remSum[h], remComp[h], _mm_mul_pd(o, o));
      _mm_storeu_pd(items + 4 * r + 2 * h, n);
    }
  }
  for (int h = 0; h < 2; ++h) {
    _mm_storeu_pd(s.addedSum + 2 * h, addSum[h]);
    _mm_storeu_pd(s.addedCompensation + 2 * h, addComp[h]);
    _mm_storeu_pd(s.removedSum + 2 * h, remSum[h]);
    _mm_storeu_pd(s.removedCompensation + 2 * h, remComp[h]);
  }
  alignas(16) int64_t lanes[2];
  _mm_store_si128(reinterpret_cast<__m128i*>(lanes), counted);
  return static_cast<int>(lanes[0] + lanes[1]);
}

void SumRoundsSse2(const LaneSums& s, const double* items, int rounds) {
  __m128d sum[2] = {_mm_setzero_pd(), _mm_setzero_pd()};
  __m128d compensation[2] = {_mm_setzero_pd(), _mm_setzero_pd()};
  for (int r = 0; r < rounds; ++r) {
    for (int h = 0; h < 2; ++h) {
      const __m128d x = _mm_loadu_pd(items + 4 * r + 2 * h);
      TwoSumAdd2(sum[h], compensation[h], _mm_mul_pd(x, x));
    }
  }
  for (int h = 0; h < 2; ++h) {
    _mm_storeu_pd(s.addedSum + 2 * h, sum[h]);
    _mm_storeu_pd(s.addedCompensation + 2 * h, compensation[h]);
  }
}
#endif

bool HaveAvx2RmsKernels() {
#if defined(QD_HAVE_AVX2_RMS)
  return CpuHasAvx2();
#else
  return false;
#endif
}

}  // namespace detail

detail::LaneSums RMSBuffer::Lanes() {
  return {added_.sum, added_.compensation, removed_.sum, removed_.compensation};
}

void RMSBuffer::ClearSums() {
  added_ = Accumulator{};
  removed_ = Accumulator{};
  lane_ = 0;
}

void RMSBuffer::Resize(double ms) {
  const double size = std::trunc(static_cast<double>(sampleRate_) * ms / 1000.0);
  // A window is at most a few seconds; the bound only guards against absurd rates.
  Allocate(static_cast<int>(std::clamp(size, 0.0, 1.0e8)));
  lastRms_ = 0.0;
  ClearSums();
  nonZero_ = 0;
}

void RMSBuffer::PushSegment(const double* samples, double* items, int count) {
  int i = 0;
  // Finish the current round of lanes one sample at a time, then whole rounds.
  for (; i < count && lane_ != 0; ++i) {
    const double n = samples[i], o = items[i];
    nonZero_ += (n != 0.0) - (o != 0.0);
    TwoSumAdd(added_.sum[lane_], added_.compensation[lane_], n * n);
    TwoSumAdd(removed_.sum[lane_], removed_.compensation[lane_], o * o);
    items[i] = n;
    lane_ = (lane_ + 1) % kLanes;
  }
  int nonZero = 0;
#if defined(__SSE2__)
  // Whole rounds in the widest form the processor runs: the same operations on the same
  // lanes as the scalar loop below, so the sums are identical.
  static_assert(kLanes == 4);
  if (const int rounds = (count - i) / kLanes; rounds > 0) {
    const detail::LaneSums sums = Lanes();
    nonZero += kUseAvx2 ? detail::PushRoundsAvx2(sums, samples + i, items + i, rounds)
                        : detail::PushRoundsSse2(sums, samples + i, items + i, rounds);
    i += kLanes * rounds;
  }
#endif
  for (; i + kLanes <= count; i += kLanes) {
    for (int l = 0; l < kLanes; ++l) {
      const double n = samples[i + l], o = items[i + l];
      nonZero += (n != 0.0) - (o != 0.0);
      TwoSumAdd(added_.sum[l], added_.compensation[l], n * n);
      TwoSumAdd(removed_.sum[l], removed_.compensation[l], o * o);
      items[i + l] = n;
    }
  }
  nonZero_ += nonZero;
  for (; i < count; ++i) {
    const double n = samples[i], o = items[i];
    nonZero_ += (n != 0.0) - (o != 0.0);
    TwoSumAdd(added_.sum[lane_], added_.compensation[lane_], n * n);
    TwoSumAdd(removed_.sum[lane_], removed_.compensation[lane_], o * o);
    items[i] = n;
    lane_ = (lane_ + 1) % kLanes;
  }
}

void RMSBuffer::Push(const double* samples, int count) {
  if (size_ <= 0 || !samples) return;
  while (count > 0) {
    const int segment = std::min(count, size_ - position_);
    PushSegment(samples, items_.get() + position_, segment);
    samples += segment;
    count -= segment;
    position_ += segment;
    if (position_ >= size_) {
      position_ = 0;
      OnWrap(items_.get(), size_ - 1);
    }
  }
}

void RMSBuffer::OnWrap(const double* items, int lastIndex) {
  // Start again from a compensated sum of the whole window, so no rounding error of the
  // running sums outlives the samples that caused it.
  ClearSums();
  int i = 0;
#if defined(__SSE2__)
  if (const int rounds = (lastIndex + 1) / kLanes; rounds > 0) {
    const detail::LaneSums sums = Lanes();
    if (kUseAvx2) {
      detail::SumRoundsAvx2(sums, items, rounds);
    } else {
      detail::SumRoundsSse2(sums, items, rounds);
    }
    i = kLanes * rounds;
  }
#endif
  for (; i <= lastIndex; ++i) {
    const int l = i % kLanes;
    TwoSumAdd(added_.sum[l], added_.compensation[l], items[i] * items[i]);
  }
}

double RMSBuffer::ExactSumOfSquares() const {
  double s = 0.0;
  const double* items = items_.get();
  for (int i = 0; i < size_; ++i) s += items[i] * items[i];
  return s;
}

RMSBuffer::Totals RMSBuffer::CaptureTotals() const {
  static_assert(kLanes == 4);
  Totals t;
  std::copy(added_.sum, added_.sum + kLanes, t.addedSum);
  std::copy(added_.compensation, added_.compensation + kLanes, t.addedCompensation);
  std::copy(removed_.sum, removed_.sum + kLanes, t.removedSum);
  std::copy(removed_.compensation, removed_.compensation + kLanes, t.removedCompensation);
  t.size = size_;
  t.nonZero = nonZero_;
  return t;
}

namespace {

// The compensated sum of the lanes' sums and error terms, added then removed, lane by lane.
double LaneTotal(const double* addedSum, const double* addedCompensation, const double* removedSum,
                 const double* removedCompensation, int lanes) {
  double sum = 0.0, compensation = 0.0;
  for (int l = 0; l < lanes; ++l) {
    TwoSumAdd(sum, compensation, addedSum[l]);
    TwoSumAdd(sum, compensation, -removedSum[l]);
  }
  for (int l = 0; l < lanes; ++l) {
    TwoSumAdd(sum, compensation, addedCompensation[l]);
    TwoSumAdd(sum, compensation, -removedCompensation[l]);
  }
  return std::max(0.0, sum + compensation);
}

}  // namespace

double RMSBuffer::RmsOf(const Totals& t) {
  if (t.size <= 0 || t.nonZero == 0) return 0.0;
  const double sum =
      LaneTotal(t.addedSum, t.addedCompensation, t.removedSum, t.removedCompensation, kLanes);
  return std::sqrt(sum / t.size);
}

double RMSBuffer::SumOfSquares() const {
  if (size_ <= 0 || nonZero_ == 0) return 0.0;
  return LaneTotal(added_.sum, added_.compensation, removed_.sum, removed_.compensation, kLanes);
}

double RMSBuffer::Rms() const {
  if (size_ <= 0 || nonZero_ == 0) return 0.0;
  return std::sqrt(SumOfSquares() / size_);
}

}  // namespace qd
