#include "formats/vst3/Vst3Plugin.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "formats/vst3/Vst3Text.h"
#include "formats/vst3/Vst3Ticker.h"
#include "formats/vst3/Vst3View.h"
#include "framework/Text.h"

#if defined(_WIN32)
#include <windows.h>

#include <utility>
#include <vector>
#endif

namespace qd::vst3 {

namespace {

using Lock = std::lock_guard<PluginMutex>;

// The editor's tick: 30 frames per second.
constexpr TimerInterval kTickMs = 33;
// Queues of one block the piecewise processing follows; queues past these are ignored.
constexpr int kMaxQueues = 64;

bool IsMainAudioBus(MediaType type, BusDirection dir, int32 index) {
  return type == kAudio && (dir == kInput || dir == kOutput) && index == 0;
}

int ChannelCount(SpeakerArrangement arrangement) {
  return arrangement == SpeakerArr::kMono ? 1 : 2;
}

// Writes all `size` bytes; false when the stream takes fewer.
bool WriteAll(IBStream* stream, const uint8_t* data, int size) {
  int done = 0;
  while (done < size) {
    int32 written = 0;
    const tresult result = stream->write(const_cast<uint8_t*>(data + done), size - done, &written);
    if (result != kResultOk || written <= 0 || written > size - done) return false;
    done += written;
  }
  return true;
}

template <typename Sample>
Sample** ChannelBuffers(AudioBusBuffers& bus);
template <>
float** ChannelBuffers<float>(AudioBusBuffers& bus) {
  return bus.channelBuffers32;
}
template <>
double** ChannelBuffers<double>(AudioBusBuffers& bus) {
  return bus.channelBuffers64;
}

void ProcessPiece(PluginBase& p, float** in, float** out, int frames) {
  p.ProcessFloatBlock(in, out, frames, false);
}
void ProcessPiece(PluginBase& p, double** in, double** out, int frames) {
  p.ProcessDoubleBlock(in, out, frames);
}

// Bypassed: the input reaches the output bit for bit (a mono input on both outputs); with
// no input the output is silent.
template <typename Sample>
void PassThrough(Sample** in, int inChannels, Sample** out, int outChannels, int frames) {
  for (int c = 0; c < outChannels; ++c) {
    if (!out[c]) continue;
    const Sample* src = inChannels > 0 ? in[std::min(c, inChannels - 1)] : nullptr;
    if (src) {
      std::memmove(out[c], src, sizeof(Sample) * static_cast<size_t>(frames));
    } else {
      std::fill(out[c], out[c] + frames, Sample(0));
    }
  }
}

// Where each input queue stands while a block is processed in pieces.
struct QueueCursor {
  IParamValueQueue* queue = nullptr;
  ParamID id = 0;
  int32 next = 0;   // the next point to apply
  int32 count = 0;  // the queue's points
};

}  // namespace

Plugin::Plugin(std::unique_ptr<PluginBase> plugin) : plugin_(std::move(plugin)) {
  PluginBase& p = *plugin_;
  p.SetHostServices(this);
  p.SetInputConnections(0, p.InputCount(), true);
  p.SetOutputConnections(0, p.OutputCount(), true);
  p.SetMaxBlockSize(maxBlock_);
}

Plugin::~Plugin() {
  DropRunLoop();
  if (handler_) handler_->release();
  if (hostContext_) hostContext_->release();
  plugin_->SetHostServices(nullptr);
  plugin_.reset();
}

// ---------------------------------------------------------------- FUnknown

tresult Plugin::queryInterface(const TUID iid, void** obj) {
  if (!obj) return kInvalidArgument;
  *obj = nullptr;
  if (SameUid(iid, FUnknown::kIid) || SameUid(iid, IPluginBase::kIid) ||
      SameUid(iid, IComponent::kIid)) {
    *obj = static_cast<IComponent*>(this);
  } else if (SameUid(iid, IAudioProcessor::kIid)) {
    *obj = static_cast<IAudioProcessor*>(this);
  } else if (SameUid(iid, IProcessContextRequirements::kIid)) {
    *obj = static_cast<IProcessContextRequirements*>(this);
  } else if (SameUid(iid, IEditController::kIid)) {
    *obj = static_cast<IEditController*>(this);
  } else {
    return kNoInterface;
  }
  addRef();
  return kResultOk;
}

uint32 Plugin::addRef() {
  return ++references_;
}

uint32 Plugin::release() {
  const uint32 left = --references_;
  if (left == 0) delete this;
  return left;
}

// ---------------------------------------------------------------- IPluginBase

tresult Plugin::initialize(FUnknown* context) {
  {
    Lock lock(plugin_->Mutex());
    // A host that initialises the component and the controller role of this one object
    // calls twice with the same context.
    if (initialized_) return context == hostContext_ ? kResultOk : kResultFalse;
    initialized_ = true;
    if (context) context->addRef();
    hostContext_ = context;
  }
  plugin_->IdentifyHost();
  plugin_->NotifyAllParamsChanged(kSourceHostOpen);
  UseRunLoop(context);
  return kResultOk;
}

tresult Plugin::terminate() {
  DropRunLoop();
  Lock lock(plugin_->Mutex());
  if (active_) {
    plugin_->Deactivate();
    active_ = false;
  }
  processing_ = false;
  if (handler_) handler_->release();
  handler_ = nullptr;
  if (hostContext_) hostContext_->release();
  hostContext_ = nullptr;
  initialized_ = false;
  return kResultOk;
}

bool Plugin::QueryHost() {
  if (!hostContext_) return false;
  IHostApplication* app = nullptr;
  if (hostContext_->queryInterface(IHostApplication::kIid.bytes, reinterpret_cast<void**>(&app)) !=
          kResultOk ||
      !app) {
    return false;
  }
  String128 wide{};
  char name[256] = {};
  if (app->getName(wide) == kResultOk) CopyToUtf8(name, sizeof(name), wide, 128);
  app->release();
  plugin_->SetHost(name, 0);
  return true;
}

// ---------------------------------------------------------------- IComponent

tresult Plugin::getControllerClassId(TUID) {
  return kNotImplemented;  // the component is its own controller
}

tresult Plugin::setIoMode(IoMode) {
  return kNotImplemented;
}

int32 Plugin::getBusCount(MediaType type, BusDirection dir) {
  return type == kAudio && (dir == kInput || dir == kOutput) ? 1 : 0;
}

tresult Plugin::getBusInfo(MediaType type, BusDirection dir, int32 index, BusInfo& bus) {
  if (!IsMainAudioBus(type, dir, index)) return kInvalidArgument;
  Lock lock(plugin_->Mutex());
  std::memset(&bus, 0, sizeof(bus));
  bus.mediaType = kAudio;
  bus.direction = dir;
  bus.channelCount = dir == kInput ? ChannelCount(inputArrangement_) : 2;
  const auto& labels = dir == kInput ? plugin_->InputBusLabels() : plugin_->OutputBusLabels();
  CopyToUtf16(bus.name,
              labels.empty() ? (dir == kInput ? "Input" : "Output") : labels.front().c_str());
  bus.busType = kMain;
  bus.flags = BusInfo::kDefaultActive;
  return kResultOk;
}

tresult Plugin::getRoutingInfo(RoutingInfo&, RoutingInfo&) {
  return kNotImplemented;
}

tresult Plugin::activateBus(MediaType type, BusDirection dir, int32 index, TBool state) {
  if (!IsMainAudioBus(type, dir, index)) return kInvalidArgument;
  Lock lock(plugin_->Mutex());
  (dir == kInput ? inputBusActive_ : outputBusActive_) = state != 0;
  return kResultOk;
}

tresult Plugin::setActive(TBool state) {
  Lock lock(plugin_->Mutex());
  if (state) {
    plugin_->Activate(sampleRate_, maxBlock_);
    active_ = true;
  } else if (active_) {
    plugin_->Deactivate();
    active_ = false;
    processing_ = false;
  }
  return kResultOk;
}

// ---------------------------------------------------------------- component state

bool Plugin::ReadStream(IBStream* stream) {
  incoming_.Clear();
  uint8_t buffer[4096];
  for (;;) {
    int32 got = 0;
    const tresult result = stream->read(buffer, sizeof(buffer), &got);
    if (got < 0 || got > static_cast<int32>(sizeof(buffer))) return false;
    if (got > 0) {
      if (incoming_.Size() + static_cast<int64_t>(got) > kMaxStateBytes) return false;
      incoming_.AppendBytes(buffer, got);
    }
    if (result != kResultOk || got == 0) return true;  // the end of the stream
  }
}

bool Plugin::IncomingHeaderIsValid() {
  int pos = 0;
  return plugin_->ReadStateHeader(incoming_, &pos) != 0 && pos >= 0;
}

tresult Plugin::LoadIncomingState() {
  PluginBase& p = *plugin_;
  if (!IncomingHeaderIsValid()) return kResultFalse;
  // A state that ends early is refused whole: what was there before stays.
  return p.LoadStateBytes(StateLayout::kProgram, incoming_.Data(), incoming_.Size(),
                          StateLoad::kAllOrNothing)
             ? kResultOk
             : kResultFalse;
}

tresult Plugin::LoadComponentState(IBStream* state) {
  if (!state) return kInvalidArgument;
  Lock lock(plugin_->Mutex());
  if (!ReadStream(state)) return kResultFalse;
  return LoadIncomingState();
}

tresult Plugin::SaveComponentState(IBStream* state) {
  if (!state) return kInvalidArgument;
  ChunkBuffer bytes;
  if (!plugin_->SaveStateBytes(StateLayout::kProgram, bytes)) return kInternalError;
  return WriteAll(state, bytes.Data(), bytes.Size()) ? kResultOk : kResultFalse;
}

// ---------------------------------------------------------------- IAudioProcessor

tresult Plugin::setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                   SpeakerArrangement* outputs, int32 numOuts) {
  if (numIns != 1 || numOuts != 1 || !inputs || !outputs) return kResultFalse;
  if (outputs[0] != SpeakerArr::kStereo) return kResultFalse;
  if (inputs[0] != SpeakerArr::kStereo && inputs[0] != SpeakerArr::kMono) return kResultFalse;
  Lock lock(plugin_->Mutex());
  if (active_) return kResultFalse;  // arrangements change only while inactive
  inputArrangement_ = inputs[0];
  ApplyConnections();
  return kResultTrue;
}

