// The format-independent core of a plug-in object: parameters (made from the plug-in's
// parameter table), presets and state bytes, channel configurations and per-channel records
// with their scratch buffers, the attached editor, the queue of what the plug-in tells the
// host, and one recursive mutex that serialises every entry from the host, the audio callback
// and the editor.
//
// A format binding is a thin adapter over this class: it translates the host's calls into the
// host entry points below (parameter set, text, display, state bytes, the activation
// lifecycle, the process frame) and delivers the outgoing events, and never changes a
// parameter, parses text or reads state bytes itself.
//
// Threads and states, for every operation (details at each group):
// - Construction and DefineParameters: the creating thread, before any binding call.
// - Host entry points: any host thread (user interface, automation, worker); each takes the
//   plug-in mutex itself, so a binding may call them with or without holding it.
// - The process frame (Process*Block, Attach*, RunBlock*): the host's audio thread, plug-in
//   mutex held (taken by Process*Block); allocates nothing, never throws.
// - Activate sizes buffers (allocates) and is never called from the audio thread.
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
#include "framework/OutgoingEvents.h"
#include "framework/ParamTable.h"
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
};

// How the host's normalised value for a parameter is taken (see SetParameterFromHost).
enum class HostValueRule {
  // Every value is mapped and snapped by the parameter (VST2, LV2, VST3).
  kSnap,
  // The host answers each value the plug-in posted (AAX): the answer to a value posted by
  // ExpectHostEcho restores the exact value it was posted for, and an answer equal to the
  // parameter's own normalised value keeps the value, so no round trip moves a value.
  kKeepEcho,
};

// The byte layouts of the saved state (see SaveStateBytes).
enum class StateLayout {
  kProgram,  // header, then the parameter values (VST2 program chunk, LV2, VST3)
  kBank,     // header, then every preset (VST2 bank chunk)
  kBare,     // the parameter values without header (AAX chunk data)
};

// What a load does with bytes that end before the state does.
enum class StateLoad {
  kKeepWhatIsWhole,  // values wholly inside the bytes are restored (VST2's chunks)
  kAllOrNothing,     // nothing changes: the state from before the call stays whole
};

// Largest state a host may hand over; a larger one is refused before it is copied. The
// plug-in's own bank of one preset is 114 bytes.
constexpr int64_t kMaxStateBytes = 16 << 20;

// Sample rate and block size as a host gives them: the one place where they are checked.
// A rate is valid when finite and within kMinSampleRate..kMaxSampleRate; a block size when
// at least 1 (sizes above kMaxScratchFrames are taken as kMaxScratchFrames: longer blocks
// run in slices).
bool IsValidSampleRate(double hz);
// The channel configurations of a text such as "1-1 2-2" (inputs-outputs, space separated);
// counts are clamped to 0..64. A piece that is no pair reads as 0-0, or is left out when
// pairsOnly (the AAX description registers only whole pairs).
std::vector<ChannelConfig> ParseChannelConfigs(const char* text, bool pairsOnly = false);
int ValidBlockSize(int64_t frames);  // 0 for an invalid size

class PluginBase : public ParamHost {
 public:
  explicit PluginBase(const PluginIdentity& identity);
  virtual ~PluginBase();
  PluginBase(const PluginBase&) = delete;
  PluginBase& operator=(const PluginBase&) = delete;

  // ---- the binding that carries host services (not owned; may be null) ----
  // Set by the binding on its creating thread, before any other call.
  void SetHostServices(HostServices* services) { host_ = services; }
  HostServices* GetHostServices() const { return host_; }

  // ---- parameters as data (constructor of the plug-in class only) ----
  // Defines parameter i from row i of the table; rows beyond ParamCount() are ignored. The
  // table must outlive the plug-in (it is static data).
  void DefineParameters(const ParamTable& table);
  const ParamTable& Table() const { return table_; }

  // ---- plain reads (any thread; callers that need a consistent view hold the mutex) ----
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

