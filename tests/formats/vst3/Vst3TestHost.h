// A VST3 host for tests: loads the built bundle's binary through its module entry and its
// factory, and gives a plug-in instance what a host gives it: the host application, a
// component handler that records every edit (and whether it came during process), memory
// streams, parameter-change queues, a process context, and a run loop whose timers and file
// descriptors the test runs on its own thread.
//
// The host objects belong to the test (stack or members); their reference counts are kept
// but never delete them.
#pragma once

#include <dlfcn.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <poll.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

#include "formats/vst3/Vst3Abi.h"
#include "formats/vst3/Vst3Text.h"

namespace qd::testing {

using namespace qd::vst3;

// Reference counting for host objects the test owns.
template <typename... Interfaces>
class HostObject : public Interfaces... {
 public:
  uint32 QD_VST3_CALL addRef() override { return ++references; }
  uint32 QD_VST3_CALL release() override { return --references; }
  std::atomic<int> references{0};

 protected:
  template <typename I>
  bool Offer(const TUID iid, void** obj) {
    if (!SameUid(iid, I::kIid)) return false;
    *obj = static_cast<I*>(this);
    addRef();
    return true;
  }
};

// The plug-in's name for a UTF-16 text.
inline std::string Utf8(const char16* text, size_t units = 128) {
  char out[512];
  CopyToUtf8(out, sizeof(out), text, units);
  return out;
}

class MemoryStream final : public HostObject<IBStream> {
 public:
  MemoryStream() = default;
  explicit MemoryStream(std::vector<uint8_t> b) : bytes(std::move(b)) {}
  std::vector<uint8_t> bytes;
  int64_t position = 0;
  int32_t readLimit = 1 << 30;  // bytes one read returns at most (a stream that trickles)
  bool failReads = false, failWrites = false;

  tresult QD_VST3_CALL queryInterface(const TUID iid, void** obj) override {
    if (!obj) return kInvalidArgument;
    *obj = nullptr;
    return Offer<FUnknown>(iid, obj) || Offer<IBStream>(iid, obj) ? kResultOk : kNoInterface;
  }
  tresult QD_VST3_CALL read(void* buffer, int32 numBytes, int32* numBytesRead) override {
    if (numBytesRead) *numBytesRead = 0;
    if (failReads) return kResultFalse;
    if (!buffer || numBytes < 0) return kInvalidArgument;
    const int64_t left = static_cast<int64_t>(bytes.size()) - position;
    const int32 n =
        static_cast<int32>(std::max<int64_t>(0, std::min<int64_t>({numBytes, left, readLimit})));
    if (n > 0) std::memcpy(buffer, bytes.data() + position, static_cast<size_t>(n));
    position += n;
    if (numBytesRead) *numBytesRead = n;
    return kResultOk;
  }
  tresult QD_VST3_CALL write(void* buffer, int32 numBytes, int32* numBytesWritten) override {
    if (numBytesWritten) *numBytesWritten = 0;
    if (failWrites) return kResultFalse;
    if (!buffer || numBytes < 0) return kInvalidArgument;
    if (position + numBytes > static_cast<int64_t>(bytes.size())) {
      bytes.resize(static_cast<size_t>(position + numBytes));
    }
    std::memcpy(bytes.data() + position, buffer, static_cast<size_t>(numBytes));
    position += numBytes;
    if (numBytesWritten) *numBytesWritten = numBytes;
    return kResultOk;
  }
  tresult QD_VST3_CALL seek(int64 pos, int32 mode, int64* result) override {
    const int64_t base = mode == kIBSeekSet   ? 0
                         : mode == kIBSeekCur ? position
                                              : static_cast<int64_t>(bytes.size());
    if (base + pos < 0) return kInvalidArgument;
    position = base + pos;
    if (result) *result = position;
    return kResultOk;
  }
  tresult QD_VST3_CALL tell(int64* pos) override {
    if (!pos) return kInvalidArgument;
    *pos = position;
    return kResultOk;
  }
};

class ParamQueue final : public HostObject<IParamValueQueue> {
 public:
  ParamQueue(ParamID id, std::vector<std::pair<int32, ParamValue>> points)
      : id_(id), points_(std::move(points)) {}
  tresult QD_VST3_CALL queryInterface(const TUID iid, void** obj) override {
    if (!obj) return kInvalidArgument;
    *obj = nullptr;
    return Offer<FUnknown>(iid, obj) || Offer<IParamValueQueue>(iid, obj) ? kResultOk
                                                                          : kNoInterface;
  }
  ParamID QD_VST3_CALL getParameterId() override { return id_; }
  int32 QD_VST3_CALL getPointCount() override { return static_cast<int32>(points_.size()); }
  tresult QD_VST3_CALL getPoint(int32 index, int32& offset, ParamValue& value) override {
    if (index < 0 || index >= getPointCount()) return kInvalidArgument;
    offset = points_[static_cast<size_t>(index)].first;
    value = points_[static_cast<size_t>(index)].second;
    return kResultOk;
  }
  tresult QD_VST3_CALL addPoint(int32 offset, ParamValue value, int32& index) override {
    index = getPointCount();
    points_.emplace_back(offset, value);
    return kResultOk;
  }

