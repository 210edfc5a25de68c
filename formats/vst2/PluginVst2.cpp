#include "formats/vst2/PluginVst2.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>

#include "framework/Text.h"

namespace qd {

using namespace vst2;

namespace {

using Lock = std::lock_guard<PluginMutex>;

constexpr intptr_t kIdentifyAnswer = 0x4E764566;  // 'NvEf'
constexpr intptr_t kVendorSpecificAnswer = 0xBEEF;
constexpr intptr_t kHostExtensionAnswer = 0xBEEF0000;  // "yes" to a host-extension query

int32_t ArrangementType(int channels) {
  switch (channels) {
    case 0:
      return kSpeakerArrEmpty;
    case 1:
      return kSpeakerArrMono;
    case 2:
      return kSpeakerArrStereo;
    default:
      return kSpeakerArrUserDefined;
  }
}

int16_t ToInt16(int v) {
  return static_cast<int16_t>(std::clamp(v, 0, static_cast<int>(INT16_MAX)));
}

// A host's intptr_t argument as an index: values outside int answer as -1 (invalid).
int ToIndex(intptr_t value) {
  if (value < 0 || value > std::numeric_limits<int>::max()) return -1;
  return static_cast<int>(value);
}

}  // namespace

PluginVst2::PluginVst2(HostCallback hostCallback, std::unique_ptr<PluginBase> plugin)
    : plugin_(std::move(plugin)), hostCallback_(hostCallback) {
  PluginBase& p = *plugin_;

  effect_.magic = kEffectMagic;
  effect_.dispatcher = &DispatcherEntry;
  effect_.process = &ProcessAccumulatingEntry;
  effect_.setParameter = &SetParameterEntry;
  effect_.getParameter = &GetParameterEntry;
  effect_.numPrograms = p.PresetCount();
  effect_.numParams = p.ParamCount();
  effect_.numInputs = p.InputCount();
  effect_.numOutputs = p.OutputCount();
  int32_t flags = kEffFlagsCanReplacing | kEffFlagsCanDoubleReplacing;
  if (p.DoesChunks()) flags |= kEffFlagsProgramChunks;
  if (p.LegalIO(1, -1)) flags |= kEffFlagsCanMono;
  if (p.IsInstrument()) flags |= kEffFlagsIsSynth;
  effect_.flags = flags;
  effect_.initialDelay = p.Latency();
  effect_.ioRatio = 1.0f;
  effect_.object = this;
  effect_.uniqueID = p.UniqueId();
  effect_.version = p.EffectVersion(true);
  effect_.processReplacing = &ProcessReplacingEntry;
  effect_.processDoubleReplacing = &ProcessDoubleReplacingEntry;

  UpdateChannelCounts();
  p.SetInputConnections(0, p.InputCount(), true);
  p.SetOutputConnections(0, p.OutputCount(), true);
  p.SetMaxBlockSize(1024);

  p.SetHostServices(this);
  // The plug-in's constructor attaches its editor before this binding exists.
  if (p.Editor()) EditorAttached(p.Editor());
}

PluginVst2::~PluginVst2() {
  plugin_->SetHostServices(nullptr);
  plugin_.reset();
}

void PluginVst2::FinishCreation() {
  Lock lock(plugin_->Mutex());
  plugin_->FillEmptyPresets();
  effect_.numPrograms = std::max(effect_.numPrograms, 1);
}

PluginVst2* PluginVst2::FromEffect(AEffect* effect) {
  if (!effect || effect->magic != kEffectMagic) return nullptr;
  return static_cast<PluginVst2*>(effect->object);
}

void PluginVst2::UpdateChannelCounts() {
  effect_.numInputs = plugin_->InputCount();
  effect_.numOutputs = plugin_->OutputCount();
  inputArrangement_.type = ArrangementType(effect_.numInputs);
  inputArrangement_.numChannels = effect_.numInputs;
  outputArrangement_.type = ArrangementType(effect_.numOutputs);
  outputArrangement_.numChannels = effect_.numOutputs;
}

// ---------------------------------------------------------------- C entry points

intptr_t PluginVst2::DispatcherEntry(AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                                     void* ptr, float opt) {
  try {
    PluginVst2* self = FromEffect(effect);
    if (!self) return 0;
    if (opcode == effClose) {
      {
        Lock lock(self->plugin_->Mutex());  // waits for a block or an editor call to finish
      }
      delete self;
      return 0;
    }
    intptr_t result = 0;
    {
      Lock lock(self->plugin_->Mutex());
      result = self->Dispatch(opcode, index, value, ptr, opt);
    }
    // The editor's idle work (events, drawing, a modal pop-up menu) runs outside the plug-in
    // mutex so that the audio thread never waits for the user; the editor takes the mutex
    // itself where it reads or changes parameters.
    if (opcode == effEditIdle) {
      PluginEditor* editor = self->plugin_->Editor();
      if (editor && editor->WindowIsOpen()) editor->Idle();
    }
    return result;
  } catch (...) {
    return 0;
  }
}

float PluginVst2::GetParameterEntry(AEffect* effect, int32_t index) {
  try {
    PluginVst2* self = FromEffect(effect);
    return self ? self->GetParameter(index) : 0.0f;
  } catch (...) {
    return 0.0f;
  }
}

void PluginVst2::SetParameterEntry(AEffect* effect, int32_t index, float value) {
  try {
    if (PluginVst2* self = FromEffect(effect)) self->SetParameter(index, value);
  } catch (...) {
  }
}

void PluginVst2::ProcessAccumulatingEntry(AEffect* effect, float** inputs, float** outputs,
                                          int32_t frames) {
  try {
    PluginVst2* self = FromEffect(effect);
    if (!self) return;
    Lock lock(self->plugin_->Mutex());
    self->AnnounceMidiInterest();
    self->plugin_->ProcessFloatBlock(inputs, outputs, frames, true);
  } catch (...) {
  }
}

void PluginVst2::ProcessReplacingEntry(AEffect* effect, float** inputs, float** outputs,
                                       int32_t frames) {
  try {
    PluginVst2* self = FromEffect(effect);
    if (!self) return;
    Lock lock(self->plugin_->Mutex());
    self->AnnounceMidiInterest();
    self->plugin_->ProcessFloatBlock(inputs, outputs, frames, false);
  } catch (...) {
  }
}

void PluginVst2::ProcessDoubleReplacingEntry(AEffect* effect, double** inputs, double** outputs,
                                             int32_t frames) {
  try {
    PluginVst2* self = FromEffect(effect);
    if (!self) return;
    Lock lock(self->plugin_->Mutex());
    self->AnnounceMidiInterest();
    self->plugin_->ProcessDoubleBlock(inputs, outputs, frames);
  } catch (...) {
  }
}

void PluginVst2::AnnounceMidiInterest() {
  if (plugin_->DoesMidi()) CallHost(audioMasterWantMidi);
}

// ---------------------------------------------------------------- parameters

float PluginVst2::GetParameter(int32_t index) {
  Lock lock(plugin_->Mutex());
  const PluginParam* param = plugin_->GetParam(index);
  return param ? static_cast<float>(param->Normalized()) : 0.0f;
}

void PluginVst2::SetParameter(int32_t index, float value) {
  plugin_->SetParameterFromHost(index, value, HostValueRule::kSnap);
}

// ---------------------------------------------------------------- dispatcher

intptr_t PluginVst2::Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
  PluginBase& p = *plugin_;
  char* text = static_cast<char*>(ptr);
  switch (opcode) {
    case effOpen:
      OnBindingOpened();
      p.HostOpened();
      return 0;
    case effSetProgram:
      if (!p.DoesChunks()) p.ModifyCurrentPreset(nullptr);
      p.SelectPreset(ToIndex(value));
      return 0;
    case effGetProgram:
      return p.CurrentPreset();
    case effSetProgramName:
      if (text) {
        p.ModifyCurrentPreset(text);
      }
      return 0;
    case effGetProgramName:
      if (text) CopyText(text, kPresetNameSize, p.PresetName(p.CurrentPreset()));
      return 0;
    case effGetParamLabel:
      if (const PluginParam* param = p.GetParam(index); param && text) {
        CopyText(text, kParamTextSize, param->LabelForHost());
      }
      return 0;
    case effGetParamDisplay:
      if (text) p.FormatParameter(index, nullptr, false, text, kParamTextSize);
      return 0;
    case effGetParamName:
      if (const PluginParam* param = p.GetParam(index); param && text) {
        CopyText(text, kParamTextSize, param->Name());
      }
      return 0;
    case effSetSampleRate:
      p.Activate(opt, p.MaxBlockSize());
      return 0;
    case effSetBlockSize:
      p.Activate(p.SampleRate(), value);
      return 0;
    case effMainsChanged:
      if (value == 0) {
        p.Suspend();
      } else {
        p.Resume();
      }
      return 0;
    case effEditGetRect:
      if (!ptr || !p.Editor()) return 0;
      *static_cast<ERect**>(ptr) = &editRect_;
      return 1;
    case effEditOpen:
      if (PluginEditor* editor = p.Editor()) {
        if (editor->OpenWindow(ptr)) return 1;
      }
      return 0;
    case effEditClose:
      if (PluginEditor* editor = p.Editor()) {
        editor->CloseWindow();
        return 1;
      }
      return 0;
    case effEditIdle:
      p.HostIdle();  // the editor's idle follows in DispatcherEntry, without the mutex
      return 0;
    case effIdentify:
      return kIdentifyAnswer;
    case effGetChunk:
      return GetChunk(index != 0, ptr);
    case effSetChunk:
      return SetChunk(index != 0, value, ptr);
    case effProcessEvents:
      return ProcessEvents(static_cast<const VstEvents*>(ptr));
    case effCanBeAutomated:
      return 1;
    case effString2Parameter:
      return String2Parameter(index, text);
    case effGetProgramNameIndexed: {
      if (!text) return 0;
      CopyText(text, kPresetNameSize, p.PresetName(index));
      return text[0] != '\0' ? 1 : 0;
    }
    case effGetInputProperties:
      return PinProperties(true, index, ptr);
    case effGetOutputProperties:
      return PinProperties(false, index, ptr);
    case effGetPlugCategory:
      return p.IsInstrument() ? kPlugCategSynth : kPlugCategEffect;
    case effProcessVarIo:
      return 0;
    case effSetSpeakerArrangement:
      return SetSpeakerArrangement(reinterpret_cast<const VstSpeakerArrangement*>(value),
                                   static_cast<const VstSpeakerArrangement*>(ptr));
    case effGetEffectName:
      if (!text) return 0;
      CopyText(text, kPluginNameSize, p.EffectName());
      return 1;
    case effGetVendorString:
      if (!text) return 0;
      CopyText(text, kPluginNameSize, p.MakerName());
      return 1;
    case effGetProductString:
      if (!text) return 0;
      CopyText(text, kPluginNameSize, p.ProductName());
      return 1;
    case effGetVendorVersion:
      return p.EffectVersion(true);
    case effVendorSpecific:
      return VendorSpecific(index, value, ptr, opt);
    case effCanDo:
      return CanDo(text);
    case effGetTailSize:
      return p.TailSize();
    case effIdle:
      p.HostIdle();
      return 0;
    case effGetVstVersion:
      return kVstVersion;
    case effGetMidiKeyName: {
      auto* key = static_cast<MidiKeyName*>(ptr);
      if (!key) return 0;
      std::memset(key->keyName, 0, sizeof(key->keyName));  // the plug-in names no notes
      return 0;
    }
    case effGetSpeakerArrangement:
      if (value) *reinterpret_cast<VstSpeakerArrangement**>(value) = &inputArrangement_;
      if (ptr) *static_cast<VstSpeakerArrangement**>(ptr) = &outputArrangement_;
      return 1;
    default:
      return 0;
  }
}