  // ---- host entry points: parameters (any host thread; each takes the mutex) ----
  // The host sets parameter `index` from a normalised value: the parameter takes it (a NaN
  // is ignored), the editor shows the host's value, and ParamChanged(index, kSourceHost)
  // runs. False for an index outside the list.
  bool SetParameterFromHost(int index, double normalized,
                            HostValueRule rule = HostValueRule::kSnap);
  // Parameter `index`'s normalised value as the host reads it; 0 for an index outside the list.
  double ParameterNormalized(int index) const;
  // Before the plug-in posts parameter `index`'s normalised value to a host that answers it
  // (HostValueRule::kKeepEcho): records the value the answer restores and returns the
  // normalised value to post.
  double ExpectHostEcho(int index);
  // The host sets parameter `index` from text. A parameter with display texts takes exactly
  // one of them (case-sensitive); any other takes a finite number, optionally followed by a
  // unit ("-3.5dB"), clamped into its range. Text that is neither (empty, junk, "nan",
  // "inf") is refused and changes nothing. On success the editor shows the value and
  // ParamChanged(index, kSourceHost) runs. False when refused or for a bad index.
  bool SetParameterFromText(int index, const char* text);
  // Reads text as SetParameterFromText would, without setting anything: the real value.
  bool ParameterValueFromText(int index, const char* text, double* value) const;
  // The display text of a value of parameter `index` (the current value when `value` is
  // null): a display text where the parameter has one for it, else the number with the
  // parameter's precision. `normalized` says whether *value is normalised. Writes at most
  // `size` bytes, terminated; false (nothing written) for a bad index or buffer.
  bool FormatParameter(int index, const double* value, bool normalized, char* out, int size) const;

  // ---- host entry points: state as bytes (any host thread; each takes the mutex) ----
  // Saves the state in the layout into `out` (replacing its content). kBank first stores the
  // current values into the current preset.
  bool SaveStateBytes(StateLayout layout, ChunkBuffer& out);
  // Loads state bytes through the one safe reader: `size` bytes at `data`, never read past;
  // a null pointer, a negative size or one above kMaxStateBytes is refused. Values that lie
  // wholly inside the bytes are restored (clamped into range), the editor follows, and
  // ParamChanged(i, kSourceState) runs for every parameter. kProgram also stores the result
  // as the current preset; kBank restores every preset (a bank without the header reads as
  // a program). False when the bytes end before the state does; with kAllOrNothing the
  // values (and presets) are then what they were before the call.
  bool LoadStateBytes(StateLayout layout, const void* data, int64_t size,
                      StateLoad partial = StateLoad::kKeepWhatIsWhole);
  // Whether the parameter values held in state bytes equal the current ones (within 1e-5);
  // bytes too short to hold every value do not match.
  bool StateBytesMatch(StateLayout layout, const void* data, int64_t size);

  // ---- host entry points: the activation lifecycle (host's main thread, never the audio
  //      thread; each takes the mutex) ----
  // Prepares processing at `sampleRate` with blocks of up to `maxBlockFrames`: an invalid rate
  // or size keeps the previous one; buffers are sized (this allocates) and the engine starts
  // afresh (ResetProcessing). Any number of calls; the plug-in is then active.
  void Activate(double sampleRate, int64_t maxBlockFrames);
  // Processing ends until the next Activate or Resume; the engine starts afresh.
  void Deactivate();
  // The host pauses processing (the engine starts afresh when it resumes) and resumes it.
  void Suspend();
  void Resume();
  bool IsActive() const { return active_; }

  // ---- outgoing events: what the plug-in tells the host ----
  // The engine changed parameter `index` itself (audio thread, mutex held): queues begin,
  // the parameter's normalised value and end. Allocates nothing.
  void PostParamChangeFromEngine(int index);
  // Takes the oldest queued event (mutex taken); false when none is queued. A binding whose
  // HostServices::DeliversEventsAtOnce() is false calls it from its process call or its
  // user-interface thread; otherwise the base delivers each event as it is posted.
  bool PopOutgoingEvent(OutgoingEvent* out);
  template <typename Fn>
  int DrainOutgoingEvents(Fn&& fn) {
    int n = 0;
    for (OutgoingEvent e; PopOutgoingEvent(&e); ++n) fn(e);
    return n;
  }
  uint32_t DroppedOutgoingEvents() const { return events_.Dropped(); }

  // ---- setup (creating thread, or the host's main thread with the mutex held) ----
  // Ignores non-finite and non-positive rates; clamps others to kMinSampleRate..kMaxSampleRate.
  void SetSampleRate(double hz);
  bool LegalIO(int nIn, int nOut) const;
  const std::vector<ChannelConfig>& ChannelConfigs() const { return channelConfigs_; }
  void SetHost(const char* name, int32_t version);
  int32_t EffectVersion(bool decimal) const;
  // Sizes the scratch buffers (allocates); n is clamped to 0..kMaxScratchFrames.
  virtual void SetMaxBlockSize(int n);

  // ---- channels (host's main thread, mutex held; the audio thread only reads) ----
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
  // A whole host block: takes the mutex, and cuts blocks longer than the scratch buffers
  // into slices of MaxBlockSize() frames, so no block size a host sends is unsafe.
  // Negative or zero frame counts do nothing.
  void ProcessDoubleBlock(double** inputs, double** outputs, int nFrames);
  void ProcessFloatBlock(float** inputs, float** outputs, int nFrames, bool accumulate);
  void ProcessPassThroughBlock(float** inputs, float** outputs, int nFrames);

