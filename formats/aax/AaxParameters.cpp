#include "formats/aax/AaxParameters.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "framework/Text.h"

namespace qd {

namespace {

// A normalised value from the host: NaN reads as 0, the rest is clamped to 0..1.
double SaneNormalized(double n) {
  return std::isnan(n) ? 0.0 : std::clamp(n, 0.0, 1.0);
}

void CutTo(std::string* text, int32_t maxLength) {
  if (maxLength < 0) maxLength = 0;
  if (text->size() > static_cast<size_t>(maxLength)) text->resize(static_cast<size_t>(maxLength));
}

}  // namespace

// ---------------------------------------------------------------- tapers

AAX_CPluginTaperDelegate::AAX_CPluginTaperDelegate(double minValue, double maxValue, double shape)
    : min_(minValue), max_(maxValue), shape_(shape > 0.0 && std::isfinite(shape) ? shape : 1.0) {}

double AAX_CPluginTaperDelegate::NormalizedToReal(double normalized) const {
  const double n = SaneNormalized(normalized);
  const double lo = std::min(min_, max_), hi = std::max(min_, max_);
  return std::clamp(min_ + (max_ - min_) * std::pow(n, shape_), lo, hi);
}

double AAX_CPluginTaperDelegate::RealToNormalized(double real) const {
  if (!(max_ > min_)) return 0.0;  // an empty range has one value, at 0
  if (std::isnan(real)) return 0.0;
  const double r = std::clamp(real, min_, max_);
  return std::clamp(std::pow((r - min_) / (max_ - min_), 1.0 / shape_), 0.0, 1.0);
}

int32_t AAX_CLinearTaperDelegate::NormalizedToReal(double normalized) const {
  const double n = SaneNormalized(normalized);
  const int32_t v = TruncateToInt((static_cast<double>(max_) - min_) * n + min_);
  return std::clamp(v, std::min(min_, max_), std::max(min_, max_));
}

double AAX_CLinearTaperDelegate::RealToNormalized(int32_t real) const {
  if (max_ <= min_) return 0.0;
  const int32_t r = std::clamp(real, min_, max_);
  return (static_cast<double>(r) - min_) / (static_cast<double>(max_) - min_);
}

// ---------------------------------------------------------------- display

template <typename T>
bool AAX_CNumberDisplayDelegate<T>::ValueToString(T value, std::string* out) const {
  char text[64];
  std::snprintf(text, sizeof(text), "%.*f", precision_, static_cast<double>(value));
  *out = text;
  return true;
}

template <typename T>
bool AAX_CNumberDisplayDelegate<T>::ValueToString(T value, int32_t maxLength,
                                                  std::string* out) const {
  ValueToString(value, out);
  CutTo(out, maxLength);
  if (!out->empty() && out->back() == '.') out->pop_back();
  return true;
}

template <typename T>
bool AAX_CNumberDisplayDelegate<T>::StringToValue(const char* text, T* value) const {
  if (!text) return false;
  char* end = nullptr;
  const double v = std::strtod(text, &end);
  if (end == text || !std::isfinite(v)) return false;
  if constexpr (std::is_same_v<T, double>) {
    *value = v;
  } else {
    *value = static_cast<T>(TruncateToInt(v));
  }
  return true;
}

template <typename T>
bool AAX_CUnitDisplayDelegateDecorator<T>::ValueToString(T value, std::string* out) const {
  const bool ok = inner_->ValueToString(value, out);
  *out += unit_;
  return ok;
}

template <typename T>
bool AAX_CUnitDisplayDelegateDecorator<T>::ValueToString(T value, int32_t maxLength,
                                                         std::string* out) const {
  const bool ok = inner_->ValueToString(value, maxLength, out);
  if (out->size() + unit_.size() <= static_cast<size_t>(std::max(0, maxLength))) *out += unit_;
  return ok;
}

template <typename T>
bool AAX_CUnitDisplayDelegateDecorator<T>::StringToValue(const char* text, T* value) const {
  return inner_->StringToValue(text, value);
}

template class AAX_CNumberDisplayDelegate<double>;
template class AAX_CNumberDisplayDelegate<int32_t>;
template class AAX_CUnitDisplayDelegateDecorator<double>;
template class AAX_CUnitDisplayDelegateDecorator<int32_t>;

bool AAX_CStringDisplayDelegate::ValueToString(int32_t value, std::string* out) const {
  const auto it = texts_.find(value);
  if (it == texts_.end()) {
    *out = "String Not Found";
    return false;
  }
  *out = it->second;
  return true;
}

bool AAX_CStringDisplayDelegate::ValueToString(int32_t value, int32_t maxLength,
                                               std::string* out) const {
  const bool ok = ValueToString(value, out);
  CutTo(out, maxLength);
  return ok;
}

bool AAX_CStringDisplayDelegate::StringToValue(const char* text, int32_t* value) const {
  if (!text) return false;
  for (const auto& [v, t] : texts_) {
    if (t == text) {
      *value = v;
      return true;
    }
  }
  return false;
}

bool AAX_CBinaryDisplayDelegate::ValueToString(bool value, std::string* out) const {
  *out = value ? true_ : false_;
  return true;
}

bool AAX_CBinaryDisplayDelegate::ValueToString(bool value, int32_t maxLength,
                                               std::string* out) const {
  ValueToString(value, out);
  CutTo(out, maxLength);
  return true;
}

bool AAX_CBinaryDisplayDelegate::StringToValue(const char* text, bool* value) const {
  if (!text) return false;
  if (false_ == text || true_ == text) {
    *value = true_ == text;
    return true;
  }
  return false;
}

// ---------------------------------------------------------------- parameters

template <typename T>
AAX_CParameter<T>::AAX_CParameter(const char* id, const char* name, T defaultValue,
                                  bool automatable, std::unique_ptr<AAX_ITaperDelegate<T>> taper,
                                  std::unique_ptr<AAX_IDisplayDelegate<T>> display)
    : name_(name ? name : ""),
      automatable_(automatable),
      taper_(std::move(taper)),
      display_(std::move(display)),
      value_(defaultValue),
      default_(defaultValue) {
  CopyText(id_, id);
}

template <typename T>
uint32_t AAX_CParameter<T>::NumberOfSteps() const {
  if (stepsSet_) return steps_;
  return type_ == kAaxDiscrete ? 2u : 128u;
}

template <typename T>
void AAX_CParameter<T>::SetNormalizedValue(double normalized) {
  const T real = taper_->NormalizedToReal(normalized);
  if (delegate_ && delegate_->Interface()) {
    delegate_->PostTouchRequest(id_);
    delegate_->PostSetValueRequest(id_, taper_->RealToNormalized(real));
    delegate_->PostReleaseRequest(id_);
  } else {
    value_ = real;
  }
}

template <typename T>
void AAX_CParameter<T>::UpdateNormalizedValue(double normalized) {
  const T real = taper_->NormalizedToReal(normalized);
  if (updated_ && real == value_) return;
  updated_ = true;
  value_ = real;
  if (delegate_) delegate_->PostCurrentValue(id_, taper_->RealToNormalized(value_));
}

template <typename T>
void AAX_CParameter<T>::Touch() {
  if (delegate_) delegate_->PostTouchRequest(id_);
}

template <typename T>
void AAX_CParameter<T>::Release() {
  if (delegate_) delegate_->PostReleaseRequest(id_);
}

template <typename T>
bool AAX_CParameter<T>::ValueString(int32_t maxLength, std::string* out) const {
  return display_->ValueToString(value_, maxLength, out);
}

template <typename T>
bool AAX_CParameter<T>::StringFromNormalized(double normalized, int32_t maxLength,
                                             std::string* out) const {
  return display_->ValueToString(taper_->NormalizedToReal(normalized), maxLength, out);
}

template <typename T>
bool AAX_CParameter<T>::NormalizedFromString(const char* text, double* normalized) const {
  T value{};
  if (!display_->StringToValue(text, &value)) return false;
  *normalized = taper_->RealToNormalized(value);
  return true;
}

template class AAX_CParameter<bool>;
template class AAX_CParameter<int32_t>;
template class AAX_CParameter<double>;

AAX_IParameter* AAX_CParameterManager::Add(std::unique_ptr<AAX_IParameter> parameter) {
  if (!parameter || Find(parameter->Identifier())) return nullptr;
  AAX_IParameter* p = parameter.get();
  byId_.emplace(p->Identifier(), p);
  ordered_.push_back(std::move(parameter));
  return p;
}

AAX_IParameter* AAX_CParameterManager::Find(const char* id) const {
  if (!id) return nullptr;
  const auto it = byId_.find(std::string_view(id, strnlen(id, kAaxIdSize)));
  return it == byId_.end() ? nullptr : it->second;
}

void AAX_CParameterManager::RemoveAll() {
  byId_.clear();
  ordered_.clear();
}

void AAX_CParameterManager::SetAutomationDelegate(AAX_VAutomationDelegate* delegate) {
  for (auto& p : ordered_) p->SetAutomationDelegate(delegate);
}

}  // namespace qd
