// The AAX view of parameters: taper delegates (normalised 0..1 <-> real value), display
// delegates (value <-> text), the typed parameter object and the manager that keeps them
// in insertion order with a lookup by ID text.
//
// Threads: no locks. Host queries arrive on the host's main and automation threads; the
// render call reads only the master bypass value. Value updates, lookups and automation
// posts allocate nothing; the text functions allocate and are never called from a block.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "formats/aax/AaxProxies.h"
#include "framework/PluginParam.h"

namespace qd {

// ---------------------------------------------------------------- tapers

template <typename T>
class AAX_ITaperDelegate {
 public:
  virtual ~AAX_ITaperDelegate() = default;
  virtual T NormalizedToReal(double normalized) const = 0;
  virtual double RealToNormalized(T real) const = 0;
};

// real = min + (max - min) * n^shape, clamped; and back.
class AAX_CPluginTaperDelegate final : public AAX_ITaperDelegate<double> {
 public:
  AAX_CPluginTaperDelegate(double minValue, double maxValue, double shape);
  double NormalizedToReal(double normalized) const override;
  double RealToNormalized(double real) const override;

 private:
  double min_, max_, shape_;
};

// real = trunc((max - min) * n + min), clamped; normalised = (real - min) / (max - min).
class AAX_CLinearTaperDelegate final : public AAX_ITaperDelegate<int32_t> {
 public:
  AAX_CLinearTaperDelegate(int32_t minValue, int32_t maxValue) : min_(minValue), max_(maxValue) {}
  int32_t NormalizedToReal(double normalized) const override;
  double RealToNormalized(int32_t real) const override;

 private:
  int32_t min_, max_;
};

class AAX_CBinaryTaperDelegate final : public AAX_ITaperDelegate<bool> {
 public:
  bool NormalizedToReal(double normalized) const override { return normalized > 0.0; }
  double RealToNormalized(bool real) const override { return real ? 1.0 : 0.0; }
};

// ---------------------------------------------------------------- display

template <typename T>
class AAX_IDisplayDelegate {
 public:
  virtual ~AAX_IDisplayDelegate() = default;
  virtual bool ValueToString(T value, std::string* out) const = 0;
  // The text cut to at most maxLength characters.
  virtual bool ValueToString(T value, int32_t maxLength, std::string* out) const = 0;
  virtual bool StringToValue(const char* text, T* value) const = 0;
};

// Fixed notation with `precision` decimals (ints too: 3 shows as 3.00).
template <typename T>
class AAX_CNumberDisplayDelegate final : public AAX_IDisplayDelegate<T> {
 public:
  explicit AAX_CNumberDisplayDelegate(int precision = 2) : precision_(precision) {}
  bool ValueToString(T value, std::string* out) const override;
  bool ValueToString(T value, int32_t maxLength, std::string* out) const override;
  bool StringToValue(const char* text, T* value) const override;

 private:
  int precision_;
};

// The inner text followed directly by the unit.
template <typename T>
class AAX_CUnitDisplayDelegateDecorator final : public AAX_IDisplayDelegate<T> {
 public:
  AAX_CUnitDisplayDelegateDecorator(std::unique_ptr<AAX_IDisplayDelegate<T>> inner,
                                    const char* unit)
      : inner_(std::move(inner)), unit_(unit ? unit : "") {}
  bool ValueToString(T value, std::string* out) const override;
  bool ValueToString(T value, int32_t maxLength, std::string* out) const override;
  bool StringToValue(const char* text, T* value) const override;

 private:
  std::unique_ptr<AAX_IDisplayDelegate<T>> inner_;
  std::string unit_;
};

// The parameter's own display texts, one per integer value, read through the parameter (the
// texts its table row gives); a value without one shows "String Not Found". The parameter
// belongs to the plug-in, which outlives every parameter of the binding that reads it.
class AAX_CStringDisplayDelegate final : public AAX_IDisplayDelegate<int32_t> {
 public:
  explicit AAX_CStringDisplayDelegate(const PluginParam& param) : param_(param) {}
  bool ValueToString(int32_t value, std::string* out) const override;
  bool ValueToString(int32_t value, int32_t maxLength, std::string* out) const override;
  bool StringToValue(const char* text, int32_t* value) const override;

 private:
  const PluginParam& param_;
};

class AAX_CBinaryDisplayDelegate final : public AAX_IDisplayDelegate<bool> {
 public:
  AAX_CBinaryDisplayDelegate(const char* falseText, const char* trueText)
      : false_(falseText), true_(trueText) {}
  bool ValueToString(bool value, std::string* out) const override;
  bool ValueToString(bool value, int32_t maxLength, std::string* out) const override;
  bool StringToValue(const char* text, bool* value) const override;

