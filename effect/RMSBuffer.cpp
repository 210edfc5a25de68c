#include "effect/RMSBuffer.h"

#include <algorithm>
#include <cmath>

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

}  // namespace

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
  for (int i = 0; i <= lastIndex; ++i) {
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

double RMSBuffer::Rms() const {
  if (size_ <= 0 || nonZero_ == 0) return 0.0;
  double sum = 0.0, compensation = 0.0;
  for (int l = 0; l < kLanes; ++l) {
    TwoSumAdd(sum, compensation, added_.sum[l]);
    TwoSumAdd(sum, compensation, -removed_.sum[l]);
  }
  for (int l = 0; l < kLanes; ++l) {
    TwoSumAdd(sum, compensation, added_.compensation[l]);
    TwoSumAdd(sum, compensation, -removed_.compensation[l]);
  }
  return std::sqrt(std::max(0.0, sum + compensation) / size_);
}

}  // namespace qd