void PluginVst2::OnBindingOpened() {
  if (opened_) return;
  opened_ = true;
  const HostId host = plugin_->IdentifyHost();
  // These hosts hand over more input buffers than they fill: only the first pair is read.
  if (host == 15 || host == 17 || host == 18 || host == 20) {
    plugin_->SetInputConnections(2, plugin_->InputCount() - 2, false);
    plugin_->SetOutputConnections(2, plugin_->OutputCount() - 2, true);
  }
  UpdateChannelCounts();
}

intptr_t PluginVst2::GetChunk(bool program, void* ptr) {
  if (!ptr) return 0;
  ChunkBuffer& chunk = program ? programChunk_ : bankChunk_;
  if (!plugin_->SaveStateBytes(program ? StateLayout::kProgram : StateLayout::kBank, chunk)) {
    return 0;
  }
  *static_cast<void**>(ptr) = chunk.Data();
  return chunk.Size();
}

intptr_t PluginVst2::SetChunk(bool program, intptr_t size, const void* ptr) {
  const StateLayout layout = program ? StateLayout::kProgram : StateLayout::kBank;
  return plugin_->LoadStateBytes(layout, ptr, static_cast<int64_t>(size)) ? 1 : 0;
}

intptr_t PluginVst2::String2Parameter(int index, const char* text) {
  if (!plugin_->GetParam(index)) return 0;
  if (!text) return 1;  // the host asks whether the parameter takes text
  return plugin_->SetParameterFromText(index, text) ? 1 : 0;
}

