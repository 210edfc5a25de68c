// The effect-parameters object the host holds for each instance: the parameter manager,
// the controller, automation-delegate and transport proxies, the change counter, the field
// data of the render context, and every parameter query and update the host makes. A
// plug-in binding derives from it, creates its parameters in EffectInit and renders in
// RenderAudio.
//
// Threads: host queries and updates arrive on the host's main and automation threads;
// RenderAudio on its audio thread (see the derived class for the locking). The change
// counter is atomic; the parameter objects are not locked. No method lets an exception
// out: every entry the host calls is noexcept and answers a result code.
#pragma once

#include <atomic>
#include <memory>
#include <set>
#include <string>

#include "formats/aax/AaxParameters.h"
#include "formats/aax/AaxProxies.h"
#include "formats/aax/AcfObject.h"
#include "formats/aax/acf/AaxInterfaces.h"

namespace qd {

constexpr const char* kMasterBypassId = "MasterBypassID";

class AAX_CEffectParameters : public aax::IEffectParameters, public CACFUnknown {
 public:
  AAX_CEffectParameters();
  ~AAX_CEffectParameters() override;

  aax::Result QueryInterface(const aax::Uid& iid, void** out) noexcept override;
  uint32_t AddRef() noexcept override { return InternalAddRef(); }
  uint32_t Release() noexcept override { return InternalRelease(); }

  aax::Result Initialize(aax::IUnknown* controller) noexcept override;
  aax::Result Uninitialize() noexcept override;
  aax::Result NotificationReceived(uint32_t type, const void* data,
                                   uint32_t size) noexcept override;

  aax::Result GetNumberOfParameters(int32_t* count) noexcept override;
  aax::Result GetMasterBypassParameter(char* out, int32_t outSize) noexcept override;
  aax::Result GetParameterIsAutomatable(const char* id, bool* automatable) noexcept override;
  aax::Result GetParameterNumberOfSteps(const char* id, int32_t* steps) noexcept override;
  aax::Result GetParameterName(const char* id, char* out, int32_t outSize) noexcept override;
  aax::Result GetParameterDefaultNormalizedValue(const char* id, double* value) noexcept override;
  aax::Result GetParameterType(const char* id, int32_t* type) noexcept override;
  aax::Result GetParameterOrientation(const char* id, int32_t* orientation) noexcept override;
  aax::Result GetParameterValueString(const char* id, char* out, int32_t maxLength,
                                      int32_t outSize) noexcept override;
  aax::Result GetParameterStringFromValue(const char* id, double normalized, char* out,
                                          int32_t maxLength, int32_t outSize) noexcept override;
  aax::Result GetParameterValueFromString(const char* id, double* normalized,
                                          const char* text) noexcept override;
  aax::Result GetParameterNormalizedValue(const char* id, double* value) noexcept override;
  aax::Result SetParameterNormalizedValue(const char* id, double value) noexcept override;
  aax::Result SetParameterNormalizedRelative(const char* id, double delta) noexcept override;
  aax::Result TouchParameter(const char* id) noexcept override;
  aax::Result ReleaseParameter(const char* id) noexcept override;
  aax::Result UpdateParameterTouch(const char*, bool) noexcept override { return aax::kSuccess; }
  aax::Result UpdateParameterNormalizedValue(const char* id, double value,
                                             int32_t source) noexcept override;

  aax::Result GetNumberOfChanges(int32_t* changes) noexcept override;
  aax::Result ResetFieldData(int32_t field, void* data, uint32_t size) noexcept override;
  aax::Result TimerWakeup() noexcept override { return aax::kSuccess; }
  aax::Result SetCustomData(const void*, uint32_t) noexcept override { return aax::kSuccess; }
  aax::Result DoMidiTransfers() noexcept override { return aax::kSuccess; }
  aax::Result UpdateControlMidiNodes() noexcept override { return aax::kSuccess; }
  aax::Result RenderAudioHybrid(void*) noexcept override { return aax::kSuccess; }

  // One render call for this instance (audio thread); context is the host's array of
  // aax::kContextFieldCount slots. The base renders nothing.
  virtual void RenderAudio(void* const* context) noexcept;

  // The instance behind a render context: field 8 points at the 8 bytes of private data
  // that ResetFieldData filled with the object's address. Null when there is none.
  static AAX_CEffectParameters* FromContext(void* const* context);

  AAX_CParameterManager& Parameters() { return parameters_; }
  bool IsExcludedFromComparison(const char* id) const;

 protected:
  // Creates the plug-in's parameters once the proxies exist; a nonzero result is returned
  // by Initialize.
  virtual aax::Result EffectInit() { return aax::kSuccess; }
  // After the host confirmed a value for a parameter of the manager.
  virtual void ParameterUpdated(const char* /*id*/, double /*normalized*/) {}
  // Drops per-instance host state at Uninitialize, before the proxies go.
  virtual void EffectUninit() {}

  // Creates the master-bypass parameter and adds it to the manager.
  AAX_CParameter<bool>* AddMasterBypassParameter();
  // Whether the host has the instance bypassed (false before Initialize and after
  // Uninitialize).
  bool MasterBypassed() const { return masterBypass_ && masterBypass_->Value(); }
  void AddChange() { changes_.fetch_add(1); }

  AAX_VController* Controller() const { return controller_.get(); }
  AAX_VAutomationDelegate* Automation() const { return automation_.get(); }
  AAX_VTransport* ControllerTransport() const { return transport_.get(); }

 private:
  std::unique_ptr<AAX_VController> controller_;
  std::unique_ptr<AAX_VAutomationDelegate> automation_;
  std::unique_ptr<AAX_VTransport> transport_;
  AAX_CParameterManager parameters_;
  std::set<std::string, std::less<>> excludedFromComparison_;
  AAX_CParameter<bool>* masterBypass_ = nullptr;
  // Wraps on overflow (atomic arithmetic is modular); a negative count is not reported.
  std::atomic<int32_t> changes_{0};
};

// Copies text into out (outSize bytes, terminated); nothing for a null or empty buffer.
void WriteText(char* out, int32_t outSize, const char* text);

}  // namespace qd