 private:
  ParamID id_;
  std::vector<std::pair<int32, ParamValue>> points_;
};

class ParamChanges final : public HostObject<IParameterChanges> {
 public:
  std::vector<ParamQueue*> queues;
  tresult QD_VST3_CALL queryInterface(const TUID iid, void** obj) override {
    if (!obj) return kInvalidArgument;
    *obj = nullptr;
    return Offer<FUnknown>(iid, obj) || Offer<IParameterChanges>(iid, obj) ? kResultOk
                                                                           : kNoInterface;
  }
  int32 QD_VST3_CALL getParameterCount() override { return static_cast<int32>(queues.size()); }
  IParamValueQueue* QD_VST3_CALL getParameterData(int32 index) override {
    return index >= 0 && index < getParameterCount() ? queues[static_cast<size_t>(index)] : nullptr;
  }
  IParamValueQueue* QD_VST3_CALL addParameterData(const ParamID&, int32& index) override {
    index = -1;
    return nullptr;  // the plug-in reports nothing from process
  }
};

// Timers and file descriptors, run by the test on its own thread as a host's user-interface
// loop runs them.
class RunLoop final : public HostObject<IRunLoop> {
 public:
  struct Timer {
    ITimerHandler* handler;
    TimerInterval ms;
    std::chrono::steady_clock::time_point due;
  };
  struct Watch {
    IEventHandler* handler;
    FileDescriptor fd;
  };
  std::vector<Timer> timers;
  std::vector<Watch> watches;
  int timerCalls = 0, fdCalls = 0;

  tresult QD_VST3_CALL queryInterface(const TUID iid, void** obj) override {
    if (!obj) return kInvalidArgument;
    *obj = nullptr;
    return Offer<FUnknown>(iid, obj) || Offer<IRunLoop>(iid, obj) ? kResultOk : kNoInterface;
  }
  tresult QD_VST3_CALL registerEventHandler(IEventHandler* handler, FileDescriptor fd) override {
    if (!handler || fd < 0) return kInvalidArgument;
    handler->addRef();
    watches.push_back({handler, fd});
    return kResultOk;
  }
  tresult QD_VST3_CALL unregisterEventHandler(IEventHandler* handler) override {
    return Remove(watches, handler);
  }
  tresult QD_VST3_CALL registerTimer(ITimerHandler* handler, TimerInterval ms) override {
    if (!handler || ms == 0) return kInvalidArgument;
    handler->addRef();
    timers.push_back({handler, ms, std::chrono::steady_clock::now()});
    return kResultOk;
  }
  tresult QD_VST3_CALL unregisterTimer(ITimerHandler* handler) override {
    return Remove(timers, handler);
  }

  // Runs what is due (every timer at once when `all`), waiting up to `waitMs` for a file
  // descriptor to become readable. On Windows, where plug-ins use the thread's own timers,
  // it also dispatches the thread's messages.
  void RunOnce(int waitMs = 0, bool all = false, bool runTimers = true) {
#ifdef _WIN32
    std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
    for (MSG m; PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE);) DispatchMessageA(&m);
#else
    std::vector<pollfd> fds;
    for (const Watch& w : watches) fds.push_back({w.fd, POLLIN, 0});
    if (!fds.empty() && poll(fds.data(), fds.size(), waitMs) > 0) {
      const std::vector<Watch> now = watches;
      for (size_t i = 0; i < fds.size() && i < now.size(); ++i) {
        if (fds[i].revents & POLLIN) {
          ++fdCalls;
          now[i].handler->onFDIsSet(now[i].fd);
        }
      }
    } else if (fds.empty() && waitMs > 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
    }
#endif
    if (!runTimers) return;
    const auto t = std::chrono::steady_clock::now();
    const std::vector<Timer> now = timers;
    for (const Timer& timer : now) {
      if (!all && timer.due > t) continue;
      for (Timer& live : timers) {
        if (live.handler == timer.handler) live.due = t + std::chrono::milliseconds(live.ms);
      }
      ++timerCalls;
      timer.handler->onTimer();
    }
  }
  void RunFor(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) RunOnce(5);
  }

 private:
  template <typename Entry, typename Handler>
  tresult Remove(std::vector<Entry>& list, Handler* handler) {
    const auto it = std::find_if(list.begin(), list.end(),
                                 [handler](const Entry& e) { return e.handler == handler; });
    if (it == list.end()) return kInvalidArgument;
    it->handler->release();
    list.erase(it);
    return kResultOk;
  }
};

