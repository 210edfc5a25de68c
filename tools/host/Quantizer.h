// The last step before an integer file: the engine's doubles rounded to the file's grid of
// 2^(bits-1) steps per unit, with flat TPDF dither of +-1 step added first (the sum of two
// independent uniform values of +-1/2 step). With the dither the rounding error is white,
// of power 1/4 step^2, and independent of the signal; without it, the error follows the
// signal. Values beyond full scale are clipped to the largest code. Deterministic for a seed.
#pragma once

#include <cstdint>
#include <vector>

namespace qd::host {

// The sample formats `master` writes.
enum class SampleBits { k16, k24, k32Float };

class Quantizer {
 public:
  Quantizer(int bits, bool dither, uint64_t seed = 0x51754C6F44565832ull);
  // The integer code of x (full scale 1.0 = 2^(bits-1)).
  int32_t Code(double x);
  // The code as a double in -1..1, what the file will hold.
  double Quantize(double x) { return Code(x) / scale_; }
  double StepSize() const { return 1.0 / scale_; }

 private:
  double Uniform();  // in -0.5 .. 0.5
  double scale_;
  int32_t maxCode_, minCode_;
  bool dither_;
  uint64_t state_;
};

// Quantises every sample in place to `bits` (16 or 24) with or without dither.
void QuantizeInPlace(std::vector<double>& interleaved, int bits, bool dither);

}  // namespace qd::host