void Plugin::ApplyConnections() {
  PluginBase& p = *plugin_;
  const int n = ChannelCount(inputArrangement_);
  p.SetInputConnections(0, n, true);
  p.SetInputConnections(n, p.InputCount() - n, false);
}

tresult Plugin::getBusArrangement(BusDirection dir, int32 index, SpeakerArrangement& arr) {
  if (index != 0 || (dir != kInput && dir != kOutput)) return kInvalidArgument;
  Lock lock(plugin_->Mutex());
  arr = dir == kInput ? inputArrangement_ : SpeakerArr::kStereo;
  return kResultOk;
}

tresult Plugin::canProcessSampleSize(int32 symbolicSampleSize) {
  return symbolicSampleSize == kSample32 || symbolicSampleSize == kSample64 ? kResultTrue
                                                                            : kResultFalse;
}

uint32 Plugin::getLatencySamples() {
  return static_cast<uint32>(std::max(0, plugin_->Latency()));
}

uint32 Plugin::getTailSamples() {
  return static_cast<uint32>(std::max(0, plugin_->TailSize()));
}

tresult Plugin::setupProcessing(ProcessSetup& setup) {
  if (canProcessSampleSize(setup.symbolicSampleSize) != kResultTrue) return kResultFalse;
  if (!IsValidSampleRate(setup.sampleRate) || ValidBlockSize(setup.maxSamplesPerBlock) == 0) {
    return kInvalidArgument;
  }
  Lock lock(plugin_->Mutex());
  sampleSize_ = setup.symbolicSampleSize;
  sampleRate_ = setup.sampleRate;
  maxBlock_ = setup.maxSamplesPerBlock;
  // A host that sets up again while active gets the new setup at once.
  if (active_) plugin_->Activate(sampleRate_, maxBlock_);
  return kResultOk;
}

