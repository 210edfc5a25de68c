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
    OnReplace(items[position_], samples[i]);
    items[position_] = samples[i];
    if (++position_ >= size_) {
      position_ = 0;
      OnWrap(items, size_ - 1);
    }
  }
}

void RMSBuffer::Resize(double ms) {
  const double size = std::trunc(static_cast<double>(sampleRate_) * ms / 1000.0);
  // A window is at most a few seconds; the bound only guards against absurd rates.
  Allocate(static_cast<int>(std::clamp(size, 0.0, 1.0e8)));
  lastRms_ = 0.0;
  sum_ = 0.0;
  compensation_ = 0.0;
  nonZero_ = 0;
}

void RMSBuffer::AddToSum(double term) {
  // Neumaier's compensated summation: the rounding error of each addition is kept in
  // compensation_, so subtracting a loud past sample leaves no residue.
  const double t = sum_ + term;
  if (std::fabs(sum_) >= std::fabs(term)) {
    compensation_ += (sum_ - t) + term;
  } else {
    compensation_ += (term - t) + sum_;
  }
  sum_ = t;
}

void RMSBuffer::OnReplace(double oldValue, double newValue) {
  nonZero_ += (newValue != 0.0) - (oldValue != 0.0);
  AddToSum(newValue * newValue);
  AddToSum(-(oldValue * oldValue));
}

void RMSBuffer::OnWrap(const double* items, int lastIndex) {
  // Start again from a compensated sum of the whole window, so the error of the running sum
  // cannot outlive the samples that caused it.
  sum_ = 0.0;
  compensation_ = 0.0;
  for (int i = 0; i <= lastIndex; ++i) AddToSum(items[i] * items[i]);
}

double RMSBuffer::ExactSumOfSquares() const {
  double s = 0.0;
  const double* items = items_.get();
  for (int i = 0; i < size_; ++i) s += items[i] * items[i];
  return s;
}

double RMSBuffer::Rms() const {
  if (size_ <= 0 || nonZero_ == 0) return 0.0;
  const double sum = std::max(0.0, sum_ + compensation_);
  return std::sqrt(sum / size_);
}

}  // namespace qd
