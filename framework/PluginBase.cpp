#include "framework/PluginBase.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "framework/HostFloat.h"
#include "framework/Text.h"

namespace qd {

namespace {

using Lock = std::lock_guard<PluginMutex>;

}  // namespace

PluginBase::PluginBase(const PluginIdentity& id)
    : uniqueId_(id.uniqueId),
      makerId_(id.makerId),
      version_(id.version),
      doesChunks_(id.doesChunks),
      isInstrument_(id.isInstrument),
      doesMidi_(id.doesMidi),
      latency_(id.latency) {
  const int paramCount = std::max(0, id.paramCount);
  params_.reserve(paramCount);
  for (int i = 0; i < paramCount; ++i) params_.push_back(std::make_unique<PluginParam>());
  echoes_.resize(static_cast<size_t>(paramCount));
  const int presetCount = std::max(0, id.presetCount);
  presets_.reserve(presetCount);
  for (int i = 0; i < presetCount; ++i) {
    auto preset = std::make_unique<PluginPreset>();
    std::snprintf(preset->name, sizeof(preset->name), "%s", "empty");
    presets_.push_back(std::move(preset));
  }
  CopyText(effectName_, id.effectName);
  CopyText(productName_, id.productName);
  CopyText(makerName_, id.makerName);

  channelConfigs_ = ParseChannelConfigs(id.channelConfig);
  int maxIn = 0, maxOut = 0;
  for (const ChannelConfig& c : channelConfigs_) {
    maxIn = std::max(maxIn, c.numInputs);
    maxOut = std::max(maxOut, c.numOutputs);
  }
  inputPtrs_.assign(maxIn, nullptr);
  outputPtrs_.assign(maxOut, nullptr);
  inputs_.resize(maxIn);
  outputs_.resize(maxOut);
  sliceDoubleIn_.assign(maxIn, nullptr);
  sliceFloatIn_.assign(maxIn, nullptr);
  sliceDoubleOut_.assign(maxOut, nullptr);
  sliceFloatOut_.assign(maxOut, nullptr);
}

PluginBase::~PluginBase() {
  graphics_.reset();
  params_.clear();
  presets_.clear();
  inputs_.clear();
  outputs_.clear();
  channelConfigs_.clear();
  surfaceBridge_.reset();
}

std::vector<ChannelConfig> ParseChannelConfigs(const char* text, bool pairsOnly) {
  std::vector<ChannelConfig> configs;
  if (!text) return configs;
  // Channel counts are bounded so that a malformed string cannot ask for absurd channel
  // records; the configurations of this system use 1 and 2.
  constexpr int kMaxChannels = 64;
  const char* p = text;
  for (;;) {
    int in = 0, out = 0;
    const bool pair = std::sscanf(p, "%d-%d", &in, &out) == 2;
    in = std::clamp(in, 0, kMaxChannels);
    out = std::clamp(out, 0, kMaxChannels);
    if (pair || !pairsOnly) configs.push_back({in, out});
    const char* space = std::strchr(p, ' ');
    if (!space) break;
    p = space + 1;
  }
  return configs;
}

bool IsValidSampleRate(double hz) {
  return std::isfinite(hz) && hz >= kMinSampleRate && hz <= kMaxSampleRate;
}

int ValidBlockSize(int64_t frames) {
  if (frames < 1) return 0;
  return static_cast<int>(std::min<int64_t>(frames, kMaxScratchFrames));
}

void PluginBase::DefineParameters(const ParamTable& table) {
  table_ = table;
  for (int i = 0; i < std::min(table.Count(), ParamCount()); ++i) {
    const ParamDefinition& row = *table.Row(i);
    PluginParam& param = *params_[static_cast<size_t>(i)];
    switch (row.kind) {
      case kParamBool:
        param.DefineBool(row.name, row.defaultValue >= 0.5, row.unit, "");
        break;
      case kParamEnum:
        param.DefineEnum(row.name, static_cast<int>(row.defaultValue),
                         static_cast<int>(row.maxValue - row.minValue) + 1, row.unit, "");
        for (int t = 0; t < kMaxParamTexts && row.texts[t]; ++t)
          param.AddDisplayText(t, row.texts[t]);
        break;
      default:
        param.DefineDouble(row.name, row.defaultValue, row.minValue, row.maxValue, row.step,
                           row.unit, "", 1.0);
        param.SetCurveShape(row.shape);
        break;
    }
  }
}

PluginParam* PluginBase::GetParam(int index) {
  if (index < 0 || index >= ParamCount()) return nullptr;
  return params_[index].get();
}

const PluginParam* PluginBase::GetParam(int index) const {
  if (index < 0 || index >= ParamCount()) return nullptr;
  return params_[index].get();
}

const PluginPreset* PluginBase::GetPreset(int index) const {
  if (index < 0 || index >= PresetCount()) return nullptr;
  return presets_[index].get();
}

void PluginBase::SetSampleRate(double hz) {
  // A rate that is not a positive finite number is ignored; others are kept within what any
  // audio interface runs at, so the engine's integer rates and window sizes stay sane.
  if (!std::isfinite(hz) || !(hz > 0.0)) return;
  sampleRate_ = std::clamp(hz, kMinSampleRate, kMaxSampleRate);
}

bool PluginBase::LegalIO(int nIn, int nOut) const {
  bool legal = false;
  for (const ChannelConfig& c : channelConfigs_) {
    if ((nIn < 0 || nIn == c.numInputs) && (nOut < 0 || nOut == c.numOutputs)) {
      legal = true;
      break;
    }
  }
  return legal;
}

void PluginBase::SetHost(const char* name, int32_t version) {
  hostId_ = LookupHostId(name);
  hostVersion_ = version;
}

int32_t PluginBase::EffectVersion(bool decimal) const {
  if (!decimal) return version_;
  return (version_ >> 16) * 10000 + ((version_ >> 8) & 0xFF) * 100 + (version_ & 0xFF);
}

// ---------------------------------------------------------------- channels

bool PluginBase::IsInputConnected(int i) const {
  return i >= 0 && i < InputCount() && inputs_[i].connected;
}

bool PluginBase::IsOutputConnected(int i) const {
  return i >= 0 && i < OutputCount() && outputs_[i].connected;
}

void PluginBase::SetInputConnections(int start, int count, bool connected) {
  const int first = std::max(0, start);
  const int64_t last = std::min<int64_t>(static_cast<int64_t>(start) + count, InputCount());
  for (int64_t i = first; i < last; ++i) {
    inputs_[i].connected = connected;
    if (!connected) inputPtrs_[i] = inputs_[i].scratch.data();
  }
}

void PluginBase::SetOutputConnections(int start, int count, bool connected) {
  const int first = std::max(0, start);
  const int64_t last = std::min<int64_t>(static_cast<int64_t>(start) + count, OutputCount());
  for (int64_t i = first; i < last; ++i) {
    outputs_[i].connected = connected;
    if (!connected) outputPtrs_[i] = outputs_[i].scratch.data();
  }
}

void PluginBase::SetInputLabel(int i, const char* text) {
  if (i >= 0 && i < InputCount()) inputs_[i].label = text ? text : "";
}

void PluginBase::SetOutputLabel(int i, const char* text) {
  if (i >= 0 && i < OutputCount()) outputs_[i].label = text ? text : "";
}

const char* PluginBase::InputLabel(int i) const {
  return (i >= 0 && i < InputCount()) ? inputs_[i].label.c_str() : "";
}

const char* PluginBase::OutputLabel(int i) const {
  return (i >= 0 && i < OutputCount()) ? outputs_[i].label.c_str() : "";
}

namespace {

void ReplaceBusLabel(std::vector<std::string>& labels, int i, const char* text) {
  if (i < static_cast<int>(labels.size())) labels.erase(labels.begin() + i);
  const size_t at = std::min(static_cast<size_t>(i), labels.size());
  labels.insert(labels.begin() + at, text ? text : "");
}

}  // namespace

void PluginBase::SetInputBusLabel(int i, const char* text) {
  if (i != 0 && i != 1) return;
  ReplaceBusLabel(inputBusLabels_, i, text);
}

void PluginBase::SetOutputBusLabel(int i, const char* text) {
  if (i < 0) return;
  ReplaceBusLabel(outputBusLabels_, i, text);
}

// ---------------------------------------------------------------- process frame

void PluginBase::AttachInputs(double** hostInputs) {
  int next = 0;
  for (int i = 0; i < InputCount(); ++i) {
    InputChannel& in = inputs_[i];
    if (!in.connected) continue;
    double* p = hostInputs ? hostInputs[next] : nullptr;
    ++next;
    if (!p) {
      std::fill(in.scratch.begin(), in.scratch.end(), 0.0);
      p = in.scratch.data();
    }
    inputPtrs_[i] = p;
  }
}

void PluginBase::AttachInputs(float** hostInputs, int nFrames) {
  const int n = std::clamp(nFrames, 0, maxBlockSize_);
  int next = 0;
  for (int i = 0; i < InputCount(); ++i) {
    InputChannel& in = inputs_[i];
    if (!in.connected) continue;
    const float* src = hostInputs ? hostInputs[next] : nullptr;
    ++next;
    if (src) {
      for (int k = 0; k < n; ++k) in.scratch[k] = static_cast<double>(src[k]);
    } else {
      std::fill(in.scratch.begin(), in.scratch.begin() + n, 0.0);
    }
    inputPtrs_[i] = in.scratch.data();
  }
}

void PluginBase::AttachOutputs(double** hostOutputs) {
  int next = 0;
  for (int i = 0; i < OutputCount(); ++i) {
    OutputChannel& out = outputs_[i];
    if (!out.connected) continue;
    double* p = hostOutputs ? hostOutputs[next] : nullptr;
    ++next;
    out.floatDestination = nullptr;
    outputPtrs_[i] = p ? p : out.scratch.data();
  }
}

void PluginBase::AttachOutputs(float** hostOutputs) {
  int next = 0;
  for (int i = 0; i < OutputCount(); ++i) {
    OutputChannel& out = outputs_[i];
    if (!out.connected) continue;
    out.floatDestination = hostOutputs ? hostOutputs[next] : nullptr;
    ++next;
    outputPtrs_[i] = out.scratch.data();
  }
}

void PluginBase::RunBlock(int nFrames) {
  ProcessAudio(inputPtrs_.data(), outputPtrs_.data(), nFrames);
}

void PluginBase::RunBlockFloat(int nFrames) {
  ProcessAudio(inputPtrs_.data(), outputPtrs_.data(), nFrames);
  const int n = std::clamp(nFrames, 0, maxBlockSize_);
  for (OutputChannel& out : outputs_) {
    if (!out.connected || !out.floatDestination) continue;
    for (int k = 0; k < n; ++k) out.floatDestination[k] = EngineToHostFloat(out.scratch[k]);
  }
}

void PluginBase::RunBlockFloatAccumulating(int nFrames) {
  ProcessAudio(inputPtrs_.data(), outputPtrs_.data(), nFrames);
  const int n = std::clamp(nFrames, 0, maxBlockSize_);
  for (OutputChannel& out : outputs_) {
    if (!out.connected || !out.floatDestination) continue;
    for (int k = 0; k < n; ++k) out.floatDestination[k] += EngineToHostFloat(out.scratch[k]);
  }
}

void PluginBase::PassThrough(int nFrames) {
  const int n = std::clamp(nFrames, 0, maxBlockSize_);
  PluginBase::ProcessAudio(inputPtrs_.data(), outputPtrs_.data(), n);
  for (OutputChannel& out : outputs_) {
    if (!out.connected || !out.floatDestination) continue;
    for (int k = 0; k < n; ++k) out.floatDestination[k] = static_cast<float>(out.scratch[k]);
  }
}

template <typename Fn>
void PluginBase::ForEachSlice(int nFrames, Fn&& fn) {
  for (int offset = 0; offset < nFrames;) {
    const int frames = std::min(nFrames - offset, maxBlockSize_);
    fn(offset, frames);
    offset += frames;
  }
}

void PluginBase::SilenceOutputs(float** outputs, int nFrames) {
  if (!outputs) return;
  int next = 0;
  for (const OutputChannel& out : outputs_) {
    if (!out.connected) continue;
    if (float* p = outputs[next++]) std::fill(p, p + nFrames, 0.0f);
  }
}

namespace {

// The host passes one pointer per connected channel; only those many are read.
template <typename T>
void OffsetPointers(T** host, std::vector<T*>& slice, int connected, int offset) {
  for (int i = 0; i < static_cast<int>(slice.size()); ++i) {
    slice[i] = (host && i < connected && host[i]) ? host[i] + offset : nullptr;
  }
}

template <typename Channel>
int CountConnected(const std::vector<Channel>& channels) {
  int n = 0;
  for (const Channel& c : channels) n += c.connected ? 1 : 0;
  return n;
}

}  // namespace

void PluginBase::ProcessDoubleBlock(double** inputs, double** outputs, int nFrames) {
  Lock lock(mutex_);
  if (nFrames <= 0) return;
  if (maxBlockSize_ <= 0) {
    // No scratch to stand in for disconnected channels: answer with silence.
    if (outputs) {
      int next = 0;
      for (const OutputChannel& out : outputs_) {
        if (!out.connected) continue;
        if (double* p = outputs[next++]) std::fill(p, p + nFrames, 0.0);
      }
    }
    return;
  }
  const int connectedIn = CountConnected(inputs_);
  const int connectedOut = CountConnected(outputs_);
  ForEachSlice(nFrames, [&](int offset, int frames) {
    OffsetPointers(inputs, sliceDoubleIn_, connectedIn, offset);
    OffsetPointers(outputs, sliceDoubleOut_, connectedOut, offset);
    AttachInputs(sliceDoubleIn_.data());
    AttachOutputs(sliceDoubleOut_.data());
    RunBlock(frames);
  });
}

void PluginBase::ProcessFloatBlock(float** inputs, float** outputs, int nFrames,
                                   bool accumulate) {
  ProcessFloatSlices(inputs, outputs, nFrames, accumulate ? kAccumulate : kReplace);
}

void PluginBase::ProcessPassThroughBlock(float** inputs, float** outputs, int nFrames) {
  ProcessFloatSlices(inputs, outputs, nFrames, kPassThrough);
}

void PluginBase::ProcessFloatSlices(float** inputs, float** outputs, int nFrames,
                                    FloatRun run) {
  Lock lock(mutex_);
  if (nFrames <= 0) return;
  if (maxBlockSize_ <= 0) {
    if (run != kAccumulate) SilenceOutputs(outputs, nFrames);
    return;
  }
  const int connectedIn = CountConnected(inputs_);
  const int connectedOut = CountConnected(outputs_);
  ForEachSlice(nFrames, [&](int offset, int frames) {
    OffsetPointers(inputs, sliceFloatIn_, connectedIn, offset);
    OffsetPointers(outputs, sliceFloatOut_, connectedOut, offset);
    AttachInputs(sliceFloatIn_.data(), frames);
    AttachOutputs(sliceFloatOut_.data());
    switch (run) {
      case kReplace:
        RunBlockFloat(frames);
        break;
      case kAccumulate:
        RunBlockFloatAccumulating(frames);
        break;
      case kPassThrough:
        PassThrough(frames);
        break;
    }
  });
}

void PluginBase::NotifyAllParamsChanged(int source) {
  Lock lock(mutex_);
  for (int i = 0; i < ParamCount(); ++i) ParamChanged(i, source);
}

// ---------------------------------------------------------------- virtual operations

void PluginBase::ResetProcessing() { Lock lock(mutex_); }

void PluginBase::ParamChanged(int, int) { Lock lock(mutex_); }

void PluginBase::ProcessAudio(double** inputs, double** outputs, int nFrames) {
  if (nFrames <= 0 || !outputs) return;
  const int shared = std::min(InputCount(), OutputCount());
  for (int i = 0; i < OutputCount(); ++i) {
    double* out = outputs[i];
    if (!out) continue;
    const double* in = (i < shared && inputs) ? inputs[i] : nullptr;
    if (in) {
      if (in != out) std::memmove(out, in, sizeof(double) * static_cast<size_t>(nFrames));
    } else {
      std::fill(out, out + nFrames, 0.0);
    }
  }
}

bool PluginBase::StateMatches(const double* values, int first) const {
  if (!values) return false;
  for (int i = 0; i < ParamCount(); ++i) {
    const double diff = params_[i]->Value() - values[first + i];
    if (!(diff < 1e-5 && diff > -1e-5)) return false;
  }
  return true;
}

void PluginBase::SetParameterFromGUI(int index, double normalized) {
  Lock lock(mutex_);
  PluginParam* param = GetParam(index);
  if (!param) return;
  param->SetFromNormalized(normalized);
  const OutgoingEvent value{OutgoingEvent::kValue, index, normalized};
  PostEvents(&value, 1);
  ParamChanged(index, kSourceEditor);
}

void PluginBase::BeginParamEdit(int index) {
  Lock lock(mutex_);
  const OutgoingEvent begin{OutgoingEvent::kBeginEdit, index, 0.0};
  PostEvents(&begin, 1);
}

void PluginBase::EndParamEdit(int index) {
  Lock lock(mutex_);
  const OutgoingEvent end{OutgoingEvent::kEndEdit, index, 0.0};
  PostEvents(&end, 1);
}

void PluginBase::PostParamChangeFromEngine(int index) {
  Lock lock(mutex_);
  const PluginParam* param = GetParam(index);
  if (!param) return;
  const OutgoingEvent gesture[3] = {{OutgoingEvent::kBeginEdit, index, 0.0},
                                    {OutgoingEvent::kValue, index, param->Normalized()},
                                    {OutgoingEvent::kEndEdit, index, 0.0}};
  PostEvents(gesture, 3);
}

void PluginBase::PostEvents(const OutgoingEvent* events, int count) {
  events_.Push(events, count);
  if (!host_ || !host_->DeliversEventsAtOnce()) return;
  // Delivered one at a time, oldest first, so an event posted while another is being
  // delivered (a host that answers a value with a call back into the plug-in) keeps its place.
  for (OutgoingEvent e; events_.Pop(&e);) DeliverEvent(e);
}

void PluginBase::DeliverEvent(const OutgoingEvent& event) {
  if (!host_) return;
  switch (event.kind) {
    case OutgoingEvent::kBeginEdit:
      host_->BeginParamEdit(event.index);
      break;
    case OutgoingEvent::kValue:
      host_->ReportParamChange(event.index, event.normalized);
      break;
    case OutgoingEvent::kEndEdit:
      host_->EndParamEdit(event.index);
      break;
  }
}

bool PluginBase::PopOutgoingEvent(OutgoingEvent* out) {
  if (!out) return false;
  Lock lock(mutex_);
  return events_.Pop(out);
}

void PluginBase::ReportPresetChange() {
  if (host_) host_->ReportPresetChange();
}

bool PluginBase::HostIsOffline() { return host_ ? host_->HostIsOffline() : false; }

int64_t PluginBase::HostSamplePosition() { return host_ ? host_->HostSamplePosition() : 0; }

double PluginBase::HostTempo() { return host_ ? host_->HostTempo() : 0.0; }

void PluginBase::HostTimeSignature(int* num, int* den) {
  int n = 0, d = 0;
  if (host_) host_->HostTimeSignature(&n, &d);
  if (num) *num = n;
  if (den) *den = d;
}

void PluginBase::HostTransport(TransportInfo* info) {
  if (host_ && info) host_->HostTransport(info);
}

HostId PluginBase::IdentifyHost() {
  if (hostId_ == kHostUnidentified && host_) host_->QueryHost();
  return hostId_;
}

void PluginBase::ResizeEditor(int width, int height) {
  if (host_) host_->ResizeEditor(width, height);
}

void PluginBase::AttachEditor(std::unique_ptr<PluginEditor> graphics) {
  if (!graphics) return;
  Lock lock(mutex_);
  graphics->PrepareDraw();
  for (int i = 0; i < ParamCount(); ++i) {
    graphics->UpdateParamControls(i, params_[i]->Normalized(), true);
  }
  graphics_ = std::move(graphics);
  if (surfaceBridge_) surfaceBridge_->SetEditor(graphics_.get());
  if (host_) host_->EditorAttached(graphics_.get());
}

void PluginBase::SetLatencySamples(int n) {
  latency_ = n;
  if (host_) host_->LatencyChanged(n);
}

bool PluginBase::SendMidiToHost(const ShortMidiEvent& event) {
  return host_ ? host_->SendMidiToHost(event) : false;
}

bool PluginBase::SendSysExToHost(const SysExEvent& event) {
  return host_ ? host_->SendSysExToHost(event) : false;
}

void PluginBase::PushParamsToEditor() {
  if (!graphics_) return;
  for (int i = 0; i < ParamCount(); ++i) {
    graphics_->UpdateParamControls(i, params_[i]->Value(), false);
  }
}

void PluginBase::SetMaxBlockSize(int n) {
  // Longer host blocks are processed in slices, so the scratch size can be bounded.
  n = std::clamp(n, 0, kMaxScratchFrames);
  if (n == maxBlockSize_) return;
  Lock lock(mutex_);
  for (size_t i = 0; i < inputs_.size(); ++i) {
    inputs_[i].scratch.assign(static_cast<size_t>(n), 0.0);
    if (!inputs_[i].connected) inputPtrs_[i] = inputs_[i].scratch.data();
  }
  for (size_t i = 0; i < outputs_.size(); ++i) {
    outputs_[i].scratch.assign(static_cast<size_t>(n), 0.0);
    if (!outputs_[i].connected) outputPtrs_[i] = outputs_[i].scratch.data();
  }
  maxBlockSize_ = n;
}

void PluginBase::SetSurfaceBridge(std::unique_ptr<EditorSurfaceBridge> bridge) {
  surfaceBridge_ = std::move(bridge);
}

// ---------------------------------------------------------------- host entry points

bool PluginBase::SetParameterFromHost(int index, double normalized, HostValueRule rule) {
  Lock lock(mutex_);
  PluginParam* param = GetParam(index);
  if (!param) return false;
  EchoRecord& echo = echoes_[static_cast<size_t>(index)];
  if (rule == HostValueRule::kKeepEcho && echo.pending && normalized == echo.normalized) {
    param->SetClamped(echo.value);
    echo.pending = false;
  } else if (rule == HostValueRule::kSnap || param->Normalized() != normalized) {
    param->SetFromNormalized(normalized);
  }
  if (graphics_) {
    // A NaN carries no position: the editor shows the value the parameter kept.
    graphics_->UpdateParamControls(index, std::isnan(normalized) ? param->Normalized() : normalized,
                                   true);
  }
  ParamChanged(index, kSourceHost);
  return true;
}

double PluginBase::ParameterNormalized(int index) const {
  const PluginParam* param = GetParam(index);
  return param ? param->Normalized() : 0.0;
}

double PluginBase::ExpectHostEcho(int index) {
  Lock lock(mutex_);
  const PluginParam* param = GetParam(index);
  if (!param) return 0.0;
  const double normalized = param->Normalized();
  echoes_[static_cast<size_t>(index)] = {normalized, param->Value(), true};
  return normalized;
}

bool PluginBase::ParameterValueFromText(int index, const char* text, double* value) const {
  const PluginParam* param = GetParam(index);
  return param && param->ParseText(text, value);
}

bool PluginBase::SetParameterFromText(int index, const char* text) {
  Lock lock(mutex_);
  PluginParam* param = GetParam(index);
  double v = 0.0;
  if (!param || !param->ParseText(text, &v)) return false;
  if (graphics_) graphics_->UpdateParamControls(index, v, false);
  param->SetClamped(v);
  ParamChanged(index, kSourceHost);
  return true;
}

bool PluginBase::FormatParameter(int index, const double* value, bool normalized, char* out,
                                 int size) const {
  const PluginParam* param = GetParam(index);
  if (!param || !out || size <= 0) return false;
  char text[kParamTextSize];
  param->FormatForHost(value ? *value : param->Value(), value ? normalized : false, text, true);
  CopyText(out, static_cast<size_t>(size), text);
  return true;
}

bool PluginBase::SaveStateBytes(StateLayout layout, ChunkBuffer& out) {
  Lock lock(mutex_);
  out.Clear();
  switch (layout) {
    case StateLayout::kBare:
      return SaveState(out);
    case StateLayout::kProgram:
      WriteStateHeader(out);
      return SaveState(out);
    case StateLayout::kBank:
      WriteStateHeader(out);
      ModifyCurrentPreset(nullptr);
      return SerializePresets(out);
  }
  return false;
}

bool PluginBase::LoadStateBytes(StateLayout layout, const void* data, int64_t size,
                                StateLoad partial) {
  if (!data || size < 0 || size > kMaxStateBytes) return false;
  Lock lock(mutex_);
  if (partial == StateLoad::kAllOrNothing) {
    // The state as it stands, to come back if the bytes end early.
    ChunkBuffer before;
    if (!SaveStateBytes(layout, before)) return false;
    if (LoadStateBytes(layout, data, size, StateLoad::kKeepWhatIsWhole)) return true;
    LoadStateBytes(layout, before.Data(), before.Size(), StateLoad::kKeepWhatIsWhole);
    return false;
  }
  incoming_.Clear();
  incoming_.AppendBytes(data, static_cast<int>(size));
  int pos = 0;
  if (layout == StateLayout::kBare) {
    pos = LoadState(incoming_, 0);
  } else {
    const int32_t version = ReadStateHeader(incoming_, &pos);
    if (layout == StateLayout::kBank && version >= kStateVersion) {
      pos = UnserializePresets(incoming_, pos);
    } else {
      pos = LoadState(incoming_, pos);
      ModifyCurrentPreset(nullptr);
    }
  }
  PushParamsToEditor();
  return pos >= 0;
}

bool PluginBase::StateBytesMatch(StateLayout layout, const void* data, int64_t size) {
  if (!data || size < 0) return false;
  // The values are the doubles after the 4-byte count (and the header where there is one);
  // bytes too short to hold one per parameter cannot match.
  const int64_t first = (layout == StateLayout::kBare ? 0 : 8) + 4;
  const int n = ParamCount();
  if (size < first + 8 * static_cast<int64_t>(n)) return false;
  Lock lock(mutex_);
  const auto* bytes = static_cast<const uint8_t*>(data);
  for (int i = 0; i < n; ++i) {
    uint64_t bits = 0;
    for (int b = 0; b < 8; ++b) {
      bits |= static_cast<uint64_t>(bytes[first + 8 * i + b]) << (8 * b);
    }
    double v = 0.0;
    std::memcpy(&v, &bits, sizeof(v));
    const double diff = params_[static_cast<size_t>(i)]->Value() - v;
    if (!(diff < 1e-5 && diff > -1e-5)) return false;
  }
  return true;
}

void PluginBase::Activate(double sampleRate, int64_t maxBlockFrames) {
  Lock lock(mutex_);
  if (IsValidSampleRate(sampleRate)) sampleRate_ = sampleRate;
  if (const int frames = ValidBlockSize(maxBlockFrames)) SetMaxBlockSize(frames);
  ResetProcessing();
  active_ = true;
}

void PluginBase::Deactivate() {
  Suspend();
}

void PluginBase::Suspend() {
  Lock lock(mutex_);
  active_ = false;
  ResetProcessing();
}

void PluginBase::Resume() {
  Lock lock(mutex_);
  active_ = true;
}

// ---------------------------------------------------------------- state and presets

void PluginBase::WriteStateHeader(ChunkBuffer& chunk) {
  chunk.Clear();
  chunk.AppendInt32(kStateMagic);
  chunk.AppendInt32(kStateVersion);
}

int32_t PluginBase::ReadStateHeader(const ChunkBuffer& chunk, int* pos) {
  int32_t magic = 0;
  if (chunk.ReadInt32(&magic, *pos) < 0 || magic != kStateMagic) return 0;
  int32_t version = 0;
  const int next = chunk.ReadInt32(&version, *pos + 4);
  if (next < 0) {
    *pos = -1;
    return 0;
  }
  *pos = next;
  return version;
}

bool PluginBase::SerializeParams(ChunkBuffer& chunk) {
  Lock lock(mutex_);
  chunk.AppendInt32(ParamCount());
  for (int i = 0; i < ParamCount(); ++i) chunk.AppendDouble(params_[i]->Value());
  return chunk.Size() > 0;
}

int PluginBase::UnserializeParams(const ChunkBuffer& chunk, int pos) {
  Lock lock(mutex_);
  int n = ParamCount();
  int32_t stored = 0;
  pos = chunk.ReadInt32(&stored, pos);
  if (pos >= 0) n = std::min<int>(stored, ParamCount());
  for (int i = 0; i < n && pos >= 0; ++i) {
    double v = 0.0;
    pos = chunk.ReadDouble(&v, pos);
    if (pos < 0) v = 0.0;
    params_[i]->SetClamped(v);
  }
  for (int i = 0; i < ParamCount(); ++i) ParamChanged(i, kSourceState);
  return pos;
}

void PluginBase::InitPresetsFromState(const char* name, int count) {
  for (int pass = 0; pass < count; ++pass) {
    auto it = std::find_if(presets_.begin(), presets_.end(),
                           [](const auto& p) { return !p->initialised; });
    if (it == presets_.end()) continue;
    PluginPreset& preset = **it;
    preset.initialised = true;
    CopyText(preset.name, name ? name : "Empty");
    preset.state.Clear();
    SaveState(preset.state);
  }
}

void PluginBase::FillEmptyPresets() { InitPresetsFromState(nullptr, PresetCount()); }

void PluginBase::ModifyCurrentPreset(const char* name) {
  if (currentPreset_ < 0 || currentPreset_ >= PresetCount()) return;
  PluginPreset& preset = *presets_[currentPreset_];
  preset.state.Clear();
  SaveState(preset.state);
  if (name && name[0] != '\0') CopyText(preset.name, name);
}

bool PluginBase::SelectPreset(int index) {
  if (index < 0 || index >= PresetCount()) return false;
  PluginPreset& preset = *presets_[index];
  bool restored;
  if (preset.initialised) {
    restored = LoadState(preset.state, 0) > 0;
  } else {
    preset.initialised = true;
    int users = 0;
    for (const auto& p : presets_) {
      if (std::strstr(p->name, "user preset")) ++users;
    }
    std::snprintf(preset.name, sizeof(preset.name), "%s %d", "user preset", users + 1);
    preset.state.Clear();
    restored = SaveState(preset.state);
  }
  if (restored) {
    currentPreset_ = index;
    PushParamsToEditor();
  }
  return restored;
}

const char* PluginBase::PresetName(int index) const {
  if (index < 0 || index >= PresetCount()) return "";
  return presets_[index]->name;
}

bool PluginBase::SerializePresets(ChunkBuffer& chunk) {
  bool ok = true;
  for (int i = 0; i < PresetCount() && ok; ++i) {
    const PluginPreset& preset = *presets_[i];
    chunk.AppendString(preset.name);
    chunk.AppendBool(preset.initialised);
    if (preset.initialised) {
      chunk.AppendBytes(preset.state.Data(), preset.state.Size());
      ok = ok && chunk.Size() > 0;
    }
  }
  return ok;
}

int PluginBase::UnserializePresets(const ChunkBuffer& chunk, int pos) {
  for (int i = 0; i < PresetCount() && pos >= 0; ++i) {
    PluginPreset& preset = *presets_[i];
    std::string name;
    pos = chunk.ReadString(&name, pos);
    if (pos < 0) break;  // a name that does not fit leaves this preset as it was
    CopyText(preset.name, name.c_str());  // names of 256 characters or more are cut
    bool initialised = preset.initialised;
    pos = chunk.ReadBool(&initialised, pos);
    if (pos < 0) break;
    preset.initialised = initialised;
    if (preset.initialised) {
      pos = LoadState(chunk, pos);
      if (pos > 0) {
        preset.state.Clear();
        SaveState(preset.state);
      }
    }
  }
  SelectPreset(currentPreset_);
  return pos;
}

}  // namespace qd
