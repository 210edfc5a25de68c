// A simulated AAX host: it implements the host side of our interface declarations the way
// the binding relies on it. It loads a module with dlopen and runs its exports, keeps the
// description the plug-in registers, creates instances through the registered create
// procedures, answers Initialize with a controller (sample rate, stem formats), an
// automation delegate that queues set-value requests and delivers them back as
// UpdateParameterNormalizedValue, and a transport; it renders blocks through the
// registered render procedure with real context blocks, saves and restores the chunk and
// opens the editor through the GUI object in a view container.
//
// Single-threaded, except that the automation delegate takes posts from any thread (a
// plug-in may post from its audio thread while the host delivers).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "formats/aax/acf/AaxInterfaces.h"

namespace sim {

// Host objects alive now; 0 once every reference the plug-in took has been released.
int HostObjectsAlive();
std::atomic<int>& AliveCounter();

template <typename... Is>
class HostObject : public Is... {
 public:
  HostObject() { AliveCounter().fetch_add(1); }
  virtual ~HostObject() { AliveCounter().fetch_sub(1); }
  HostObject(const HostObject&) = delete;
  HostObject& operator=(const HostObject&) = delete;
  uint32_t AddRef() override { return refs_.fetch_add(1) + 1; }
  uint32_t Release() override {
    const uint32_t left = refs_.fetch_sub(1) - 1;
    if (left == 0) delete this;
    return left;
  }
  uint32_t References() const { return refs_.load(); }

