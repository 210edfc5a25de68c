#include "framework/FormatPolicies.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "framework/Text.h"

namespace qd::aax_policy {

namespace {

// A normalised value from the host: NaN reads as 0, the rest is clamped to 0..1.
double SaneNormalized(double n) {
  return std::isnan(n) ? 0.0 : std::clamp(n, 0.0, 1.0);
}

}  // namespace

double SaneShape(double shape) {
  return shape > 0.0 && std::isfinite(shape) ? shape : 1.0;
}

double CurveToReal(double minValue, double maxValue, double shape, double normalized) {
  const double n = SaneNormalized(normalized);
  const double lo = std::min(minValue, maxValue), hi = std::max(minValue, maxValue);
  return std::clamp(minValue + (maxValue - minValue) * std::pow(n, SaneShape(shape)), lo, hi);
}

double CurveToNormalized(double minValue, double maxValue, double shape, double real) {
  if (!(maxValue > minValue)) return 0.0;  // an empty range has one value, at 0
  if (std::isnan(real)) return 0.0;
  const double r = std::clamp(real, minValue, maxValue);
  return std::clamp(std::pow((r - minValue) / (maxValue - minValue), 1.0 / SaneShape(shape)), 0.0,
                    1.0);
}

int32_t SteppedToReal(int32_t minValue, int32_t maxValue, double normalized) {
  const double n = SaneNormalized(normalized);
  const int32_t v = TruncateToInt((static_cast<double>(maxValue) - minValue) * n + minValue);
  return std::clamp(v, std::min(minValue, maxValue), std::max(minValue, maxValue));
}

double SteppedToNormalized(int32_t minValue, int32_t maxValue, int32_t real) {
  if (maxValue <= minValue) return 0.0;
  const int32_t r = std::clamp(real, minValue, maxValue);
  return (static_cast<double>(r) - minValue) / (static_cast<double>(maxValue) - minValue);
}

void CutText(std::string* text, int32_t maxLength) {
  if (maxLength < 0) maxLength = 0;
  if (text->size() > static_cast<size_t>(maxLength)) text->resize(static_cast<size_t>(maxLength));
}

std::string NumberText(double value, int precision, int32_t maxLength) {
  char buffer[64];
  std::snprintf(buffer, sizeof(buffer), "%.*f", precision, value);
  std::string text = buffer;
  if (maxLength >= 0) {
    CutText(&text, maxLength);
    if (!text.empty() && text.back() == '.') text.pop_back();
  }
  return text;
}

void AppendUnit(std::string* text, const std::string& unit, int32_t maxLength) {
  if (maxLength < 0 || text->size() + unit.size() <= static_cast<size_t>(maxLength)) {
    *text += unit;
  }
}

}  // namespace qd::aax_policy