tresult Plugin::setProcessing(TBool state) {
  Lock lock(plugin_->Mutex());
  if (!active_) return kNotInitialized;
  processing_ = state != 0;
  return kResultOk;
}

uint32 Plugin::getProcessContextRequirements() {
  return IProcessContextRequirements::kNeedTempo;
}

tresult Plugin::process(ProcessData& data) {
  Lock lock(plugin_->Mutex());
  if (data.numSamples < 0) return kInvalidArgument;
  if (data.symbolicSampleSize != kSample32 && data.symbolicSampleSize != kSample64) {
    return kInvalidArgument;
  }
  if (!active_) {
    // Processing before activation: the host learns it, and its output holds silence.
    if (data.outputs && data.numOutputs > 0) {
      AudioBusBuffers& bus = data.outputs[0];
      for (int32 c = 0; bus.channelBuffers32 && c < std::min<int32>(bus.numChannels, 2); ++c) {
        if (data.symbolicSampleSize == kSample32 && bus.channelBuffers32[c]) {
          std::fill(bus.channelBuffers32[c], bus.channelBuffers32[c] + data.numSamples, 0.0f);
        } else if (data.symbolicSampleSize == kSample64 && bus.channelBuffers64[c]) {
          std::fill(bus.channelBuffers64[c], bus.channelBuffers64[c] + data.numSamples, 0.0);
        }
      }
    }
    return kNotInitialized;
  }
  const ProcessContext* context = data.processContext;
  tempo_ = context && (context->state & ProcessContext::kTempoValid) &&
                   std::isfinite(context->tempo) && context->tempo > 0.0
               ? context->tempo
               : 0.0;
  if (data.symbolicSampleSize == kSample32) {
    ProcessAudio<float>(data);
  } else {
    ProcessAudio<double>(data);
  }
  return kResultOk;
}

