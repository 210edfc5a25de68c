#include "tools/host/Quantizer.h"

#include <cmath>

namespace qd::host {

Quantizer::Quantizer(int bits, bool dither, uint64_t seed)
    : scale_(std::ldexp(1.0, bits - 1)),
      maxCode_(static_cast<int32_t>(scale_) - 1),
      minCode_(-static_cast<int32_t>(scale_)),
      dither_(dither),
      state_(seed ? seed : 1) {}

double Quantizer::Uniform() {
  // xorshift64*: fast, and far longer in period than any programme.
  state_ ^= state_ >> 12;
  state_ ^= state_ << 25;
  state_ ^= state_ >> 27;
  const uint64_t r = state_ * 0x2545F4914F6CDD1Dull;
  return static_cast<double>(r >> 11) * (1.0 / 9007199254740992.0) - 0.5;
}

int32_t Quantizer::Code(double x) {
  double v = x * scale_;
  if (dither_) v += Uniform() + Uniform();
  if (!(v >= minCode_)) return minCode_;  // NaN too
  if (v >= maxCode_) return maxCode_;
  return static_cast<int32_t>(std::floor(v + 0.5));
}

void QuantizeInPlace(std::vector<double>& interleaved, int bits, bool dither) {
  Quantizer q(bits, dither);
  for (double& v : interleaved) v = q.Quantize(v);
}

}  // namespace qd::host
