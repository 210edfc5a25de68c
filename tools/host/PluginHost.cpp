#include "tools/host/PluginHost.h"

#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "tools/host/HostError.h"

namespace qd::host {

using namespace vst2;

namespace {

// The instance being created: a plug-in may call the host before the host knows its
// AEffect (the `user` field is set right after the entry point returns).
thread_local HostedPlugin* creating = nullptr;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

HostedPlugin::HostedPlugin(const std::string& path) : path_(path) {
  // A path without a slash would make dlopen search the library path instead of the file.
  const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
  // The module stays mapped until the host exits: a plug-in's libraries (font configuration,
  // window system) keep process-wide state that must not vanish under them.
  module_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (!module_) {
    const char* why = dlerror();
    throw HostError("cannot load plug-in '" + path + "': " + (why ? why : "unknown error"));
  }
  auto entry = reinterpret_cast<EntryProc>(dlsym(module_, "VSTPluginMain"));
  if (!entry) entry = reinterpret_cast<EntryProc>(dlsym(module_, "main"));
  if (!entry) {
    dlclose(module_);
    throw HostError("'" + path +
                    "' is not a VST2 plug-in: it exports neither VSTPluginMain nor main");
  }
  creating = this;
  effect_ = entry(&HostedPlugin::Callback);
  creating = nullptr;
  if (!effect_ || effect_->magic != kEffectMagic || !effect_->dispatcher) {
    effect_ = nullptr;
    dlclose(module_);
    throw HostError("plug-in '" + path + "' did not create an instance");
  }
  effect_->user = this;
  if (effect_->numInputs < 0 || effect_->numOutputs < 0 || effect_->numParams < 0 ||
      effect_->numInputs > 64 || effect_->numOutputs > 64) {
    Dispatch(effClose);
    effect_ = nullptr;
    dlclose(module_);
    throw HostError("plug-in '" + path + "' declares an unusable channel or parameter count");
  }
  Dispatch(effOpen);
}

HostedPlugin::~HostedPlugin() {
  if (effect_) {
    Stop();
    Dispatch(effClose);
  }
  if (module_) dlclose(module_);
}

intptr_t HostedPlugin::Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                float opt) {
  return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

intptr_t HostedPlugin::Callback(AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                                void* ptr, float opt) {
  HostedPlugin* host = effect ? static_cast<HostedPlugin*>(effect->user) : nullptr;
  if (!host) host = creating;
  if (!host) return opcode == audioMasterVersion ? kVstVersion : 0;
  return host->Answer(opcode, index, value, ptr, opt);
}

intptr_t HostedPlugin::Answer(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
  (void)value;
  switch (opcode) {
    case audioMasterAutomate: {
      AutomationRecord& r = automation_[index];
      ++r.changes;
      r.last = opt;
      return 0;
    }
    case audioMasterBeginEdit:
      ++automation_[index].gestures;
      return 0;
    case audioMasterEndEdit:
    case audioMasterUpdateDisplay:
    case audioMasterIOChanged:
      return 0;
    case audioMasterVersion:
      return kVstVersion;
    case audioMasterWantMidi:
      return 1;
    case audioMasterGetTime:
      ++timeRequests_;
      return reinterpret_cast<intptr_t>(&time_);
    case audioMasterProcessEvents:
      return 0;  // this host has no MIDI destination
    case audioMasterGetSampleRate:
      return static_cast<intptr_t>(time_.sampleRate);
    case audioMasterGetBlockSize:
      return blockSize_;
    case audioMasterGetCurrentProcessLevel:
      return running_ ? (offline_ ? kVstProcessLevelOffline : kVstProcessLevelRealtime)
                      : kVstProcessLevelUser;
    case audioMasterGetVendorString:
      if (ptr) std::snprintf(static_cast<char*>(ptr), 64, "%s", "Quarlo");
      return 1;
    case audioMasterGetProductString:
      if (ptr) std::snprintf(static_cast<char*>(ptr), 64, "%s", kHostProductName);
      return 1;
    case audioMasterGetVendorVersion:
      return kHostVersion;
    case audioMasterCanDo: {
      const char* text = static_cast<const char*>(ptr);
      if (!text) return 0;
      for (const char* yes : {"sendVstTimeInfo", "sendVstEvents", "sendVstMidiEvent", "supplyIdle",
                              "startStopProcess"}) {
        if (std::strcmp(text, yes) == 0) return 1;
      }
      return 0;
    }
    default:
      return 0;
  }
}

std::string HostedPlugin::Text(int32_t opcode, int32_t index) {
  // Larger than any text a well-behaved plug-in writes, and terminated whatever it writes.
  char text[1024];
  std::memset(text, 0, sizeof(text));
  Dispatch(opcode, index, 0, text);
  text[sizeof(text) - 1] = '\0';
  return text;
}

std::string HostedPlugin::EffectName() {
  return Text(effGetEffectName, 0);
}
std::string HostedPlugin::VendorName() {
  return Text(effGetVendorString, 0);
}
std::string HostedPlugin::ProductName() {
  return Text(effGetProductString, 0);
}
std::string HostedPlugin::ParamName(int index) {
  return Text(effGetParamName, index);
}
std::string HostedPlugin::ParamLabel(int index) {
  return Text(effGetParamLabel, index);
}
std::string HostedPlugin::ParamDisplay(int index) {
  return Text(effGetParamDisplay, index);
}

std::string HostedPlugin::ProgramName(int index) {
  char text[1024];
  std::memset(text, 0, sizeof(text));
  Dispatch(effGetProgramNameIndexed, index, -1, text);
  text[sizeof(text) - 1] = '\0';
  return text;
}

float HostedPlugin::GetParam(int index) {
  return effect_->getParameter(effect_, index);
}

void HostedPlugin::SetParam(int index, float normalized) {
  effect_->setParameter(effect_, index, normalized);
}

int HostedPlugin::FindParam(const std::string& name) {
  int loose = -1, looseCount = 0;
  for (int i = 0; i < ParamCount(); ++i) {
    const std::string candidate = ParamName(i);
    if (candidate == name) return i;
    if (Lower(candidate) == Lower(name)) {
      loose = i;
      ++looseCount;
    }
  }
  return looseCount == 1 ? loose : -1;
}

bool HostedPlugin::SetParamFromText(int index, const std::string& text) {
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back('\0');
  return Dispatch(effString2Parameter, index, 0, buffer.data()) != 0;
}

std::vector<uint8_t> HostedPlugin::GetProgramChunk() {
  void* data = nullptr;
  const intptr_t size = Dispatch(effGetChunk, 1, 0, &data);
  if (size <= 0 || !data) return {};
  const auto* bytes = static_cast<const uint8_t*>(data);
  return std::vector<uint8_t>(bytes, bytes + size);
}

bool HostedPlugin::SetProgramChunk(const std::vector<uint8_t>& bytes) {
  std::vector<uint8_t> copy = bytes;
  return Dispatch(effSetChunk, 1, static_cast<intptr_t>(copy.size()), copy.data()) != 0;
}

void HostedPlugin::Prepare(double sampleRate, int blockSize, double tempo, Precision precision,
                           bool offline) {
  Stop();
  blockSize_ = std::max(1, blockSize);
  tempo_ = tempo;
  offline_ = offline;
  time_ = {};
  time_.sampleRate = sampleRate;
  time_.tempo = tempo > 0.0 ? tempo : 0.0;
  time_.timeSigNumerator = 4;
  time_.timeSigDenominator = 4;
  time_.flags = kVstTransportPlaying | kVstTransportChanged | kVstPpqPosValid | kVstBarsValid |
                kVstTimeSigValid | (tempo > 0.0 ? kVstTempoValid : 0);

  const int32_t flags = effect_->flags;
  if (precision == Precision::kBest) {
    precision = (flags & kEffFlagsCanDoubleReplacing) ? Precision::kDouble
                : (flags & kEffFlagsCanReplacing)     ? Precision::kFloat
                                                      : Precision::kAccumulating;
  }
  if (precision == Precision::kDouble && !(flags & kEffFlagsCanDoubleReplacing)) {
    throw HostError("plug-in '" + path_ + "' cannot process double precision");
  }
  if ((precision == Precision::kDouble && !effect_->processDoubleReplacing) ||
      (precision == Precision::kFloat && !effect_->processReplacing) ||
      (precision == Precision::kAccumulating && !effect_->process)) {
    throw HostError("plug-in '" + path_ + "' lacks the chosen processing entry");
  }
  active_ = precision;

  floatIn_.assign(InputCount(), std::vector<float>(blockSize_));
  floatOut_.assign(OutputCount(), std::vector<float>(blockSize_));
  floatInPtrs_.clear();
  floatOutPtrs_.clear();
  for (auto& b : floatIn_) floatInPtrs_.push_back(b.data());
  for (auto& b : floatOut_) floatOutPtrs_.push_back(b.data());
  doubleInPtrs_.assign(InputCount(), nullptr);
  doubleOutPtrs_.assign(OutputCount(), nullptr);

  Dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate));
  Dispatch(effSetBlockSize, 0, blockSize_);
  Dispatch(effMainsChanged, 0, 1);
  Dispatch(effStartProcess);
  running_ = true;
}