template <typename Sample>
void Plugin::ProcessAudio(ProcessData& data) {
  PluginBase& p = *plugin_;
  const int frames = data.numSamples;

  // The host's buses, as channel pointer arrays on the stack.
  Sample* in[2] = {nullptr, nullptr};
  Sample* out[2] = {nullptr, nullptr};
  int inChannels = 0, outChannels = 0;
  if (inputBusActive_ && data.inputs && data.numInputs > 0) {
    AudioBusBuffers& bus = data.inputs[0];
    if (Sample** buffers = ChannelBuffers<Sample>(bus)) {
      inChannels = std::clamp(bus.numChannels, 0, ChannelCount(inputArrangement_));
      for (int c = 0; c < inChannels; ++c) in[c] = buffers[c];
    }
  }
  AudioBusBuffers* outBus = nullptr;
  if (outputBusActive_ && data.outputs && data.numOutputs > 0) {
    outBus = &data.outputs[0];
    if (Sample** buffers = ChannelBuffers<Sample>(*outBus)) {
      outChannels = std::clamp(outBus->numChannels, 0, 2);
      for (int c = 0; c < outChannels; ++c) out[c] = buffers[c];
    }
  }

  // The input queues of parameters this plug-in has.
  QueueCursor cursors[kMaxQueues];
  int queues = 0;
  if (IParameterChanges* changes = data.inputParameterChanges) {
    const int32 count = changes->getParameterCount();
    for (int32 i = 0; i < count && queues < kMaxQueues; ++i) {
      IParamValueQueue* queue = changes->getParameterData(i);
      if (!queue) continue;
      const ParamID id = queue->getParameterId();
      if (IndexOf(id) < 0 && id != kBypassId) continue;
      cursors[queues++] = {queue, id, 0, std::max<int32>(0, queue->getPointCount())};
    }
  }
  // Applies every point at or before `at` and returns the offset of the next one after it
  // (or `frames`).
  const auto applyUpTo = [&](int64_t at) {
    int64_t nextOffset = frames;
    for (int q = 0; q < queues; ++q) {
      QueueCursor& cursor = cursors[q];
      while (cursor.next < cursor.count) {
        int32 offset = 0;
        ParamValue value = 0.0;
        if (cursor.queue->getPoint(cursor.next, offset, value) != kResultOk) {
          cursor.next = cursor.count;
          break;
        }
        if (offset > at) {
          nextOffset = std::min<int64_t>(nextOffset, offset);
          break;
        }
        if (cursor.id == kBypassId) {
          SetBypass(value);
        } else {
          p.SetParameterFromHost(IndexOf(cursor.id), value);
        }
        ++cursor.next;
      }
    }
    return nextOffset;
  };

  for (int pos = 0; pos < frames;) {
    const int end = static_cast<int>(std::clamp<int64_t>(applyUpTo(pos), pos + 1, frames));
    Sample* pieceIn[2] = {in[0] ? in[0] + pos : nullptr, in[1] ? in[1] + pos : nullptr};
    Sample* pieceOut[2] = {out[0] ? out[0] + pos : nullptr, out[1] ? out[1] + pos : nullptr};
    if (bypass_) {
      PassThrough(pieceIn, inChannels, pieceOut, outChannels, end - pos);
    } else if (outChannels > 0) {
      // A mono input is completed to stereo by the plug-in; a missing one reads as silence.
      ProcessPiece(p, pieceIn, pieceOut, end - pos);
    }
    pos = end;
  }
  // Points past the block (and every point of an empty block) take effect now.
  applyUpTo(INT64_MAX);

  if (outBus) {
    uint64 silent = 0;
    for (int c = 0; c < outChannels; ++c) {
      if (!out[c]) continue;
      bool zero = true;
      for (int k = 0; k < frames && zero; ++k) zero = out[c][k] == Sample(0);
      if (zero) silent |= uint64{1} << c;
    }
    outBus->silenceFlags = silent;
  }
}

