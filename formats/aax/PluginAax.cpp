#include "formats/aax/PluginAax.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "framework/Text.h"

namespace qd {

namespace {

using Lock = std::lock_guard<PluginMutex>;

std::unique_ptr<AAX_IParameter> MapParameter(const char* id, const PluginParam& param) {
  if (param.Kind() == kParamBool || param.Kind() == kParamEnum) {
    const int32_t lo = TruncateToInt(param.MinValue());
    const int32_t hi = TruncateToInt(param.MaxValue());
    auto p = std::make_unique<AAX_CParameter<int32_t>>(
        id, param.Name(), TruncateToInt(param.DefaultValue()), param.CanAutomate(),
        std::make_unique<AAX_CLinearTaperDelegate>(lo, hi),
        std::make_unique<AAX_CStringDisplayDelegate>(param));
    p->SetNumberOfSteps(static_cast<uint32_t>(param.DisplayTextCount()));
    p->SetType(kAaxDiscrete);
    return p;
  }
  auto p = std::make_unique<AAX_CParameter<double>>(
      id, param.Name(), param.DefaultValue(), param.CanAutomate(),
      std::make_unique<AAX_CPluginTaperDelegate>(param.MinValue(), param.MaxValue(), param.Shape()),
      std::make_unique<AAX_CUnitDisplayDelegateDecorator<double>>(
          std::make_unique<AAX_CNumberDisplayDelegate<double>>(2), param.LabelForHost()));
  p->SetNumberOfSteps(128);
  p->SetType(kAaxContinuous);
  return p;
}

}  // namespace

AAX_CPluginParameters::AAX_CPluginParameters(std::unique_ptr<PluginBase> plugin)
    : plugin_(std::move(plugin)) {
  plugin_->SetHostServices(this);
  plugin_->SetInputConnections(0, plugin_->InputCount(), true);
  plugin_->SetOutputConnections(0, plugin_->OutputCount(), true);
  plugin_->SetMaxBlockSize(kAaxBlockCapacity);
  plugin_->SetHost(kAaxHostName, 0);
}

AAX_CPluginParameters::~AAX_CPluginParameters() {
  // The plug-in goes first, while the parameters and proxies it may still reach exist.
  plugin_->SetHostServices(nullptr);
  plugin_.reset();
}

const char* AAX_CPluginParameters::ParameterId(int index) const {
  if (index < 0 || index >= static_cast<int>(parameterIds_.size())) return nullptr;
  return parameterIds_[index].c_str();
}

aax::Result AAX_CPluginParameters::EffectInit() {
  AddMasterBypassParameter();
  parameterIds_.clear();
  for (int i = 0; i < plugin_->ParamCount(); ++i) {
    char id[16];
    AaxParamId(i, id, sizeof(id));
    parameterIds_.emplace_back(id);
    Parameters().Add(MapParameter(id, *plugin_->GetParam(i)));
  }
  double rate = 0.0;
  const aax::Result result = Controller()->GetSampleRate(&rate);
  if (result != aax::kSuccess) return result;
  plugin_->Activate(rate, plugin_->MaxBlockSize());
  return aax::kSuccess;
}

void AAX_CPluginParameters::EffectUninit() {
  Lock lock(plugin_->Mutex());
  renderTransport_.Rebind(nullptr);
  plugin_->Deactivate();
}

aax::Result AAX_CPluginParameters::TimerWakeup() noexcept {
  try {
    plugin_->HostIdle();
  } catch (...) {
  }
  return aax::kSuccess;
}

void AAX_CPluginParameters::ParameterUpdated(const char* id, double normalized) {
  // "1" .. "12" name the plug-in's parameters; any other ID (the master bypass) names none.
  // The host answers the values the plug-in posts; the core keeps a value through that round
  // trip (see HostValueRule::kKeepEcho).
  const int index = ParamIndexFromAaxId(id, plugin_->ParamCount());
  if (index >= 0) plugin_->SetParameterFromHost(index, normalized, HostValueRule::kKeepEcho);
}

// ---------------------------------------------------------------- chunks

bool AAX_CPluginParameters::SaveChunk(ChunkBuffer* chunk) {
  return plugin_->SaveStateBytes(StateLayout::kBare, *chunk);
}

aax::Result AAX_CPluginParameters::GetNumberOfChunks(int32_t* count) noexcept {
  if (!count) return aax::kErrorNullObject;
  *count = 1;
  return aax::kSuccess;
}

aax::Result AAX_CPluginParameters::GetChunkIDFromIndex(int32_t index, uint32_t* chunkId) noexcept {
  if (!chunkId) return aax::kErrorNullObject;
  if (index != 0) {
    *chunkId = 0;
    return aax::kErrorInvalidChunkIndex;
  }
  *chunkId = static_cast<uint32_t>(plugin_->UniqueId());
  return aax::kSuccess;
}

aax::Result AAX_CPluginParameters::GetChunkSize(uint32_t chunkId, uint32_t* size) noexcept {
  if (!size) return aax::kErrorNullObject;
  *size = 0;
  if (chunkId != static_cast<uint32_t>(plugin_->UniqueId())) return aax::kErrorInvalidChunkId;
  try {
    ChunkBuffer chunk;
    if (!SaveChunk(&chunk)) return aax::kErrorInvalidChunkId;
    *size = static_cast<uint32_t>(chunk.Size());
    return aax::kSuccess;
  } catch (...) {
    return aax::kAcfUnexpected;
  }
}

aax::Result AAX_CPluginParameters::GetChunk(uint32_t chunkId, aax::ChunkRecord* chunk) noexcept {
  if (!chunk) return aax::kErrorNullObject;
  if (chunkId != static_cast<uint32_t>(plugin_->UniqueId())) return aax::kErrorInvalidChunkId;
  try {
    ChunkBuffer state;
    if (!SaveChunk(&state)) return aax::kErrorInvalidChunkId;
    // The record's size field is the room the host allocated: the state is never written
    // past it.
    if (chunk->size < state.Size()) return aax::kErrorInvalidChunkId;
    std::memcpy(reinterpret_cast<char*>(chunk) + aax::kChunkHeaderSize, state.Data(),
                static_cast<size_t>(state.Size()));
    chunk->size = state.Size();
    return aax::kSuccess;
  } catch (...) {
    return aax::kAcfUnexpected;
  }
}

aax::Result AAX_CPluginParameters::SetChunk(uint32_t chunkId,
                                            const aax::ChunkRecord* chunk) noexcept {
  if (!chunk) return aax::kErrorNullObject;
  if (chunkId != static_cast<uint32_t>(plugin_->UniqueId())) return aax::kErrorInvalidChunkId;
  try {
    Lock lock(plugin_->Mutex());
    // A malformed chunk leaves what the reader restored; the answer is success either way.
    plugin_->LoadStateBytes(StateLayout::kBare,
                            reinterpret_cast<const char*>(chunk) + aax::kChunkHeaderSize,
                            std::max(0, chunk->size));
    // The host's parameter values follow the loaded state. The requests carry the plug-in's
    // own normalised values rather than the AAX parameters' rounding of them (a bool or enum
    // may hold tenths), so the host's answers leave every value as the state holds it.
    AAX_VAutomationDelegate* automation = Automation();
    for (int i = 0; i < plugin_->ParamCount(); ++i) {
      const char* id = ParameterId(i);
      if (!id) continue;
      const double normalized = plugin_->ExpectHostEcho(i);
      if (automation && automation->Interface()) {
        automation->PostTouchRequest(id);
        automation->PostSetValueRequest(id, normalized);
        automation->PostReleaseRequest(id);
      } else {
        SetParameterNormalizedValue(id, normalized);
      }
    }
    AddChange();
    return aax::kSuccess;
  } catch (...) {
    return aax::kAcfUnexpected;
  }
}

aax::Result AAX_CPluginParameters::CompareActiveChunk(const aax::ChunkRecord* chunk,
                                                      bool* equal) noexcept {
  if (!chunk || !equal) return aax::kErrorNullObject;
  if (chunk->chunkId != static_cast<uint32_t>(plugin_->UniqueId())) {
    *equal = true;
    return aax::kSuccess;
  }
  try {
    *equal = plugin_->StateBytesMatch(StateLayout::kBare,
                                      reinterpret_cast<const char*>(chunk) + aax::kChunkHeaderSize,
                                      std::max(0, chunk->size));
    return aax::kSuccess;
  } catch (...) {
    return aax::kAcfUnexpected;
  }
}

// ---------------------------------------------------------------- render

void AAX_CPluginParameters::RenderAudio(void* const* context) noexcept {
  if (!context) return;
  PluginBase& p = *plugin_;
  Lock lock(p.Mutex());
  const bool bypass = MasterBypassed();

  int32_t inputFormat = 0, outputFormat = 0;
  if (AAX_VController* controller = Controller()) {
    controller->GetInputStemFormat(&inputFormat);
    controller->GetOutputStemFormat(&outputFormat);
  }
  const int nIn = std::min(aax::StemChannelCount(inputFormat), p.InputCount());
  const int nOut = std::min(aax::StemChannelCount(outputFormat), p.OutputCount());

  if (p.DoesMidi()) {
    const auto* node = static_cast<const aax::MidiNodeBuffer*>(context[aax::kFieldMidiIn]);
    if (node && node->packets) {
      for (uint32_t k = 0; k < node->packetCount; ++k) {
        const aax::MidiPacket& packet = node->packets[k];
        ShortMidiEvent event;
        event.offset = static_cast<int32_t>(std::min<uint32_t>(packet.timestamp, INT32_MAX));
        event.status = packet.data[0];
        event.data1 = packet.data[1];
        event.data2 = packet.data[2];
        p.OnMidiMessage(event);
      }
    }
  }

  renderTransport_.Rebind(static_cast<aax::ITransport*>(context[aax::kFieldTransport]));

  const auto* length = static_cast<const int32_t*>(context[aax::kFieldBufferLength]);
  const int nFrames = length ? *length : 0;
  if (nFrames <= 0) return;

  p.SetInputConnections(0, p.InputCount(), false);
  p.SetInputConnections(0, nIn, true);
  p.SetOutputConnections(0, nOut, true);
  p.SetOutputConnections(nOut, p.OutputCount() - nOut, false);

  // The block capacity set at construction stays: longer blocks are processed in slices by
  // the base, so a host that varies its buffer length resets and reallocates nothing.
  auto** inputs = static_cast<float**>(context[aax::kFieldAudioIn]);
  auto** outputs = static_cast<float**>(context[aax::kFieldAudioOut]);
  if (bypass) {
    p.ProcessPassThroughBlock(inputs, outputs, nFrames);
  } else {
    p.ProcessFloatBlock(inputs, outputs, nFrames, false);
  }
}

// ---------------------------------------------------------------- host services

void AAX_CPluginParameters::BeginParamEdit(int index) {
  if (const char* id = ParameterId(index)) TouchParameter(id);
}

void AAX_CPluginParameters::ReportParamChange(int index, double normalized) {
  if (const char* id = ParameterId(index)) SetParameterNormalizedValue(id, normalized);
}

void AAX_CPluginParameters::EndParamEdit(int index) {
  if (const char* id = ParameterId(index)) ReleaseParameter(id);
}

AAX_VTransport* AAX_CPluginParameters::CurrentTransport() {
  if (renderTransport_.Interface()) return &renderTransport_;
  return ControllerTransport();
}

int64_t AAX_CPluginParameters::HostSamplePosition() {
  int64_t sample = 0;
  if (AAX_VTransport* t = CurrentTransport()) t->GetCurrentNativeSampleLocation(&sample);
  return sample;
}

double AAX_CPluginParameters::HostTempo() {
  double bpm = 0.0;
  if (AAX_VTransport* t = CurrentTransport()) t->GetCurrentTempo(&bpm);
  return bpm;
}

void AAX_CPluginParameters::HostTimeSignature(int* num, int* den) {
  int32_t n = 0, d = 0;
  if (AAX_VTransport* t = CurrentTransport()) t->GetCurrentMeter(&n, &d);
  if (num) *num = n;
  if (den) *den = d;
}

void AAX_CPluginParameters::HostTransport(TransportInfo* info) {
  AAX_VTransport* t = CurrentTransport();
  if (!info || !t) return;
  constexpr double kTicks = static_cast<double>(aax::kTicksPerQuarterNote);
  double bpm = 0.0;
  if (t->GetCurrentTempo(&bpm) == aax::kSuccess) info->tempo = bpm;
  bool playing = false;
  if (t->IsTransportPlaying(&playing) == aax::kSuccess) info->playing = playing;
  int32_t num = 0, den = 0;
  if (t->GetCurrentMeter(&num, &den) == aax::kSuccess) {
    info->timeSigNumerator = num;
    info->timeSigDenominator = den;
  }
  int64_t ticks = 0;
  if (t->GetCurrentTickPosition(&ticks) == aax::kSuccess) {
    info->ppqPosition = static_cast<double>(ticks) / kTicks;
  }
  int64_t sample = 0;
  if (t->GetCurrentNativeSampleLocation(&sample) == aax::kSuccess) {
    info->samplePosition = static_cast<double>(sample);
  }
  bool looping = false;
  int64_t start = 0, end = 0;
  if (t->GetCurrentLoopPosition(&looping, &start, &end) == aax::kSuccess) {
    info->cycleActive = looping;
    info->cycleStart = static_cast<double>(start) / kTicks;
    info->cycleEnd = static_cast<double>(end) / kTicks;
  }
}

void AAX_CPluginParameters::ResizeEditor(int width, int height) {
  if (!plugin_->Editor()) return;
  if (viewContainer_) {
    aax::Point size;
    size.vertical = static_cast<float>(height);
    size.horizontal = static_cast<float>(width);
    viewContainer_->SetViewSize(size);
  }
  if (EditorSurfaceBridge* bridge = plugin_->SurfaceBridge())
    bridge->RecreateSurface(width, height);
}

void AAX_CPluginParameters::LatencyChanged(int samples) {
  if (AAX_VController* controller = Controller()) controller->SetSignalLatency(samples);
}

}  // namespace qd