 private:
  std::atomic<uint32_t> refs_{1};
};

// Releases on destruction; adopts one reference.
template <typename T>
class Ref {
 public:
  Ref() = default;
  explicit Ref(T* adopted) : p_(adopted) {}
  ~Ref() {
    if (p_) p_->Release();
  }
  Ref(Ref&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  Ref& operator=(Ref&& o) noexcept {
    if (this != &o) {
      if (p_) p_->Release();
      p_ = o.p_;
      o.p_ = nullptr;
    }
    return *this;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

// ---------------------------------------------------------------- description side

class PropertyMap final : public HostObject<aax::IPropertyMap> {
 public:
  aax::Result QueryInterface(const aax::Uid& iid, void** out) override;
  aax::Result AddProperty(uint32_t property, int32_t value) override;
  std::vector<std::pair<uint32_t, int32_t>> properties;  // in the order added
  int32_t Get(uint32_t property, int32_t missing = -1) const;
};

struct FieldEntry {
  std::string kind;  // "audio in", "audio out", "buffer length", "private", "midi", "meters"
  int32_t size = 0;
  uint32_t nodeType = 0;
  std::string name;
  uint32_t mask = 0;
};

class ComponentDescriptor final : public HostObject<aax::IComponentDescriptor> {
 public:
  ~ComponentDescriptor() override;
  aax::Result QueryInterface(const aax::Uid& iid, void** out) override;
  aax::Result AddAudioIn(int32_t field) override;
  aax::Result AddAudioOut(int32_t field) override;
  aax::Result AddAudioBufferLength(int32_t field) override;
  aax::Result AddAuxOutputStem(int32_t field, int32_t stemFormat, const char* name) override;
  aax::Result AddPrivateData(int32_t field, int32_t size, int32_t options) override;
  aax::Result AddMeters(int32_t field, const uint32_t* ids, uint32_t count) override;
  aax::Result AddMidiNode(int32_t field, uint32_t nodeType, const char* name,
                          uint32_t mask) override;
  aax::IPropertyMap* NewPropertyMap() override;
  aax::Result AddProcessProcNative(aax::RenderProc render, aax::IPropertyMap* properties,
                                   aax::InstanceInitProc, aax::BackgroundProc) override;

  std::map<int, FieldEntry> fields;
  std::vector<std::string> callOrder;  // field entries in the order registered
  aax::RenderProc render = nullptr;
  PropertyMap* properties = nullptr;  // one reference held
};

class EffectDescriptor final : public HostObject<aax::IEffectDescriptor> {
 public:
  ~EffectDescriptor() override;
  aax::Result QueryInterface(const aax::Uid& iid, void** out) override;
  aax::IComponentDescriptor* NewComponentDescriptor() override;
  aax::Result AddComponent(aax::IComponentDescriptor* component) override;
  aax::Result AddName(const char* name) override;
  aax::Result AddCategory(uint32_t category) override;
  aax::Result AddProcPtr(void* proc, int32_t procId) override;

  std::vector<std::string> names;
  std::vector<uint32_t> categories;
  std::map<int32_t, void*> procs;
  std::vector<ComponentDescriptor*> components;  // one reference each
};

class Collection final : public HostObject<aax::IDescriptionCollection, aax::IPluginDefinition> {
 public:
  ~Collection() override;
  aax::Result QueryInterface(const aax::Uid& iid, void** out) override;
  aax::IEffectDescriptor* NewDescriptor() override;
  aax::Result AddEffect(const char* effectId, aax::IEffectDescriptor* effect) override;
  aax::Result SetManufacturerName(const char* name) override;
  aax::Result AddPackageName(const char* name) override;
  aax::Result SetPackageVersion(uint32_t version) override;

  std::vector<std::string> packageNames;
  std::vector<std::string> manufacturerNames;
  uint32_t packageVersion = 0;
  std::vector<std::pair<std::string, EffectDescriptor*>> effects;  // one reference each
  bool yieldNoDescriptor = false;
};

class HostServicesObject final : public HostObject<aax::IHostServices> {
 public:
  aax::Result QueryInterface(const aax::Uid& iid, void** out) override;
};

// The object the host passes to ACFStartup and ACFRegisterPlugin.
class HostRoot final : public HostObject<aax::IComponentFactory> {
 public:
  aax::Result QueryInterface(const aax::Uid& iid, void** out) override;
  aax::Result CreateInstance(aax::IUnknown* outer, const aax::Uid& clsid, const aax::Uid& iid,
                             void** out) override;
  Collection* lastCollection = nullptr;  // one reference held while set
  int hostServicesCreated = 0;
  bool factoryYieldsNothing = false;
  ~HostRoot() override;
};

// ---------------------------------------------------------------- run-time side

class Automation final : public HostObject<aax::IAutomationDelegate> {
 public:
  aax::Result QueryInterface(const aax::Uid& iid, void** out) override;
  aax::Result PostTouchRequest(const char* id) override;
  aax::Result PostSetValueRequest(const char* id, double normalized) override;
  aax::Result PostReleaseRequest(const char* id) override;
  aax::Result PostCurrentValue(const char* id, double normalized) override;

  struct Post {
    std::string kind, id;
    double value;
  };
  std::vector<Post> posts;
  std::vector<Post> pending;  // set-value requests not yet delivered
  int Count(const std::string& kind) const;
  // What a host does with posted requests on its next cycle: each becomes an
  // UpdateParameterNormalizedValue on the instance. Returns how many were delivered.
  int Deliver(aax::IEffectParameters* params);
  // Forgets what was posted (long runs would otherwise keep every post).
  void Clear() {
    std::lock_guard<std::mutex> hold(lock_);
    posts.clear();
  }

 private:
  // Posts may come from the audio thread while the host's thread delivers.
  mutable std::mutex lock_;
};

class Transport final : public HostObject<aax::ITransport> {
 public:
  aax::Result QueryInterface(const aax::Uid& iid, void** out) override;
  aax::Result GetCurrentTempo(double* bpm) override;
  aax::Result GetCurrentMeter(int32_t* num, int32_t* den) override;
  aax::Result IsTransportPlaying(bool* playing) override;
  aax::Result GetCurrentTickPosition(int64_t* ticks) override;
  aax::Result GetCurrentLoopPosition(bool* looping, int64_t* start, int64_t* end) override;
  aax::Result GetCurrentNativeSampleLocation(int64_t* sample) override;

  double tempo = 120.0;
  int32_t numerator = 4, denominator = 4;
  bool playing = false;
  int64_t ticks = 0;
  bool looping = false;
  int64_t loopStart = 0, loopEnd = 0;
  int64_t sample = 0;
};

class Controller final : public HostObject<aax::IController> {
 public:
  Controller(Automation* automation, Transport* transport);
  ~Controller() override;
  aax::Result QueryInterface(const aax::Uid& iid, void** out) override;
  aax::Result GetSampleRate(double* rate) override;
  aax::Result GetInputStemFormat(int32_t* f) override;
  aax::Result GetOutputStemFormat(int32_t* f) override;
  aax::Result SetSignalLatency(int32_t samples) override;
  aax::Result GetEffectParameters(aax::IUnknown** out) override;

  double sampleRate = 44100.0;
  int32_t inputStem = aax::kStemStereo, outputStem = aax::kStemStereo;
  int32_t latency = 0;
  aax::IUnknown* effectParameters = nullptr;  // not owned: the instance owns it
  Automation* automation;                     // one reference held
  Transport* transport;                       // one reference held
};

class ViewContainer final : public HostObject<aax::IViewContainer> {
 public:
  explicit ViewContainer(void* parent) : parent_(parent) {}
  aax::Result QueryInterface(const aax::Uid& iid, void** out) override;
  void* GetPtr() override { return parent_; }
  aax::Result SetViewSize(const aax::Point& size) override;
  std::vector<aax::Point> sizes;

 private:
  void* parent_;
};

// One plug-in instance as the host holds it.
class Instance {
 public:
  // params: a new effect-parameters object (one reference, adopted); render: the render
  // procedure of the component; createGui: the GUI create procedure (may be null).
  Instance(aax::IUnknown* params, aax::RenderProc render, aax::CreateProc createGui,
           int32_t inputStem, int32_t outputStem, double sampleRate);
  ~Instance();
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  aax::Result InitializeResult() const { return initResult_; }
  aax::IEffectParameters* Params() const { return params_.get(); }
  Controller& Host() const { return *controller_; }
  Automation& AutomationDelegate() const { return *automation_; }
  Transport& HostTransport() const { return *transport_; }
  int DeliverAutomation() { return automation_->Deliver(params_.get()); }

  // Renders one block through the render procedure with a context block of this instance.
  void Render(float* const* inputs, float* const* outputs, int32_t frames,
              std::vector<aax::MidiPacket> midi = {});

  // Saves the chunk as the host does (size query, allocate, get) and restores one.
  std::vector<uint8_t> SaveChunk(aax::Result* result = nullptr);
  aax::Result RestoreChunk(const std::vector<uint8_t>& record);
  bool CompareChunk(const std::vector<uint8_t>& record);

  // The editor: creates the GUI object, initialises it and gives it a view container.
  aax::Result OpenEditor(void* parent);
  aax::Result GetViewSize(aax::Point* size);
  void CloseEditor();
  // The host's periodic timer call to the open editor.
  void EditorTimer() {
    if (gui_) gui_->TimerWakeup();
  }
  ViewContainer* View() const { return view_; }

 private:
  Ref<aax::IEffectParameters> params_;
  Controller* controller_;
  Automation* automation_;
  Transport* transport_;
  aax::RenderProc render_;
  aax::CreateProc createGui_;
  aax::Result initResult_ = aax::kSuccess;
  alignas(8) uint8_t privateData_[8] = {};
  uint32_t globalMidiData_ = 0, meterData_ = 0;
  std::array<void*, aax::kContextFieldCount> context_{};
  aax::MidiNodeBuffer midiNode_{};
  Ref<aax::IEffectGui> gui_;
  ViewContainer* view_ = nullptr;  // one reference held while the editor is open
};

// ---------------------------------------------------------------- the module

struct Exports {
  aax::RegisterPluginFn registerPlugin = nullptr;
  aax::RegisterComponentFn registerComponent = nullptr;
  aax::GetClassFactoryFn getClassFactory = nullptr;
  aax::CanUnloadNowFn canUnloadNow = nullptr;
  aax::StartupFn startup = nullptr;
  aax::ShutdownFn shutdown = nullptr;
  aax::GetSdkVersionFn getSdkVersion = nullptr;
};

class ModuleHost {
 public:
  // Loads the module; Loaded() tells whether it and all seven exports were found.
  explicit ModuleHost(const char* path);
  ~ModuleHost();
  bool Loaded() const { return handle_ && exports_.registerPlugin && exports_.canUnloadNow; }
  const Exports& Api() const { return exports_; }
  HostRoot& Root() { return *root_; }

  // ACFStartup, then ACFRegisterPlugin; keeps the description.
  aax::Result StartAndRegister();
  const Collection* Description() const { return root_->lastCollection; }
  const EffectDescriptor* Effect() const;
  // A new instance of component `component` (0 mono, 1 stereo) through the registered
  // create procedures and render procedure.
  std::unique_ptr<Instance> CreateInstance(int component, double sampleRate = 44100.0);

 private:
  void* handle_ = nullptr;
  Exports exports_;
  Ref<HostRoot> rootRef_;
  HostRoot* root_ = nullptr;
  Ref<aax::IPluginDefinition> definition_;
};

}  // namespace sim