// ---------------------------------------------------------------- IEditController

int Plugin::IndexOf(ParamID id) const {
  return id < static_cast<ParamID>(plugin_->ParamCount()) ? static_cast<int>(id) : -1;
}

int32 Plugin::getParameterCount() {
  return plugin_->ParamCount() + 1;
}

tresult Plugin::getParameterInfo(int32 paramIndex, ParameterInfo& info) {
  const int count = plugin_->ParamCount();
  if (paramIndex < 0 || paramIndex > count) return kInvalidArgument;
  std::memset(&info, 0, sizeof(info));
  info.unitId = kRootUnitId;
  if (paramIndex == count) {
    info.id = kBypassId;
    CopyToUtf16(info.title, "Bypass");
    CopyToUtf16(info.shortTitle, "Bypass");
    info.stepCount = 1;
    info.defaultNormalizedValue = 0.0;
    info.flags = ParameterInfo::kCanAutomate | ParameterInfo::kIsBypass;
    return kResultOk;
  }
  Lock lock(plugin_->Mutex());
  const PluginParam& param = *plugin_->GetParam(paramIndex);
  info.id = static_cast<ParamID>(paramIndex);
  CopyToUtf16(info.title, param.Name());
  CopyToUtf16(info.shortTitle, param.Name());
  CopyToUtf16(info.units, param.Label());
  // Switches have two values, the three-way choices three; the rest is continuous.
  info.stepCount = param.Kind() == kParamDouble
                       ? 0
                       : static_cast<int32>(std::lround(param.MaxValue() - param.MinValue()));
  info.defaultNormalizedValue = param.ToNormalized(param.DefaultValue());
  info.flags = (param.CanAutomate() ? ParameterInfo::kCanAutomate : 0) |
               (param.Kind() == kParamEnum ? ParameterInfo::kIsList : 0);
  return kResultOk;
}

tresult Plugin::getParamStringByValue(ParamID id, ParamValue valueNormalized, String128 string) {
  if (!string || std::isnan(valueNormalized)) return kInvalidArgument;
  char text[kParamTextSize];
  if (id == kBypassId) {
    CopyText(text, valueNormalized >= 0.5 ? "on" : "off");
  } else {
    // The text of the value the parameter takes from this normalised value.
    const int index = IndexOf(id);
    if (index < 0) return kInvalidArgument;
    const double plain = PlainValue(index, valueNormalized);
    if (!plugin_->FormatParameter(index, &plain, false, text, sizeof(text))) {
      return kInvalidArgument;
    }
  }
  CopyToUtf16(string, 128, text);
  return kResultOk;
}

