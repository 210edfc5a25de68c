#include "dsp/filters/Params.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace Iir {

namespace {

constexpr double kLogBase = 1.5;

double logOfBase(double v) {
  return std::log(v) / std::log(kLogBase);
}

}  // namespace

bool FilterParams::operator==(const FilterParams& other) const {
  for (int i = 0; i < kSize; ++i) {
    if (values[i] != other.values[i]) return false;
  }
  return true;
}

ParamDescription::ParamDescription() {
  throw std::logic_error("no such filter parameter");
}

ParamDescription::ParamDescription(int id_, const char* label_, const char* name_, double minValue_,
                                   double maxValue_, double defaultValue_, Mapping mapping_,
                                   TextFormat text_)
    : id(id_),
      label(label_),
      name(name_),
      minValue(minValue_),
      maxValue(maxValue_),
      defaultValue(defaultValue_),
      mapping(mapping_),
      text(text_) {}

double ParamDescription::toControlValue(double v) const {
  if (mapping == Mapping::Logarithmic) {
    const double l0 = logOfBase(minValue);
    const double l1 = logOfBase(maxValue);
    return (logOfBase(v) - l0) / (l1 - l0);
  }
  return (v - minValue) / (maxValue - minValue);
}

double ParamDescription::toNativeValue(double c) const {
  switch (mapping) {
    case Mapping::Integer:
      return std::floor((maxValue - minValue) * c + minValue + 0.5);
    case Mapping::Logarithmic: {
      const double l0 = logOfBase(minValue);
      const double l1 = logOfBase(maxValue);
      return std::pow(kLogBase, (l1 - l0) * c + l0);
    }
    case Mapping::Linear:
      break;
  }
  return (maxValue - minValue) * c + minValue;
}

std::string ParamDescription::toString(double v) const {
  // "%.0f" of the truncated value prints any double (including inf and nan) without the
  // undefined behaviour of converting an out-of-range value to int.
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, text == TextFormat::Hertz ? "%.0f Hz" : "%.0f",
                std::trunc(v) + 0.0);
  return buffer;
}

}  // namespace Iir