 private:
  std::string false_, true_;
};

// ---------------------------------------------------------------- parameters

enum AaxParameterType : int32_t { kAaxDiscrete = 0, kAaxContinuous = 1 };

constexpr int kAaxIdSize = 32;  // IDs of at most 31 characters

class AAX_IParameter {
 public:
  virtual ~AAX_IParameter() = default;
  virtual const char* Identifier() const = 0;
  virtual const char* Name() const = 0;
  virtual bool Automatable() const = 0;
  virtual uint32_t NumberOfSteps() const = 0;
  virtual void SetNumberOfSteps(uint32_t steps) = 0;
  virtual int32_t Type() const = 0;
  virtual void SetType(int32_t type) = 0;
  virtual double NormalizedValue() const = 0;
  virtual double NormalizedDefault() const = 0;
  // Asks the host for a new value (touch, set-value request, release) through the
  // automation delegate; without one the value changes at once.
  virtual void SetNormalizedValue(double normalized) = 0;
  // The host's confirmed value. Stores it and posts the current value back unless this is
  // not the first update and the real value did not change.
  virtual void UpdateNormalizedValue(double normalized) = 0;
  virtual void Touch() = 0;
  virtual void Release() = 0;
  virtual bool ValueString(int32_t maxLength, std::string* out) const = 0;
  virtual bool StringFromNormalized(double normalized, int32_t maxLength,
                                    std::string* out) const = 0;
  virtual bool NormalizedFromString(const char* text, double* normalized) const = 0;
  virtual void SetAutomationDelegate(AAX_VAutomationDelegate* delegate) = 0;
};

template <typename T>
class AAX_CParameter final : public AAX_IParameter {
 public:
  AAX_CParameter(const char* id, const char* name, T defaultValue, bool automatable,
                 std::unique_ptr<AAX_ITaperDelegate<T>> taper,
                 std::unique_ptr<AAX_IDisplayDelegate<T>> display);

  const char* Identifier() const override { return id_; }
  const char* Name() const override { return name_.c_str(); }
  bool Automatable() const override { return automatable_; }
  uint32_t NumberOfSteps() const override;
  void SetNumberOfSteps(uint32_t steps) override {
    steps_ = steps;
    stepsSet_ = true;
  }
  int32_t Type() const override { return type_; }
  void SetType(int32_t type) override { type_ = type; }
  double NormalizedValue() const override { return taper_->RealToNormalized(value_); }
  double NormalizedDefault() const override { return taper_->RealToNormalized(default_); }
  void SetNormalizedValue(double normalized) override;
  void UpdateNormalizedValue(double normalized) override;
  void Touch() override;
  void Release() override;
  bool ValueString(int32_t maxLength, std::string* out) const override;
  bool StringFromNormalized(double normalized, int32_t maxLength, std::string* out) const override;
  bool NormalizedFromString(const char* text, double* normalized) const override;
  void SetAutomationDelegate(AAX_VAutomationDelegate* delegate) override { delegate_ = delegate; }

  T Value() const { return value_; }

 private:
  char id_[kAaxIdSize] = {};
  std::string name_;
  bool automatable_;
  uint32_t steps_ = 0;
  bool stepsSet_ = false;
  int32_t type_ = kAaxContinuous;
  std::unique_ptr<AAX_ITaperDelegate<T>> taper_;
  std::unique_ptr<AAX_IDisplayDelegate<T>> display_;
  AAX_VAutomationDelegate* delegate_ = nullptr;
  T value_;
  T default_;
  bool updated_ = false;
};

extern template class AAX_CParameter<bool>;
extern template class AAX_CParameter<int32_t>;
extern template class AAX_CParameter<double>;

// The parameters in insertion order, with a lookup by ID that allocates nothing.
class AAX_CParameterManager {
 public:
  // Takes ownership; a parameter whose ID is already present replaces nothing and is
  // dropped (returns null), so one ID always names one parameter.
  AAX_IParameter* Add(std::unique_ptr<AAX_IParameter> parameter);
  AAX_IParameter* Find(const char* id) const;  // null for null or unknown IDs
  int32_t Count() const { return static_cast<int32_t>(ordered_.size()); }
  void RemoveAll();
  void SetAutomationDelegate(AAX_VAutomationDelegate* delegate);

 private:
  std::vector<std::unique_ptr<AAX_IParameter>> ordered_;
  std::map<std::string, AAX_IParameter*, std::less<>> byId_;
};

}  // namespace qd