intptr_t PluginVst2::PinProperties(bool input, int index, void* ptr) {
  PluginBase& p = *plugin_;
  const int count = input ? p.InputCount() : p.OutputCount();
  if (!ptr || index < 0 || index >= count) return 0;
  auto* pin = static_cast<VstPinProperties*>(ptr);
  std::memset(pin, 0, sizeof(*pin));
  const bool firstOfPair = index % 2 == 0 && index < count - 1;
  pin->flags = kVstPinIsActive | (firstOfPair ? kVstPinIsStereo : 0);
  const bool inPair = firstOfPair || index % 2 == 1;
  pin->arrangementType = inPair ? kSpeakerArrStereo : kSpeakerArrMono;
  const char* label = input ? p.InputLabel(index) : p.OutputLabel(index);
  if (label[0] != '\0') {
    std::snprintf(pin->label, sizeof(pin->label), "%s", label);
  } else {
    std::snprintf(pin->label, sizeof(pin->label), input ? "Input %d" : "Output %d", index + 1);
  }
  std::snprintf(pin->shortLabel, sizeof(pin->shortLabel), input ? "In %d" : "Out %d", index + 1);
  return 1;
}

intptr_t PluginVst2::SetSpeakerArrangement(const VstSpeakerArrangement* in,
                                           const VstSpeakerArrangement* out) {
  PluginBase& p = *plugin_;
  if (in) {
    const int n = std::clamp(in->numChannels, 0, p.InputCount());
    p.SetInputConnections(0, n, true);
    p.SetInputConnections(n, p.InputCount() - n, false);
  }
  if (out) {
    const int n = std::clamp(out->numChannels, 0, p.OutputCount());
    p.SetOutputConnections(0, n, true);
    p.SetOutputConnections(n, p.OutputCount() - n, false);
  }
  return 1;
}

