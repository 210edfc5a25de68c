// The parameter block that configures a filter and the description of one parameter
// (range, default, mappings between native and 0..1 control values, display text).
// Used on setup paths only; toString allocates.
#pragma once

#include <string>

namespace Iir {

// Parameter block: [0] sample rate (Hz), [1] order (truncated to an integer), [2] cutoff
// frequency (Hz); the remaining slots are ignored by the low-pass design.
struct FilterParams {
  static constexpr int kSize = 8;
  double values[kSize] = {};

  // Out-of-range indices read as 0 and write to a scratch slot, never outside the block.
  double& operator[](int index) { return (index >= 0 && index < kSize) ? values[index] : spare_; }
  double operator[](int index) const { return (index >= 0 && index < kSize) ? values[index] : 0.0; }
  bool operator==(const FilterParams& other) const;

 private:
  double spare_ = 0.0;
};

struct ParamDescription {
  enum class Mapping { Linear, Integer, Logarithmic };
  enum class TextFormat { Integer, Hertz };

  // There is no "empty" description: default construction throws std::logic_error
  // ("no such filter parameter"), which is how a request for an unknown index fails.
  ParamDescription();
  ParamDescription(int id, const char* label, const char* name, double minValue, double maxValue,
                   double defaultValue, Mapping mapping, TextFormat text);

  int id;
  const char* label;
  const char* name;
  double minValue;
  double maxValue;
  double defaultValue;
  Mapping mapping;
  TextFormat text;

  double toControlValue(double nativeValue) const;
  double toNativeValue(double controlValue) const;
  std::string toString(double nativeValue) const;
};

}  // namespace Iir