struct EditCall {
  enum Kind { kBegin, kPerform, kEnd } kind;
  ParamID id;
  ParamValue value;
  bool duringProcess;
  std::thread::id thread;
};

// The component handler; offers the run loop as Linux hosts do.
class ComponentHandler final : public HostObject<IComponentHandler> {
 public:
  std::vector<EditCall> calls;
  std::atomic<bool> processing{false};
  RunLoop* runLoop = nullptr;
  int restarts = 0;

  tresult QD_VST3_CALL queryInterface(const TUID iid, void** obj) override {
    if (!obj) return kInvalidArgument;
    *obj = nullptr;
    if (Offer<FUnknown>(iid, obj) || Offer<IComponentHandler>(iid, obj)) return kResultOk;
    if (runLoop && SameUid(iid, IRunLoop::kIid)) {
      runLoop->addRef();
      *obj = static_cast<IRunLoop*>(runLoop);
      return kResultOk;
    }
    return kNoInterface;
  }
  tresult QD_VST3_CALL beginEdit(ParamID id) override { return Record(EditCall::kBegin, id, 0); }
  tresult QD_VST3_CALL performEdit(ParamID id, ParamValue v) override {
    return Record(EditCall::kPerform, id, v);
  }
  tresult QD_VST3_CALL endEdit(ParamID id) override { return Record(EditCall::kEnd, id, 0); }
  tresult QD_VST3_CALL restartComponent(int32) override {
    ++restarts;
    return kResultOk;
  }
  int Count(EditCall::Kind kind, ParamID id) const {
    return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const EditCall& c) {
      return c.kind == kind && c.id == id;
    }));
  }

 private:
  tresult Record(EditCall::Kind kind, ParamID id, ParamValue v) {
    calls.push_back({kind, id, v, processing.load(), std::this_thread::get_id()});
    return kResultOk;
  }
};

class HostApplication final : public HostObject<IHostApplication> {
 public:
  tresult QD_VST3_CALL queryInterface(const TUID iid, void** obj) override {
    if (!obj) return kInvalidArgument;
    *obj = nullptr;
    return Offer<FUnknown>(iid, obj) || Offer<IHostApplication>(iid, obj) ? kResultOk
                                                                          : kNoInterface;
  }
  tresult QD_VST3_CALL getName(String128 name) override {
    CopyToUtf16(name, 128, "Test Host");
    return kResultOk;
  }
  tresult QD_VST3_CALL createInstance(TUID, TUID, void** obj) override {
    if (obj) *obj = nullptr;
    return kNotImplemented;
  }
};

class PlugFrame final : public HostObject<IPlugFrame> {
 public:
  RunLoop* runLoop = nullptr;
  int resizes = 0;
  tresult QD_VST3_CALL queryInterface(const TUID iid, void** obj) override {
    if (!obj) return kInvalidArgument;
    *obj = nullptr;
    if (Offer<FUnknown>(iid, obj) || Offer<IPlugFrame>(iid, obj)) return kResultOk;
    if (runLoop && SameUid(iid, IRunLoop::kIid)) {
      runLoop->addRef();
      *obj = static_cast<IRunLoop*>(runLoop);
      return kResultOk;
    }
    return kNoInterface;
  }
  tresult QD_VST3_CALL resizeView(IPlugView*, ViewRect*) override {
    ++resizes;
    return kResultFalse;
  }
};

// The bundle's binary, loaded once per test program and entered as a host does.
class Vst3Module {
 public:
  static Vst3Module& Get() {
    static Vst3Module module(QD_VST3_MODULE_PATH);
    return module;
  }
  void* Handle() const { return handle_; }
  IPluginFactory* Factory() const { return factory_; }
  const std::string& Error() const { return error_; }
  template <typename Proc>
  Proc Symbol(const char* name) const {
    return handle_ ? reinterpret_cast<Proc>(dlsym(handle_, name)) : nullptr;
  }

 private:
  explicit Vst3Module(const char* path) {
    handle_ = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
      error_ = dlerror();
      return;
    }
#ifdef _WIN32
    auto enter = Symbol<InitDllProc>("InitDll");
    if (!enter || !enter()) error_ = "InitDll failed";
#else
    auto enter = Symbol<ModuleEntryProc>("ModuleEntry");
    if (!enter || !enter(handle_)) error_ = "ModuleEntry failed";
#endif
    auto get = Symbol<GetFactoryProc>("GetPluginFactory");
    factory_ = get ? get() : nullptr;
    if (!factory_) error_ = "no factory";
  }
  void* handle_ = nullptr;
  IPluginFactory* factory_ = nullptr;
  std::string error_;
};