intptr_t PluginVst2::VendorSpecific(int index, intptr_t value, void* ptr, float opt) {
  const PluginParam* param = plugin_->GetParam(ToIndex(value));
  switch (index) {
    case 7:
      if (!ptr) return 0;
      if (param) {
        const double normalized = opt;
        plugin_->FormatParameter(ToIndex(value), &normalized, true, static_cast<char*>(ptr),
                                 kParamTextSize);
      }
      return kVendorSpecificAnswer;
    case 8:
      return (param && param->Kind() != kParamDouble) ? kVendorSpecificAnswer : 0;
    default:
      return 0;
  }
}

intptr_t PluginVst2::CanDo(const char* text) {
  if (!text) return 0;
  const auto is = [text](const char* entry) { return std::strcmp(text, entry) == 0; };
  if (is("receiveVstTimeInfo")) return 1;
  if (plugin_->DoesMidi() && (is("sendVstEvents") || is("sendVstMidiEvent") ||
                              is("receiveVstEvents") || is("receiveVstMidiEvent"))) {
    return 1;
  }
  if (is("hasCockosExtensions")) {
    hostExtensionFlags_ |= 1;
    return kHostExtensionAnswer;
  }
  if (is("hasCockosViewAsConfig")) {
    hostExtensionFlags_ |= 2;
    return kHostExtensionAnswer;
  }
  return 0;
}