  // Runs ParamChanged(i, source) for every parameter (mutex taken).
  void NotifyAllParamsChanged(int source);
  // The host opened the instance (host's main thread): every parameter's change handler
  // runs with kSourceHostOpen.
  void HostOpened() { NotifyAllParamsChanged(kSourceHostOpen); }

  // ---- state and presets (host's main thread; the serialisers take the mutex) ----
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
  bool SaveState(ChunkBuffer& chunk) { return SerializeParams(chunk); }
  int LoadState(const ChunkBuffer& chunk, int pos) { return UnserializeParams(chunk, pos); }
  // Whether values[first + i] equals parameter i's value (within 1e-5) for every i.
  bool StateMatches(const double* values, int first) const;
  // Tells the editor every parameter's value (mutex held).
  void PushParamsToEditor();

  // ---- what the plug-in class overrides ----
  // The engine starts afresh at the current rate (host's main thread, mutex held; may
  // allocate; never inside a block).
  virtual void ResetProcessing();
  // Parameter `index` changed (mutex held; from any host thread, the editor thread, or the
  // audio thread when the engine changes a value itself).
  virtual void ParamChanged(int index, int source);
  // One slice of audio (audio thread, mutex held; allocates nothing).
  virtual void ProcessAudio(double** inputs, double** outputs, int nFrames);
  // Periodic work off the audio thread: the host's idle calls and the editor's tick (host's
  // main or editor thread; takes the mutex; may allocate).
  virtual void HostIdle() {}

  // ---- ParamHost: the editor's calls (editor thread) ----
  // The editor sets a parameter: the value is taken, queued for the host, and ParamChanged(
  // index, kSourceEditor) runs (mutex taken).
  void SetParameterFromGUI(int index, double normalized) override;
  // A gesture starts or ends: queued for the host (mutex taken).
  void BeginParamEdit(int index) override;
  void EndParamEdit(int index) override;
  void ResizeEditor(int width, int height) override;
  // The editor's idle tick: runs HostIdle.
  void EditorIdle() override { HostIdle(); }

  // ---- host services, forwarded to the binding (answer "nothing" without one) ----
  void ReportPresetChange();
  bool HostIsOffline();
  int64_t HostSamplePosition();
  double HostTempo();
  void HostTimeSignature(int* num, int* den);
  void HostTransport(TransportInfo* info);
  HostId IdentifyHost();
  void SetLatencySamples(int n);
  bool SendMidiToHost(const ShortMidiEvent& event);
  bool SendSysExToHost(const SysExEvent& event);
  // A MIDI message from the host (audio thread): passed back to the host.
  virtual void OnMidiMessage(const ShortMidiEvent& event) { SendMidiToHost(event); }

  // ---- the editor (creating thread) ----
  void AttachEditor(std::unique_ptr<PluginEditor> graphics);
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
  // A value posted to a host that answers it (HostValueRule::kKeepEcho).
  struct EchoRecord {
    double normalized = 0.0;
    double value = 0.0;
    bool pending = false;
  };

  // Runs fn(offset, frames) over slices no longer than the scratch buffers.
  template <typename Fn>
  void ForEachSlice(int nFrames, Fn&& fn);
  void SilenceOutputs(float** outputs, int nFrames);
  enum FloatRun { kReplace, kAccumulate, kPassThrough };
  void ProcessFloatSlices(float** inputs, float** outputs, int nFrames, FloatRun run);
  // Queues events and, for a binding that takes them at once, delivers them (mutex held).
  void PostEvents(const OutgoingEvent* events, int count);
  void DeliverEvent(const OutgoingEvent& event);

  std::vector<ChannelConfig> channelConfigs_;
  PluginMutex mutex_;
  char effectName_[kPluginNameSize] = {};
  char productName_[kPluginNameSize] = {};
  char makerName_[kPluginNameSize] = {};
  int32_t uniqueId_ = 0;
  int32_t makerId_ = 0;
  int32_t version_ = 0;
  HostId hostId_ = kHostUnidentified;
  int32_t hostVersion_ = 0;
  bool doesChunks_ = false;
  bool isInstrument_ = false;
  bool doesMidi_ = false;
  bool active_ = false;
  int currentPreset_ = 0;
  double sampleRate_ = 44100.0;
  int maxBlockSize_ = 0;
  int latency_ = 0;
  int tailSize_ = 0;
  ParamTable table_;
  std::unique_ptr<EditorSurfaceBridge> surfaceBridge_;
  std::unique_ptr<PluginEditor> graphics_;
  std::vector<std::unique_ptr<PluginParam>> params_;
  std::vector<EchoRecord> echoes_;
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
  ChunkBuffer incoming_;  // the host's state bytes while they are read
  OutgoingEventQueue events_;
  HostServices* host_ = nullptr;
};

}  // namespace qd
