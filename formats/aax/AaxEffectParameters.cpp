#include "formats/aax/AaxEffectParameters.h"

#include <cmath>
#include <cstring>

#include "framework/Text.h"

namespace qd {

void WriteText(char* out, int32_t outSize, const char* text) {
  if (!out || outSize <= 0) return;
  CopyText(out, static_cast<size_t>(outSize), text);
}

namespace {

// Runs fn on the parameter with the given ID, or answers kErrorInvalidParameterId.
template <typename Fn>
aax::Result WithParameter(const AAX_CParameterManager& m, const char* id, Fn&& fn) {
  AAX_IParameter* p = m.Find(id);
  if (!p) return aax::kErrorInvalidParameterId;
  return fn(p);
}

}  // namespace

AAX_CEffectParameters::AAX_CEffectParameters() = default;

AAX_CEffectParameters::~AAX_CEffectParameters() {
  parameters_.RemoveAll();
}

aax::Result AAX_CEffectParameters::QueryInterface(const aax::Uid& iid, void** out) noexcept {
  if (!out) return aax::kAcfPointer;
  *out = nullptr;
  if (iid == aax::kIidUnknown || iid == aax::kIidEffectParameters) {
    *out = static_cast<aax::IEffectParameters*>(this);
    AddRef();
    return aax::kSuccess;
  }
  return aax::kAcfNoInterface;
}

aax::Result AAX_CEffectParameters::Initialize(aax::IUnknown* controller) noexcept {
  try {
    // A second Initialize starts over: the parameters are made again for the new proxies.
    parameters_.RemoveAll();
    masterBypass_ = nullptr;
    controller_ = std::make_unique<AAX_VController>(controller);
    automation_ = std::make_unique<AAX_VAutomationDelegate>(controller);
    transport_ = std::make_unique<AAX_VTransport>(controller);
    const aax::Result result = EffectInit();
    parameters_.SetAutomationDelegate(automation_.get());
    excludedFromComparison_.insert(kMasterBypassId);
    return result;
  } catch (...) {
    return aax::kAcfUnexpected;
  }
}

aax::Result AAX_CEffectParameters::Uninitialize() noexcept {
  EffectUninit();
  masterBypass_ = nullptr;
  parameters_.RemoveAll();
  controller_.reset();
  automation_.reset();
  transport_.reset();
  return aax::kSuccess;
}

aax::Result AAX_CEffectParameters::NotificationReceived(uint32_t type, const void* data,
                                                        uint32_t size) noexcept {
  // A preview notification carries one 32-bit flag for a "PreviewID" parameter, when the
  // plug-in has one.
  if (type == aax::kNotificationPreview && data && size >= sizeof(int32_t)) {
    if (AAX_IParameter* p = parameters_.Find("PreviewID")) {
      int32_t on = 0;
      std::memcpy(&on, data, sizeof(on));
      p->SetNormalizedValue(on ? 1.0 : 0.0);
    }
  }
  return aax::kSuccess;
}

aax::Result AAX_CEffectParameters::GetNumberOfParameters(int32_t* count) noexcept {
  if (!count) return aax::kErrorNullObject;
  *count = parameters_.Count();
  return aax::kSuccess;
}

aax::Result AAX_CEffectParameters::GetMasterBypassParameter(char* out, int32_t outSize) noexcept {
  WriteText(out, outSize, parameters_.Find(kMasterBypassId) ? kMasterBypassId : "");
  return aax::kSuccess;
}

aax::Result AAX_CEffectParameters::GetParameterIsAutomatable(const char* id,
                                                             bool* automatable) noexcept {
  return WithParameter(parameters_, id, [&](AAX_IParameter* p) {
    if (automatable) *automatable = p->Automatable();
    return aax::kSuccess;
  });
}

aax::Result AAX_CEffectParameters::GetParameterNumberOfSteps(const char* id,
                                                             int32_t* steps) noexcept {
  return WithParameter(parameters_, id, [&](AAX_IParameter* p) {
    if (steps) *steps = static_cast<int32_t>(p->NumberOfSteps());
    return aax::kSuccess;
  });
}

aax::Result AAX_CEffectParameters::GetParameterName(const char* id, char* out,
                                                    int32_t outSize) noexcept {
  return WithParameter(parameters_, id, [&](AAX_IParameter* p) {
    WriteText(out, outSize, p->Name());
    return aax::kSuccess;
  });
}

aax::Result AAX_CEffectParameters::GetParameterDefaultNormalizedValue(const char* id,
                                                                      double* value) noexcept {
  return WithParameter(parameters_, id, [&](AAX_IParameter* p) {
    if (value) *value = p->NormalizedDefault();
    return aax::kSuccess;
  });
}

aax::Result AAX_CEffectParameters::GetParameterType(const char* id, int32_t* type) noexcept {
  return WithParameter(parameters_, id, [&](AAX_IParameter* p) {
    if (type) *type = p->Type();
    return aax::kSuccess;
  });
}

aax::Result AAX_CEffectParameters::GetParameterOrientation(const char* id,
                                                           int32_t* orientation) noexcept {
  return WithParameter(parameters_, id, [&](AAX_IParameter*) {
    if (orientation) *orientation = 0;
    return aax::kSuccess;
  });
}

aax::Result AAX_CEffectParameters::GetParameterValueString(const char* id, char* out,
                                                           int32_t maxLength,
                                                           int32_t outSize) noexcept {
  try {
    return WithParameter(parameters_, id, [&](AAX_IParameter* p) {
      std::string text;
      p->ValueString(maxLength, &text);
      WriteText(out, outSize, text.c_str());
      return aax::kSuccess;
    });
  } catch (...) {
    return aax::kAcfUnexpected;
  }
}

aax::Result AAX_CEffectParameters::GetParameterStringFromValue(const char* id, double normalized,
                                                               char* out, int32_t maxLength,
                                                               int32_t outSize) noexcept {
  try {
    return WithParameter(parameters_, id, [&](AAX_IParameter* p) {
      std::string text;
      p->StringFromNormalized(normalized, maxLength, &text);
      WriteText(out, outSize, text.c_str());
      return aax::kSuccess;
    });
  } catch (...) {
    return aax::kAcfUnexpected;
  }
}

aax::Result AAX_CEffectParameters::GetParameterValueFromString(const char* id, double* normalized,
                                                               const char* text) noexcept {
  return WithParameter(parameters_, id, [&](AAX_IParameter* p) {
    double n = 0.0;
    if (!p->NormalizedFromString(text, &n)) return aax::kErrorInvalidParameterId;
    if (normalized) *normalized = n;
    return aax::kSuccess;
  });
}

aax::Result AAX_CEffectParameters::GetParameterNormalizedValue(const char* id,
                                                               double* value) noexcept {
  return WithParameter(parameters_, id, [&](AAX_IParameter* p) {
    if (value) *value = p->NormalizedValue();
    return aax::kSuccess;
  });
}

aax::Result AAX_CEffectParameters::SetParameterNormalizedValue(const char* id,
                                                               double value) noexcept {
  return WithParameter(parameters_, id, [&](AAX_IParameter* p) {
    p->SetNormalizedValue(value);
    return aax::kSuccess;
  });
}

aax::Result AAX_CEffectParameters::SetParameterNormalizedRelative(const char* id,
                                                                  double delta) noexcept {
  AAX_IParameter* p = parameters_.Find(id);
  if (!p) return aax::kErrorInvalidParameterId;
  const double next = p->NormalizedValue() + (std::isnan(delta) ? 0.0 : delta);
  return SetParameterNormalizedValue(id, next < 0.0 ? 0.0 : (next > 1.0 ? 1.0 : next));
}

aax::Result AAX_CEffectParameters::TouchParameter(const char* id) noexcept {
  return WithParameter(parameters_, id, [&](AAX_IParameter* p) {
    p->Touch();
    return aax::kSuccess;
  });
}

aax::Result AAX_CEffectParameters::ReleaseParameter(const char* id) noexcept {
  return WithParameter(parameters_, id, [&](AAX_IParameter* p) {
    p->Release();
    return aax::kSuccess;
  });
}

aax::Result AAX_CEffectParameters::UpdateParameterNormalizedValue(const char* id, double value,
                                                                  int32_t) noexcept {
  AAX_IParameter* p = parameters_.Find(id);
  if (!p) return aax::kErrorInvalidParameterId;
  // A NaN carries no value: nothing changes and nothing is counted.
  if (std::isnan(value)) return aax::kSuccess;
  p->UpdateNormalizedValue(value);
  ParameterUpdated(p->Identifier(), value);
  AddChange();
  return aax::kSuccess;
}

aax::Result AAX_CEffectParameters::GetNumberOfChanges(int32_t* changes) noexcept {
  const int32_t n = changes_.load();
  if (changes && n >= 0) *changes = n;
  return aax::kSuccess;
}

aax::Result AAX_CEffectParameters::ResetFieldData(int32_t field, void* data,
                                                  uint32_t size) noexcept {
  if (!data) return aax::kErrorNullObject;
  AAX_CEffectParameters* self = this;
  if (field == aax::kFieldPrivateData && size >= sizeof(self)) {
    std::memset(data, 0, size);
    std::memcpy(data, &self, sizeof(self));
  } else {
    std::memset(data, 0, size);
  }
  return aax::kSuccess;
}

void AAX_CEffectParameters::RenderAudio(void* const*) noexcept {}

AAX_CEffectParameters* AAX_CEffectParameters::FromContext(void* const* context) {
  if (!context) return nullptr;
  const void* privateData = context[aax::kFieldPrivateData];
  if (!privateData) return nullptr;
  AAX_CEffectParameters* self = nullptr;
  std::memcpy(&self, privateData, sizeof(self));
  return self;
}

bool AAX_CEffectParameters::IsExcludedFromComparison(const char* id) const {
  return id && excludedFromComparison_.count(std::string_view(id)) > 0;
}

AAX_CParameter<bool>* AAX_CEffectParameters::AddMasterBypassParameter() {
  auto bypass = std::make_unique<AAX_CParameter<bool>>(
      kMasterBypassId, "Master Bypass", false, true, std::make_unique<AAX_CBinaryTaperDelegate>(),
      std::make_unique<AAX_CBinaryDisplayDelegate>("bypass", "on"));
  bypass->SetNumberOfSteps(2);
  bypass->SetType(kAaxDiscrete);
  AAX_CParameter<bool>* p = bypass.get();
  if (!parameters_.Add(std::move(bypass))) return nullptr;
  masterBypass_ = p;
  return p;
}

}  // namespace qd
