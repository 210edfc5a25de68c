// The format-independent core of a plug-in object: parameters, presets and state chunks,
// channel configurations and per-channel records with their scratch buffers, the attached
// editor, and one recursive mutex that serialises every entry from the host, the audio
// callback and the editor.
//
// Threads: bindings call every entry with the mutex held (see Mutex()). The process frame
// (Attach*, RunBlock, Process*Block) runs on the host's audio thread and allocates nothing;
// scratch buffers are sized by SetMaxBlockSize, outside processing.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "framework/ChunkBuffer.h"
#include "framework/EditorInterfaces.h"
#include "framework/HostId.h"
#include "framework/HostServices.h"
#include "framework/PluginParam.h"

namespace qd {

// Who changed a parameter: passed to ParamChanged.
enum ParamChangeSource : int32_t {
  kSourceHostOpen = 0,
  kSourceHost = 1,
  kSourceState = 2,
  kSourceEditor = 3,
};

struct ChannelConfig {
  int32_t numInputs = 0;
  int32_t numOutputs = 0;
};

constexpr int kPluginNameSize = 128;
constexpr int kMaxScratchFrames = 1 << 18;  // largest block size the scratch buffers take
constexpr double kMinSampleRate = 1000.0;
constexpr double kMaxSampleRate = 1536000.0;
constexpr int kPresetNameSize = 256;

struct PluginPreset {
  bool initialised = false;
  char name[kPresetNameSize] = {};
  ChunkBuffer state;
};

struct PluginIdentity {
  int paramCount = 0;
  const char* channelConfig = "";
  int presetCount = 0;
  const char* effectName = "";
  const char* productName = "";
  const char* makerName = "";
  int32_t version = 0;
  int32_t uniqueId = 0;
  int32_t makerId = 0;
  int latency = 0;
  bool doesMidi = false;
  bool doesChunks = false;
  bool isInstrument = false;
  int formatCode = 0;
};

// Format codes of the bindings.
constexpr int kFormatVst2 = 0;
constexpr int kFormatAax = 4;

// A trace hook at the entry of the main operations. It does nothing and writes nowhere.
[[gnu::format(printf, 1, 2)]] inline void Trace(const char*, ...) {}

class PluginBase : public ParamHost {
 public:
  explicit PluginBase(const PluginIdentity& identity);
  virtual ~PluginBase();
  PluginBase(const PluginBase&) = delete;
  PluginBase& operator=(const PluginBase&) = delete;

  // ---- the binding that carries host services (not owned; may be null) ----
  void SetHostServices(HostServices* services) { host_ = services; }
  HostServices* GetHostServices() const { return host_; }

  // ---- plain reads ----
  PluginParam* GetParam(int index) override;
  const PluginParam* GetParam(int index) const;
  int ParamCount() const override { return static_cast<int>(params_.size()); }
  int PresetCount() const { return static_cast<int>(presets_.size()); }
  const PluginPreset* GetPreset(int index) const;
  int CurrentPreset() const { return currentPreset_; }
  double SampleRate() const { return sampleRate_; }
  int MaxBlockSize() const { return maxBlockSize_; }
  int Latency() const { return latency_; }
  int TailSize() const { return tailSize_; }
  const char* EffectName() const { return effectName_; }
  const char* ProductName() const { return productName_; }
  const char* MakerName() const { return makerName_; }
  int32_t UniqueId() const { return uniqueId_; }
  int32_t MakerId() const { return makerId_; }
  bool DoesChunks() const { return doesChunks_; }
  bool DoesMidi() const { return doesMidi_; }
  bool IsInstrument() const { return isInstrument_; }
  HostId GetHostId() const { return hostId_; }
  int32_t HostVersion() const { return hostVersion_; }
  PluginEditor* Editor() const { return graphics_.get(); }
  PluginMutex& Mutex() override { return mutex_; }

  // ---- setup ----
  // Ignores non-finite and non-positive rates; clamps others to kMinSampleRate..kMaxSampleRate.
  void SetSampleRate(double hz);
  bool LegalIO(int nIn, int nOut) const;
  const std::vector<ChannelConfig>& ChannelConfigs() const { return channelConfigs_; }
  void SetHost(const char* name, int32_t version);
  int32_t EffectVersion(bool decimal) const;

  // ---- channels ----
  int InputCount() const { return static_cast<int>(inputs_.size()); }
  int OutputCount() const { return static_cast<int>(outputs_.size()); }
  bool IsInputConnected(int i) const;
  bool IsOutputConnected(int i) const;
  void SetInputConnections(int start, int count, bool connected);
  void SetOutputConnections(int start, int count, bool connected);
  void SetInputLabel(int i, const char* text);
  void SetOutputLabel(int i, const char* text);
  const char* InputLabel(int i) const;   // "" outside the list
  const char* OutputLabel(int i) const;  // "" outside the list
  void SetInputBusLabel(int i, const char* text);
  void SetOutputBusLabel(int i, const char* text);
  const std::vector<std::string>& InputBusLabels() const { return inputBusLabels_; }
  const std::vector<std::string>& OutputBusLabels() const { return outputBusLabels_; }

  // ---- the process frame (audio thread, mutex held, no allocation) ----
  // A null host pointer reads as silence (input) or is discarded (output).
  void AttachInputs(double** hostInputs);
  void AttachInputs(float** hostInputs, int nFrames);
  void AttachOutputs(double** hostOutputs);
  void AttachOutputs(float** hostOutputs);
  void RunBlock(int nFrames);
  void RunBlockFloat(int nFrames);
  void RunBlockFloatAccumulating(int nFrames);
  void PassThrough(int nFrames);
  void ZeroScratch();
  // A whole host block: takes the mutex, and cuts blocks longer than the scratch buffers
  // into slices of MaxBlockSize() frames, so no block size a host sends is unsafe.
  // Negative or zero frame counts do nothing.
  void ProcessDoubleBlock(double** inputs, double** outputs, int nFrames);
  void ProcessFloatBlock(float** inputs, float** outputs, int nFrames, bool accumulate);
  void ProcessPassThroughBlock(float** inputs, float** outputs, int nFrames);

