#include "formats/aax/AaxParameters.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "framework/FormatPolicies.h"
#include "framework/Text.h"

namespace qd {

using namespace aax_policy;

// ---------------------------------------------------------------- tapers

AAX_CPluginTaperDelegate::AAX_CPluginTaperDelegate(double minValue, double maxValue, double shape)
    : min_(minValue), max_(maxValue), shape_(SaneShape(shape)) {}

double AAX_CPluginTaperDelegate::NormalizedToReal(double normalized) const {
  return CurveToReal(min_, max_, shape_, normalized);
}

double AAX_CPluginTaperDelegate::RealToNormalized(double real) const {
  return CurveToNormalized(min_, max_, shape_, real);
}

int32_t AAX_CLinearTaperDelegate::NormalizedToReal(double normalized) const {
  return SteppedToReal(min_, max_, normalized);
}

double AAX_CLinearTaperDelegate::RealToNormalized(int32_t real) const {
  return SteppedToNormalized(min_, max_, real);
}

// ---------------------------------------------------------------- display

template <typename T>
bool AAX_CNumberDisplayDelegate<T>::ValueToString(T value, std::string* out) const {
  *out = NumberText(static_cast<double>(value), precision_);
  return true;
}

template <typename T>
bool AAX_CNumberDisplayDelegate<T>::ValueToString(T value, int32_t maxLength,
                                                  std::string* out) const {
  *out = NumberText(static_cast<double>(value), precision_, std::max(0, maxLength));
  return true;
}

template <typename T>
bool AAX_CNumberDisplayDelegate<T>::StringToValue(const char* text, T* value) const {
  double v = 0.0;
  if (!ParseNumberText(text, &v)) return false;
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
  AppendUnit(out, unit_);
  return ok;
}

template <typename T>
bool AAX_CUnitDisplayDelegateDecorator<T>::ValueToString(T value, int32_t maxLength,
                                                         std::string* out) const {
  const bool ok = inner_->ValueToString(value, maxLength, out);
  AppendUnit(out, unit_, std::max(0, maxLength));
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
  const char* text = param_.DisplayTextFor(value);
  if (text[0] == '\0') {
    *out = "String Not Found";
    return false;
  }
  *out = text;
  return true;
}

bool AAX_CStringDisplayDelegate::ValueToString(int32_t value, int32_t maxLength,
                                               std::string* out) const {
  const bool ok = ValueToString(value, out);
  CutText(out, maxLength);
  return ok;
}

bool AAX_CStringDisplayDelegate::StringToValue(const char* text, int32_t* value) const {
  int matched = 0;
  if (!param_.LookupDisplayText(text, &matched)) return false;
  *value = matched;
  return true;
}

bool AAX_CBinaryDisplayDelegate::ValueToString(bool value, std::string* out) const {
  *out = value ? true_ : false_;
  return true;
}

bool AAX_CBinaryDisplayDelegate::ValueToString(bool value, int32_t maxLength,
                                               std::string* out) const {
  ValueToString(value, out);
  CutText(out, maxLength);
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