// One plug-in instance made by the factory, initialised with the test's host objects.
class Vst3Instance {
 public:
  Vst3Instance() {
    IPluginFactory* factory = Vst3Module::Get().Factory();
    if (!factory) return;
    PClassInfo info{};
    if (factory->getClassInfo(0, &info) != kResultOk) return;
    void* obj = nullptr;
    if (factory->createInstance(info.cid, IComponent::kIid.bytes, &obj) != kResultOk) return;
    component = static_cast<IComponent*>(obj);
    component->queryInterface(IAudioProcessor::kIid.bytes, reinterpret_cast<void**>(&processor));
    component->queryInterface(IEditController::kIid.bytes, reinterpret_cast<void**>(&controller));
    handler.runLoop = &runLoop;
  }
  ~Vst3Instance() { Close(); }
  Vst3Instance(const Vst3Instance&) = delete;
  Vst3Instance& operator=(const Vst3Instance&) = delete;

  bool Valid() const { return component && processor && controller; }

  // initialize, the component handler, setupProcessing, setActive, setProcessing.
  void Start(double rate = 44100.0, int32 maxBlock = 1024, int32 sampleSize = kSample64) {
    component->initialize(&app);
    controller->setComponentHandler(&handler);
    ProcessSetup setup{kRealtime, sampleSize, maxBlock, rate};
    processor->setupProcessing(setup);
    component->setActive(1);
    processor->setProcessing(1);
    started = true;
  }
  void Close() {
    if (!component) return;
    if (started) {
      processor->setProcessing(0);
      component->setActive(0);
      controller->setComponentHandler(nullptr);
      component->terminate();
    }
    if (processor) processor->release();
    if (controller) controller->release();
    component->release();
    component = nullptr;
    processor = nullptr;
    controller = nullptr;
  }

  // One block of stereo (or mono, with one input channel) audio; queues and the context are
  // optional. Returns the result of process().
  // Allocates nothing itself.
  template <typename Sample>
  tresult Process(std::initializer_list<Sample*> in, std::initializer_list<Sample*> out,
                  int32 frames, IParameterChanges* changes = nullptr,
                  ProcessContext* context = nullptr, uint64* outSilence = nullptr) {
    Sample* ins[2] = {};
    Sample* outs[2] = {};
    std::copy_n(in.begin(), std::min<size_t>(in.size(), 2), ins);
    std::copy_n(out.begin(), std::min<size_t>(out.size(), 2), outs);
    AudioBusBuffers inBus{}, outBus{};
    inBus.numChannels = static_cast<int32>(std::min<size_t>(in.size(), 2));
    outBus.numChannels = static_cast<int32>(std::min<size_t>(out.size(), 2));
    if constexpr (sizeof(Sample) == 4) {
      inBus.channelBuffers32 = in.size() == 0 ? nullptr : ins;
      outBus.channelBuffers32 = out.size() == 0 ? nullptr : outs;
    } else {
      inBus.channelBuffers64 = in.size() == 0 ? nullptr : ins;
      outBus.channelBuffers64 = out.size() == 0 ? nullptr : outs;
    }
    ProcessData data{};
    data.processMode = kRealtime;
    data.symbolicSampleSize = sizeof(Sample) == 4 ? kSample32 : kSample64;
    data.numSamples = frames;
    data.numInputs = 1;
    data.numOutputs = 1;
    data.inputs = &inBus;
    data.outputs = &outBus;
    data.inputParameterChanges = changes;
    data.processContext = context;
    handler.processing = true;
    const tresult result = processor->process(data);
    handler.processing = false;
    if (outSilence) *outSilence = outBus.silenceFlags;
    return result;
  }

  std::vector<uint8_t> State() {
    MemoryStream stream;
    component->getState(&stream);
    return stream.bytes;
  }
  tresult SetState(std::vector<uint8_t> bytes) {
    MemoryStream stream(std::move(bytes));
    return component->setState(&stream);
  }
  std::string ValueText(ParamID id, ParamValue normalized) {
    String128 text{};
    if (controller->getParamStringByValue(id, normalized, text) != kResultOk) return "<refused>";
    return Utf8(text);
  }

  HostApplication app;
  RunLoop runLoop;
  ComponentHandler handler;
  IComponent* component = nullptr;
  IAudioProcessor* processor = nullptr;
  IEditController* controller = nullptr;
  bool started = false;
};

}  // namespace qd::testing