  void NotifyAllParamsChanged(int source);

  // ---- state and presets ----
  void WriteStateHeader(ChunkBuffer& chunk);
  int32_t ReadStateHeader(const ChunkBuffer& chunk, int* pos);
  bool SerializeParams(ChunkBuffer& chunk);
  int UnserializeParams(const ChunkBuffer& chunk, int pos);
  void InitPresetsFromState(const char* name, int count);
  void FillEmptyPresets();
  void ModifyCurrentPreset(const char* name);
  bool SelectPreset(int index);
  const char* PresetName(int index) const;
  bool SerializePresets(ChunkBuffer& chunk);
  int UnserializePresets(const ChunkBuffer& chunk, int pos);

  // ---- virtual operations ----
  virtual void ResetProcessing();
  virtual void ParamChanged(int index, int source);
  virtual void ProcessAudio(double** inputs, double** outputs, int nFrames);
  virtual void EditorOpened() {}
  virtual void EditorClosed() {}
  virtual void HostIdle() {}
  void EditorIdle() override {}
  virtual void SetActive(bool on);
  virtual void OnMidiMessage(const ShortMidiEvent& event);
  virtual void OnSysExMessage(const SysExEvent&) {}
  virtual bool MidiNoteName(int note, char* out);
  virtual bool SaveState(ChunkBuffer& chunk);
  virtual int LoadState(const ChunkBuffer& chunk, int pos);
  virtual bool StateMatches(const double* values, int first) const;
  virtual void EditorResized() {}
  virtual void HostIdentified() {}
  void SetParameterFromGUI(int index, double normalized) override;
  void BeginParamEdit(int index) override;
  virtual void ReportParamChange(int index, double normalized);
  void EndParamEdit(int index) override;
  virtual void ReportPresetChange();
  virtual bool HostIsOffline();
  virtual int64_t HostSamplePosition();
  virtual double HostTempo();
  virtual void HostTimeSignature(int* num, int* den);
  virtual void HostTransport(TransportInfo* info);
  virtual HostId IdentifyHost();
  int FormatCode() const override { return formatCode_; }
  void ResizeEditor(int width, int height) override;
  virtual void OnBindingOpened() {}
  virtual void AttachEditor(std::unique_ptr<PluginEditor> graphics);
  virtual void SetLatencySamples(int n);
  virtual bool SendMidiToHost(const ShortMidiEvent& event);
  virtual bool SendSysExToHost(const SysExEvent& event);
  virtual void PushParamsToEditor();
  virtual void PresetsChanged() {}
  virtual void SetMaxBlockSize(int n);

  // The cairo bridge over the editor's draw bitmap; set before the editor is attached.
  void SetSurfaceBridge(std::unique_ptr<EditorSurfaceBridge> bridge);
  EditorSurfaceBridge* SurfaceBridge() const { return surfaceBridge_.get(); }

 private:
  struct InputChannel {
    bool connected = false;
    std::vector<double> scratch;
    std::string label;
  };
  struct OutputChannel {
    bool connected = false;
    float* floatDestination = nullptr;
    std::vector<double> scratch;
    std::string label;
  };

  void ParseChannelConfigs(const char* text);
  // Runs fn(offset, frames) over slices no longer than the scratch buffers.
  template <typename Fn>
  void ForEachSlice(int nFrames, Fn&& fn);
  void SilenceOutputs(float** outputs, int nFrames);
  enum FloatRun { kReplace, kAccumulate, kPassThrough };
  void ProcessFloatSlices(float** inputs, float** outputs, int nFrames, FloatRun run);

  std::vector<ChannelConfig> channelConfigs_;
  PluginMutex mutex_;
  char effectName_[kPluginNameSize] = {};
  char productName_[kPluginNameSize] = {};
  char makerName_[kPluginNameSize] = {};
  int32_t uniqueId_ = 0;
  int32_t makerId_ = 0;
  int32_t version_ = 0;
  int formatCode_ = 0;
  HostId hostId_ = kHostUnidentified;
  int32_t hostVersion_ = 0;
  bool doesChunks_ = false;
  bool isInstrument_ = false;
  bool doesMidi_ = false;
  int currentPreset_ = 0;
  double sampleRate_ = 44100.0;
  int maxBlockSize_ = 0;
  int latency_ = 0;
  int tailSize_ = 0;
  std::unique_ptr<EditorSurfaceBridge> surfaceBridge_;
  std::unique_ptr<PluginEditor> graphics_;
  std::vector<std::unique_ptr<PluginParam>> params_;
  std::vector<std::unique_ptr<PluginPreset>> presets_;
  std::vector<double*> inputPtrs_;
  std::vector<double*> outputPtrs_;
  std::vector<InputChannel> inputs_;
  std::vector<OutputChannel> outputs_;
  std::vector<std::string> inputBusLabels_;
  std::vector<std::string> outputBusLabels_;
  // Host pointers offset to the current slice; sized once to the channel counts.
  std::vector<double*> sliceDoubleIn_, sliceDoubleOut_;
  std::vector<float*> sliceFloatIn_, sliceFloatOut_;
  HostServices* host_ = nullptr;
};

}  // namespace qd
