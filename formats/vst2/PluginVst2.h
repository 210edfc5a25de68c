// The VST2 binding: one instance per host instance of the plug-in. It owns the plug-in
// object and the AEffect record the host holds, answers the host's dispatcher, parameter
// and processing calls by forwarding them to the plug-in base, and carries the base's
// requests to the host (time information, automation gestures, MIDI) through the host's
// callback.
//
// Threads: the host calls the entries on its audio thread (processing) and on its user-
// interface or worker threads (everything else); every entry holds the plug-in's recursive
// mutex for its whole duration. No entry lets an exception or an out-of-range index reach
// the host: each answers with the safe value (0) instead. Processing allocates nothing.
#pragma once

#include <cstdint>
#include <memory>

#include "formats/vst2/Vst2Abi.h"
#include "framework/ChunkBuffer.h"
#include "framework/HostServices.h"
#include "framework/PluginBase.h"

namespace qd {

class PluginVst2 final : public HostServices {
 public:
  // Takes ownership of the plug-in, registers itself as its host services, fills the
  // AEffect, connects every channel and sizes the scratch buffers for 1024 frames.
  // The host callback may be null (then every request to the host answers "nothing").
  PluginVst2(vst2::HostCallback hostCallback, std::unique_ptr<PluginBase> plugin);
  ~PluginVst2();
  PluginVst2(const PluginVst2&) = delete;
  PluginVst2& operator=(const PluginVst2&) = delete;

  // What the entry point does after creating the instance: fills the presets still empty
  // and makes the AEffect announce at least one program.
  void FinishCreation();

  vst2::AEffect* Effect() { return &effect_; }
  PluginBase& Plugin() { return *plugin_; }
  int32_t HostExtensionFlags() const { return hostExtensionFlags_; }
  const vst2::ERect& EditRect() const { return editRect_; }

  // The binding behind an AEffect the host passes back; null for a null record or one
  // whose object was never set.
  static PluginVst2* FromEffect(vst2::AEffect* effect);

  // ---- host services (called by the plug-in base, mutex held) ----
  void BeginParamEdit(int index) override;
  void ReportParamChange(int index, double normalized) override;
  void EndParamEdit(int index) override;
  void ReportPresetChange() override;
  bool HostIsOffline() override;
  int64_t HostSamplePosition() override;
  double HostTempo() override;
  void HostTimeSignature(int* num, int* den) override;
  void HostTransport(TransportInfo* info) override;
  bool QueryHost() override;
  void ResizeEditor(int width, int height) override;
  bool SendMidiToHost(const ShortMidiEvent& event) override;
  bool SendSysExToHost(const SysExEvent& event) override;
  void EditorAttached(PluginEditor* editor) override;
  void LatencyChanged(int samples) override;

 private:
  // The C entry points placed in the AEffect; each catches every exception.
  static intptr_t DispatcherEntry(vst2::AEffect* effect, int32_t opcode, int32_t index,
                                  intptr_t value, void* ptr, float opt);
  static float GetParameterEntry(vst2::AEffect* effect, int32_t index);
  static void SetParameterEntry(vst2::AEffect* effect, int32_t index, float value);
  static void ProcessAccumulatingEntry(vst2::AEffect* effect, float** inputs, float** outputs,
                                       int32_t frames);
  static void ProcessReplacingEntry(vst2::AEffect* effect, float** inputs, float** outputs,
                                    int32_t frames);
  static void ProcessDoubleReplacingEntry(vst2::AEffect* effect, double** inputs, double** outputs,
                                          int32_t frames);

  // Runs one opcode with the mutex held (effClose is handled by the caller).
  intptr_t Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);
  float GetParameter(int32_t index);
  void SetParameter(int32_t index, float value);
  void AnnounceMidiInterest();

  intptr_t CallHost(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                    float opt = 0.0f);
  const vst2::VstTimeInfo* HostTimeInfo(int32_t request);

  void OnBindingOpened();
  intptr_t GetChunk(bool program, void* ptr);
  intptr_t SetChunk(bool program, intptr_t size, const void* ptr);
  intptr_t String2Parameter(int index, const char* text);
  intptr_t PinProperties(bool input, int index, void* ptr);
  intptr_t SetSpeakerArrangement(const vst2::VstSpeakerArrangement* in,
                                 const vst2::VstSpeakerArrangement* out);
  intptr_t VendorSpecific(int index, intptr_t value, void* ptr, float opt);
  intptr_t CanDo(const char* text);
  intptr_t ProcessEvents(const vst2::VstEvents* events);
  void UpdateChannelCounts();

  std::unique_ptr<PluginBase> plugin_;
  vst2::ERect editRect_{};
  vst2::HostCallback hostCallback_ = nullptr;
  vst2::VstSpeakerArrangement inputArrangement_{};
  vst2::VstSpeakerArrangement outputArrangement_{};
  bool opened_ = false;
  int32_t hostExtensionFlags_ = 0;
  ChunkBuffer programChunk_;
  ChunkBuffer bankChunk_;
  vst2::AEffect effect_{};
};

}  // namespace qd