intptr_t PluginVst2::ProcessEvents(const VstEvents* events) {
  if (!events) return 0;
  for (int32_t i = 0; i < events->numEvents; ++i) {
    const VstEvent* event = events->events[i];
    if (!event) continue;
    if (event->type == kVstMidiType) {
      const auto* midi = reinterpret_cast<const VstMidiEvent*>(event);
      ShortMidiEvent message;
      message.offset = midi->deltaFrames;
      message.status = static_cast<uint8_t>(midi->midiData[0]);
      message.data1 = static_cast<uint8_t>(midi->midiData[1]);
      message.data2 = static_cast<uint8_t>(midi->midiData[2]);
      plugin_->OnMidiMessage(message);
    }
  }
  return 1;
}

// ---------------------------------------------------------------- host services

intptr_t PluginVst2::CallHost(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
  return hostCallback_ ? hostCallback_(&effect_, opcode, index, value, ptr, opt) : 0;
}

const VstTimeInfo* PluginVst2::HostTimeInfo(int32_t request) {
  return reinterpret_cast<const VstTimeInfo*>(CallHost(audioMasterGetTime, 0, request));
}

void PluginVst2::BeginParamEdit(int index) {
  CallHost(audioMasterBeginEdit, index);
}

void PluginVst2::ReportParamChange(int index, double normalized) {
  CallHost(audioMasterAutomate, index, 0, nullptr, static_cast<float>(normalized));
}

void PluginVst2::EndParamEdit(int index) {
  CallHost(audioMasterEndEdit, index);
}

void PluginVst2::ReportPresetChange() {
  CallHost(audioMasterUpdateDisplay);
}

bool PluginVst2::HostIsOffline() {
  return CallHost(audioMasterGetCurrentProcessLevel) == kVstProcessLevelOffline;
}

int64_t PluginVst2::HostSamplePosition() {
  const VstTimeInfo* info = HostTimeInfo(0);
  if (!info) return 0;
  const double position = info->samplePos;
  if (!(position >= 0.0)) return 0;
  if (position >= 9.2e18) return std::numeric_limits<int64_t>::max();
  return static_cast<int64_t>(position + 0.5);
}

double PluginVst2::HostTempo() {
  const VstTimeInfo* info = HostTimeInfo(kVstTempoValid);
  if (!info || !(info->flags & kVstTempoValid)) return 0.0;
  // An infinite tempo is as meaningless as a negative one.
  if (!(info->tempo >= 0.0) || !std::isfinite(info->tempo)) return 0.0;
  return info->tempo;
}

void PluginVst2::HostTimeSignature(int* num, int* den) {
  if (num) *num = 0;
  if (den) *den = 0;
  const VstTimeInfo* info = HostTimeInfo(kVstTimeSigValid);
  if (!info || !(info->flags & kVstTimeSigValid)) return;
  if (info->timeSigNumerator < 0 || info->timeSigDenominator < 0) return;
  if (num) *num = info->timeSigNumerator;
  if (den) *den = info->timeSigDenominator;
}