tresult Plugin::getParamValueByString(ParamID id, TChar* string, ParamValue& valueNormalized) {
  if (!string) return kInvalidArgument;
  char text[256];
  CopyToUtf8(text, sizeof(text), string, 128);
  if (id == kBypassId) {
    if (std::strcmp(text, "on") == 0 || std::strcmp(text, "off") == 0) {
      valueNormalized = text[1] == 'n' ? 1.0 : 0.0;
      return kResultOk;
    }
    return kResultFalse;
  }
  const int index = IndexOf(id);
  if (index < 0) return kInvalidArgument;
  double value = 0.0;
  if (!plugin_->ParameterValueFromText(index, text, &value)) return kResultFalse;
  Lock lock(plugin_->Mutex());
  valueNormalized = plugin_->GetParam(index)->ToNormalized(value);
  return kResultOk;
}

ParamValue Plugin::normalizedParamToPlain(ParamID id, ParamValue valueNormalized) {
  const int index = IndexOf(id);
  if (index < 0) return id == kBypassId ? (valueNormalized >= 0.5 ? 1.0 : 0.0) : 0.0;
  return PlainValue(index, valueNormalized);
}

double Plugin::PlainValue(int index, double normalized) {
  Lock lock(plugin_->Mutex());
  // The value the parameter would take, from a copy of it.
  PluginParam param = *plugin_->GetParam(index);
  param.SetFromNormalized(normalized);
  return param.Value();
}

ParamValue Plugin::plainParamToNormalized(ParamID id, ParamValue plainValue) {
  const int index = IndexOf(id);
  if (index < 0) return id == kBypassId ? (plainValue >= 0.5 ? 1.0 : 0.0) : 0.0;
  if (std::isnan(plainValue)) return 0.0;
  Lock lock(plugin_->Mutex());
  return plugin_->GetParam(index)->ToNormalized(plainValue);
}

ParamValue Plugin::getParamNormalized(ParamID id) {
  Lock lock(plugin_->Mutex());
  if (id == kBypassId) return bypass_ ? 1.0 : 0.0;
  const int index = IndexOf(id);
  return index < 0 ? 0.0 : plugin_->GetParam(index)->Normalized();
}

tresult Plugin::setParamNormalized(ParamID id, ParamValue value) {
  if (std::isnan(value)) return kInvalidArgument;
  if (id == kBypassId) {
    Lock lock(plugin_->Mutex());
    SetBypass(value);
    return kResultOk;
  }
  return plugin_->SetParameterFromHost(IndexOf(id), value) ? kResultOk : kInvalidArgument;
}

tresult Plugin::setComponentState(IBStream* state) {
  // The component's state is this object's own: it is already in place when it matches.
  if (!state) return kInvalidArgument;
  Lock lock(plugin_->Mutex());
  if (!ReadStream(state) || !IncomingHeaderIsValid()) return kResultFalse;
  if (plugin_->StateBytesMatch(StateLayout::kProgram, incoming_.Data(), incoming_.Size())) {
    return kResultOk;
  }
  return LoadIncomingState();
}

// The controller keeps nothing of its own: its state is empty.
tresult Plugin::LoadControllerState(IBStream* state) {
  return state ? kResultOk : kInvalidArgument;
}

tresult Plugin::SaveControllerState(IBStream* state) {
  return state ? kResultOk : kInvalidArgument;
}

tresult Plugin::setComponentHandler(IComponentHandler* handler) {
  {
    Lock lock(plugin_->Mutex());
    if (handler == handler_) return kResultOk;
    if (handler) handler->addRef();
    if (handler_) handler_->release();
    handler_ = handler;
  }
  // Hosts on Linux offer their run loop on the component handler.
  if (handler) UseRunLoop(handler);
  return kResultOk;
}

