// Pole/zero layouts and cascades of second-order stages: the data that a filter design
// produces and that the run-time filters read. Plain value types with fixed storage; no
// operation here allocates, locks or throws. One thread at a time per object.
#pragma once

#include <complex>

namespace Iir {

using complex_t = std::complex<double>;

// One section of a layout: a conjugate pair (pole 2 = conj(pole 1)) or a single real pole,
// in which case pole 2 and zero 2 are exactly 0.
struct PoleZeroSection {
  complex_t pole1{};
  complex_t pole2{};
  complex_t zero1{};
  complex_t zero2{};

  bool isSinglePole() const { return pole2 == complex_t{} && zero2 == complex_t{}; }
};

// Poles and zeros of a filter with room for MaxPoles poles, plus the frequency (radians
// per sample, or per second for an analog layout) at which the gain is fixed and that gain.
template <int MaxPoles>
struct PoleZeroLayout {
  static constexpr int maxPoles = MaxPoles;
  static constexpr int maxSections = (MaxPoles + 1) / 2;

  int numPoles = 0;
  PoleZeroSection sections[maxSections] = {};
  double normalW = 0.0;
  double normalGain = 1.0;

  void reset() { numPoles = 0; }
  int numSections() const { return (numPoles + 1) / 2; }

  // Stores (p, conj p, z, conj z) as the next section. Ignored when the layout is full.
  void addConjugatePairs(complex_t pole, complex_t zero) {
    if (numPoles + 2 > maxPoles) return;
    sections[numPoles / 2] = {pole, std::conj(pole), zero, std::conj(zero)};
    numPoles += 2;
  }

  // Stores the single pole p with zero z as the next section. Ignored when the layout is full.
  void add(complex_t pole, complex_t zero) {
    if (numPoles + 1 > maxPoles) return;
    sections[numPoles / 2] = {pole, complex_t{}, zero, complex_t{}};
    numPoles += 1;
  }
};

// H(z) = (b0 + b1 z^-1 + b2 z^-2) / (1 + a1 z^-1 + a2 z^-2). a0 is kept as given; the
// other five are stored divided by it.
struct BiquadStage {
  double a0 = 1.0;
  double a1 = 0.0;
  double a2 = 0.0;
  double b1 = 0.0;
  double b2 = 0.0;
  double b0 = 1.0;

  void setCoefficients(double na0, double na1, double na2, double nb0, double nb1, double nb2) {
    a0 = na0;
    a1 = na1 / na0;
    a2 = na2 / na0;
    b0 = nb0 / na0;
    b1 = nb1 / na0;
    b2 = nb2 / na0;
  }
};

// Complex response of `count` stages in cascade at f cycles per sample (0..0.5).
complex_t cascadeResponse(const BiquadStage* stages, int count, double normalisedFrequency);

// Fills stages[0 .. (section count)-1] from the sections and scales the first stage's
// numerator so that the cascade's gain at normalW is normalGain. Returns the stage count.
int stagesFromSections(const PoleZeroSection* sections, int numPoles, double normalW,
                       double normalGain, BiquadStage* stages, int maxStages);

// A cascade of second-order stages with room for MaxStages of them.
template <int MaxStages>
struct StageCascade {
  static constexpr int maxStages = MaxStages;

  int numStages = 0;
  BiquadStage stages[MaxStages] = {};

  template <int MaxPoles>
  void setLayout(const PoleZeroLayout<MaxPoles>& layout) {
    static_assert(PoleZeroLayout<MaxPoles>::maxSections <= MaxStages);
    numStages = stagesFromSections(layout.sections, layout.numPoles, layout.normalW,
                                   layout.normalGain, stages, MaxStages);
  }

  complex_t response(double normalisedFrequency) const {
    return cascadeResponse(stages, numStages, normalisedFrequency);
  }
};

}  // namespace Iir