void PluginVst2::HostTransport(TransportInfo* out) {
  constexpr int32_t kRequest = kVstPpqPosValid | kVstTempoValid | kVstBarsValid |
                               kVstCyclePosValid | kVstTimeSigValid;  // 0x3E00
  const VstTimeInfo* info = HostTimeInfo(kRequest);
  if (!out || !info || !(info->flags & kRequest)) return;
  const int32_t flags = info->flags;
  out->samplePosition = info->samplePos;
  if ((flags & kVstPpqPosValid) && info->ppqPos >= 0.0) out->ppqPosition = info->ppqPos;
  if ((flags & kVstTempoValid) && info->tempo > 0.0) out->tempo = info->tempo;
  if ((flags & kVstBarsValid) && info->barStartPos >= 0.0) {
    out->lastBarStart = info->barStartPos;
  }
  if ((flags & kVstCyclePosValid) && info->cycleStartPos >= 0.0 && info->cycleEndPos >= 0.0) {
    out->cycleStart = info->cycleStartPos;
    out->cycleEnd = info->cycleEndPos;
  }
  if ((flags & kVstTimeSigValid) && info->timeSigNumerator > 0 && info->timeSigDenominator > 0) {
    out->timeSigNumerator = info->timeSigNumerator;
    out->timeSigDenominator = info->timeSigDenominator;
  }
  out->playing = (flags & kVstTransportPlaying) != 0;
  out->cycleActive = (flags & kVstTransportCycleActive) != 0;
}

bool PluginVst2::QueryHost() {
  char name[256];
  name[0] = '\0';
  CallHost(audioMasterGetProductString, 0, 0, name);
  name[sizeof(name) - 1] = '\0';  // a host that fills the buffer without a terminator
  int32_t version = 0;
  if (name[0] != '\0') {
    // A decimal MMmmpp becomes 0xMMmmpp.
    const int64_t v = CallHost(audioMasterGetVendorVersion);
    const int64_t packed = (v / 10000) * 65536 + ((v % 10000) / 100) * 256 + v % 100;
    version = static_cast<int32_t>(static_cast<uint32_t>(packed));
  }
  plugin_->SetHost(name, version);
  return true;
}

void PluginVst2::ResizeEditor(int width, int height) {
  if (!plugin_->Editor()) return;
  editRect_ = {0, 0, ToInt16(height), ToInt16(width)};
  if (EditorSurfaceBridge* bridge = plugin_->SurfaceBridge()) {
    bridge->RecreateSurface(width, height);
  }
}

bool PluginVst2::SendMidiToHost(const ShortMidiEvent& event) {
  VstMidiEvent midi{};
  midi.type = kVstMidiType;
  midi.byteSize = sizeof(VstMidiEvent);
  midi.deltaFrames = event.offset;
  midi.midiData[0] = static_cast<char>(event.status);
  midi.midiData[1] = static_cast<char>(event.data1);
  midi.midiData[2] = static_cast<char>(event.data2);
  VstEvents events{};
  events.numEvents = 1;
  events.events[0] = reinterpret_cast<VstEvent*>(&midi);
  return CallHost(audioMasterProcessEvents, 0, 0, &events) == 1;
}

bool PluginVst2::SendSysExToHost(const SysExEvent& event) {
  VstMidiSysexEvent sysex{};
  sysex.type = kVstSysExType;
  sysex.byteSize = sizeof(VstMidiSysexEvent);
  sysex.deltaFrames = event.offset;
  sysex.dumpBytes = event.size;
  sysex.sysexDump = reinterpret_cast<char*>(const_cast<uint8_t*>(event.bytes));
  VstEvents events{};
  events.numEvents = 1;
  events.events[0] = reinterpret_cast<VstEvent*>(&sysex);
  return CallHost(audioMasterProcessEvents, 0, 0, &events) == 1;
}

void PluginVst2::EditorAttached(PluginEditor* editor) {
  if (!editor) return;
  effect_.flags |= kEffFlagsHasEditor;
  editRect_ = {0, 0, ToInt16(editor->Height()), ToInt16(editor->Width())};
}

void PluginVst2::LatencyChanged(int samples) {
  effect_.initialDelay = samples;
}

}  // namespace qd