IPlugView* Plugin::createView(FIDString name) {
  if (!name || std::strcmp(name, kEditorViewType) != 0) return nullptr;
  if (!plugin_->Editor()) return nullptr;
  try {
    return new View(this);
  } catch (...) {
    return nullptr;
  }
}

// ---------------------------------------------------------------- outgoing events

#if defined(_WIN32)
namespace {

// The thread timers of plug-ins, by timer ID: a timer message finds its plug-in here, and
// one that arrives after the plug-in let its timer go finds nothing.
std::mutex& TimerLock() {
  static std::mutex lock;
  return lock;
}
std::vector<std::pair<UINT_PTR, Plugin*>>& Timers() {
  static std::vector<std::pair<UINT_PTR, Plugin*>> timers;
  return timers;
}

void CALLBACK DeliveryTimer(HWND, UINT, UINT_PTR id, DWORD) {
  Plugin* plugin = nullptr;
  {
    std::lock_guard<std::mutex> lock(TimerLock());
    for (const auto& [timer, owner] : Timers()) {
      if (timer == id) plugin = owner;
    }
  }
  if (plugin) plugin->DeliverOutgoingEvents();
}

}  // namespace
#endif

void Plugin::UseRunLoop(FUnknown* source) {
#if defined(_WIN32)
  // Windows has no run loop interface: a timer of the calling (user-interface) thread's
  // message loop takes its place.
  (void)source;
  if (timer_) return;
  std::lock_guard<std::mutex> lock(TimerLock());
  timer_ = SetTimer(nullptr, 0, kTickMs, &DeliveryTimer);
  if (timer_) Timers().emplace_back(timer_, this);
#else
  if (!source || runLoop_) return;
  IRunLoop* loop = nullptr;
  if (source->queryInterface(IRunLoop::kIid.bytes, reinterpret_cast<void**>(&loop)) != kResultOk ||
      !loop) {
    return;
  }
  auto* ticker =
      new Ticker([](void* self) { static_cast<Plugin*>(self)->DeliverOutgoingEvents(); }, this);
  if (loop->registerTimer(ticker, kTickMs) != kResultOk) {
    ticker->Detach();
    loop->release();
    return;
  }
  runLoop_ = loop;
  ticker_ = ticker;
#endif
}

void Plugin::DropRunLoop() {
#if defined(_WIN32)
  if (timer_) {
    std::lock_guard<std::mutex> lock(TimerLock());
    KillTimer(nullptr, timer_);
    auto& timers = Timers();
    timers.erase(std::remove_if(timers.begin(), timers.end(),
                                [this](const auto& t) { return t.second == this; }),
                 timers.end());
    timer_ = 0;
  }
#endif
  if (!runLoop_) return;
  IRunLoop* loop = runLoop_;
  runLoop_ = nullptr;
  loop->unregisterTimer(ticker_);
  ticker_->Detach();
  ticker_ = nullptr;
  loop->release();
}

void Plugin::DeliverOutgoingEvents() {
  plugin_->HostIdle();
  IComponentHandler* handler = nullptr;
  {
    Lock lock(plugin_->Mutex());
    handler = handler_;
    if (handler) handler->addRef();
  }
  plugin_->DrainOutgoingEvents([handler](const OutgoingEvent& e) {
    if (!handler) return;  // no one to tell: the event is dropped
    const auto id = static_cast<ParamID>(e.index);
    switch (e.kind) {
      case OutgoingEvent::kBeginEdit:
        handler->beginEdit(id);
        break;
      case OutgoingEvent::kValue:
        handler->performEdit(id, e.normalized);
        break;
      case OutgoingEvent::kEndEdit:
        handler->endEdit(id);
        break;
    }
  });
  if (handler) handler->release();
}

bool Plugin::ClaimEditor(View* view) {
  Lock lock(plugin_->Mutex());
  if (view_ && view_ != view) return false;
  view_ = view;
  return true;
}

void Plugin::ReleaseEditor(View* view) {
  Lock lock(plugin_->Mutex());
  if (view_ == view) view_ = nullptr;
}

}  // namespace qd::vst3