void HostedPlugin::Stop() {
  if (!running_) return;
  Dispatch(effStopProcess);
  Dispatch(effMainsChanged, 0, 0);
  running_ = false;
}

void HostedPlugin::Process(double* const* inputs, double* const* outputs, int frames) {
  frames = std::clamp(frames, 0, blockSize_);
  if (frames == 0) return;
  // Transport: sample position, and at a tempo the quarter-note and bar positions.
  if (tempo_ > 0.0) {
    time_.ppqPos = time_.samplePos / time_.sampleRate * tempo_ / 60.0;
    time_.barStartPos = static_cast<double>(static_cast<int64_t>(time_.ppqPos / 4.0)) * 4.0;
  }
  if (active_ == Precision::kDouble) {
    for (int c = 0; c < InputCount(); ++c) doubleInPtrs_[c] = inputs[c];
    for (int c = 0; c < OutputCount(); ++c) doubleOutPtrs_[c] = outputs[c];
    effect_->processDoubleReplacing(effect_, doubleInPtrs_.data(), doubleOutPtrs_.data(), frames);
  } else {
    for (int c = 0; c < InputCount(); ++c) {
      for (int k = 0; k < frames; ++k) floatIn_[c][k] = static_cast<float>(inputs[c][k]);
    }
    for (auto& b : floatOut_) std::fill(b.begin(), b.begin() + frames, 0.0f);
    if (active_ == Precision::kFloat) {
      effect_->processReplacing(effect_, floatInPtrs_.data(), floatOutPtrs_.data(), frames);
    } else {
      effect_->process(effect_, floatInPtrs_.data(), floatOutPtrs_.data(), frames);
    }
    for (int c = 0; c < OutputCount(); ++c) {
      for (int k = 0; k < frames; ++k) outputs[c][k] = floatOut_[c][k];
    }
  }
  time_.samplePos += frames;
  time_.flags &= ~kVstTransportChanged;
}

}  // namespace qd::host
