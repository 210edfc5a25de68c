#include "framework/PluginParam.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "framework/Text.h"

namespace qd {

void PluginParam::DefineDouble(const char* name, double defaultValue, double minValue,
                               double maxValue, double step, const char* label,
                               const char* group, double shape) {
  if (kind_ == kParamUnset) kind_ = kParamDouble;
  CopyText(name_, name);
  CopyText(label_, label);
  CopyText(group_, group);
  minValue_ = minValue;
  value_ = defaultValue;
  step_ = step;
  defaultValue_ = defaultValue;
  displayPrecision_ = 0;
  maxValue_ = std::max(minValue + step, maxValue);
  double s = step;
  while (std::isfinite(s) && s != std::floor(s)) {
    ++displayPrecision_;
    s *= 10.0;
    if (displayPrecision_ >= 6) break;
  }
  if (shape != 0.0) shape_ = shape;
}

void PluginParam::DefineBool(const char* name, bool defaultValue, const char* label,
                             const char* group) {
  if (kind_ == kParamUnset) kind_ = kParamBool;
  DefineDouble(name, defaultValue ? 1.0 : 0.0, 0.0, 1.0, 0.1, label, group, 1.0);
  AddDisplayText(0, "off");
  AddDisplayText(1, "on");
}

void PluginParam::DefineEnum(const char* name, int defaultIndex, int count, const char* label,
                             const char* group) {
  if (kind_ == kParamUnset) kind_ = kParamEnum;
  DefineDouble(name, defaultIndex, 0.0, count - 1.0, 0.1, label, group, 1.0);
}

void PluginParam::AddDisplayText(int value, const char* text) {
  DisplayText entry{};
  entry.value = value;
  CopyText(entry.text, text);
  displayTexts_.push_back(entry);
}

void PluginParam::SetCurveShape(double shape) {
  if (shape != 0.0) shape_ = shape;
}

void PluginParam::SetFromNormalized(double normalized) {
  if (std::isnan(normalized)) return;
  const double n = std::clamp(normalized, 0.0, 1.0);
  double v = std::pow(n, shape_) * (maxValue_ - minValue_) + minValue_;
  if (kind_ != kParamDouble) {
    v = std::floor(v / step_ + 0.5) * step_;
  } else if (step_ == 1.0) {
    v = std::round(v);  // halves away from zero
  }
  v = std::min(v, maxValue_);
  if (std::isfinite(v)) value_ = v;
}

double PluginParam::ToNormalized(double v) const {
  if (std::isnan(v)) return 0.0;
  const double range = maxValue_ - minValue_;
  if (!(range > 0.0)) return 0.0;
  const double c = v < minValue_ ? minValue_ : std::min(v, maxValue_);
  const double r = std::pow((c - minValue_) / range, 1.0 / shape_);
  if (std::isnan(r)) return 0.0;
  return std::clamp(r, 0.0, 1.0);
}

void PluginParam::FormatForHost(double v, bool isNormalized, char* out,
                                bool useDisplayTexts) const {
  if (!out) return;
  if (isNormalized) v = std::pow(v, shape_) * (maxValue_ - minValue_) + minValue_;
  if (useDisplayTexts && !displayTexts_.empty() && !std::isnan(v)) {
    const char* text = DisplayTextFor(TruncateToInt(v));
    if (text[0] != '\0') {
      CopyText(out, kParamTextSize, text);
      return;
    }
  }
  if (negateDisplay_) v = -v;
  if (displayPrecision_ == 0) {
    std::snprintf(out, kParamTextSize, "%d", static_cast<int>(TruncateToInt(v)));
  } else {
    std::snprintf(out, kParamTextSize, "%.*f", static_cast<int>(displayPrecision_), v);
  }
}

const char* PluginParam::DisplayTextFor(int value) const {
  for (const DisplayText& entry : displayTexts_) {
    if (entry.value == value) return entry.text;
  }
  return "";
}

const char* PluginParam::LabelForHost() const {
  if (DisplayTextFor(TruncateToInt(value_))[0] != '\0') return "";
  return label_;
}

bool PluginParam::LookupDisplayText(const char* text, int* out) const {
  if (!text) return false;
  for (const DisplayText& entry : displayTexts_) {
    if (std::strcmp(entry.text, text) == 0) {
      if (out) *out = entry.value;
      return true;
    }
  }
  return false;
}

bool PluginParam::ParseText(const char* text, double* value, NumberRule rule) const {
  if (!text || !value) return false;
  if (!displayTexts_.empty()) {
    int matched = 0;
    if (!LookupDisplayText(text, &matched)) return false;
    *value = matched;
    return true;
  }
  double v = 0.0;
  if (!ParseNumberText(text, &v, rule)) return false;
  *value = negateDisplay_ ? -v : v;
  return true;
}

void PluginParam::SetClamped(double v) {
  if (std::isnan(v)) return;
  value_ = v < minValue_ ? minValue_ : std::min(v, maxValue_);
}

}  // namespace qd
