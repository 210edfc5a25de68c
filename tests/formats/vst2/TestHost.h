// A VST2 host for tests: loads a module through its entry point and records every call the
// plug-in makes through the host callback. Each instance answers time information from its
// own record, so instances on different threads do not share state.
#pragma once

#include <dlfcn.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "formats/vst2/Vst2Abi.h"

namespace qd::testing {

struct HostCall {
  int32_t opcode;
  int32_t index;
  intptr_t value;
  float opt;
  bool duringProcessing;
};

class TestHost {
 public:
  std::vector<HostCall> calls;
  vst2::VstTimeInfo time{};
  bool hasTimeInfo = true;
  std::string productName = "Test Host";
  intptr_t vendorVersion = 10203;
  bool processing = false;
  std::vector<vst2::VstMidiEvent> midiOut;

  int Count(int32_t opcode) const {
    int n = 0;
    for (const HostCall& c : calls) n += c.opcode == opcode;
    return n;
  }
  int CountDuringProcessing(int32_t opcode, intptr_t value) const {
    int n = 0;
    for (const HostCall& c : calls)
      n += c.duringProcessing && c.opcode == opcode && c.value == value;
    return n;
  }

  static intptr_t Callback(vst2::AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                           void* ptr, float opt) {
    TestHost* host = effect ? static_cast<TestHost*>(effect->user) : nullptr;
    if (!host) host = creating;
    if (!host) return 0;
    return host->Answer(opcode, index, value, ptr, opt);
  }

  // The host that answers calls made while an entry point runs (before `user` is set).
  static inline thread_local TestHost* creating = nullptr;

 private:
  intptr_t Answer(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    calls.push_back({opcode, index, value, opt, processing});
    switch (opcode) {
      case vst2::audioMasterVersion:
        return vst2::kVstVersion;
      case vst2::audioMasterGetTime:
        return hasTimeInfo ? reinterpret_cast<intptr_t>(&time) : 0;
      case vst2::audioMasterGetProductString:
        std::snprintf(static_cast<char*>(ptr), 64, "%s", productName.c_str());
        return 1;
      case vst2::audioMasterGetVendorVersion:
        return vendorVersion;
      case vst2::audioMasterProcessEvents: {
        const auto* events = static_cast<const vst2::VstEvents*>(ptr);
        for (int i = 0; events && i < events->numEvents; ++i) {
          if (events->events[i]->type == vst2::kVstMidiType) {
            midiOut.push_back(*reinterpret_cast<const vst2::VstMidiEvent*>(events->events[i]));
          }
        }
        return 1;
      }
      default:
        return 0;
    }
  }
};

// The built plug-in module, loaded once per test program.
class Module {
 public:
  static Module& Get() {
    static Module module(QD_VST2_MODULE_PATH);
    return module;
  }
  void* Handle() const { return handle_; }
  vst2::EntryProc Entry(const char* name) const {
    return handle_ ? reinterpret_cast<vst2::EntryProc>(dlsym(handle_, name)) : nullptr;
  }
  const std::string& Error() const { return error_; }

 private:
  explicit Module(const char* path) {
    handle_ = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!handle_) error_ = dlerror();
  }
  void* handle_ = nullptr;
  std::string error_;
};

// One plug-in instance with its own host; closed on destruction.
class Instance {
 public:
  explicit Instance(const char* entryName = "VSTPluginMain") {
    vst2::EntryProc entry = Module::Get().Entry(entryName);
    if (!entry) return;
    TestHost::creating = &host;
    effect = entry(&TestHost::Callback);
    TestHost::creating = nullptr;
    if (effect) effect->user = &host;
  }
  ~Instance() { Close(); }
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  void Close() {
    if (effect) Dispatch(vst2::effClose);
    effect = nullptr;
  }
  intptr_t Dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                    float opt = 0.0f) {
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
  }
  // Open, set rate and block size and switch on, as hosts do before processing.
  void Start(float rate = 44100.0f, int blockSize = 1024) {
    Dispatch(vst2::effOpen);
    Dispatch(vst2::effSetSampleRate, 0, 0, nullptr, rate);
    Dispatch(vst2::effSetBlockSize, 0, blockSize);
    Dispatch(vst2::effMainsChanged, 0, 1);
  }
  std::string Text(int32_t opcode, int32_t index = 0) {
    char text[512];
    std::memset(text, 0, sizeof(text));
    Dispatch(opcode, index, 0, text);
    return text;
  }
  intptr_t SetByText(int index, const char* text) {
    return Dispatch(vst2::effString2Parameter, index, 0, const_cast<char*>(text));
  }

  TestHost host;
  vst2::AEffect* effect = nullptr;
};

}  // namespace qd::testing
