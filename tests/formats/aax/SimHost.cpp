#include "SimHost.h"

#include <dlfcn.h>

#include <cstring>

namespace sim {

std::atomic<int>& AliveCounter() {
  static std::atomic<int> count{0};
  return count;
}

int HostObjectsAlive() {
  return AliveCounter().load();
}

namespace {

template <typename I, typename Self>
aax::Result Answer(Self* self, const aax::Uid& asked, const aax::Uid& iid, void** out) {
  if (!out) return aax::kAcfPointer;
  *out = nullptr;
  if (asked == aax::kIidUnknown || asked == iid) {
    *out = static_cast<I*>(self);
    self->AddRef();
    return aax::kSuccess;
  }
  return aax::kAcfNoInterface;
}

std::string Text(const char* s) {
  return s ? s : "(null)";
}

FieldEntry Entry(const char* kind) {
  FieldEntry e;
  e.kind = kind;
  return e;
}

}  // namespace

// ---------------------------------------------------------------- description side

aax::Result PropertyMap::QueryInterface(const aax::Uid& iid, void** out) {
  return Answer<aax::IPropertyMap>(this, iid, aax::kIidUnknown, out);
}

aax::Result PropertyMap::AddProperty(uint32_t property, int32_t value) {
  properties.emplace_back(property, value);
  return aax::kSuccess;
}

int32_t PropertyMap::Get(uint32_t property, int32_t missing) const {
  for (const auto& [p, v] : properties) {
    if (p == property) return v;
  }
  return missing;
}

ComponentDescriptor::~ComponentDescriptor() {
  if (properties) properties->Release();
}

aax::Result ComponentDescriptor::QueryInterface(const aax::Uid& iid, void** out) {
  return Answer<aax::IComponentDescriptor>(this, iid, aax::kIidUnknown, out);
}

aax::Result ComponentDescriptor::AddAudioIn(int32_t field) {
  fields[field] = Entry("audio in");
  callOrder.push_back("audio in");
  return aax::kSuccess;
}

aax::Result ComponentDescriptor::AddAudioOut(int32_t field) {
  fields[field] = Entry("audio out");
  callOrder.push_back("audio out");
  return aax::kSuccess;
}

aax::Result ComponentDescriptor::AddAudioBufferLength(int32_t field) {
  fields[field] = Entry("buffer length");
  callOrder.push_back("buffer length");
  return aax::kSuccess;
}

aax::Result ComponentDescriptor::AddAuxOutputStem(int32_t, int32_t, const char*) {
  callOrder.push_back("aux stem");
  return aax::kSuccess;
}

aax::Result ComponentDescriptor::AddPrivateData(int32_t field, int32_t size, int32_t) {
  FieldEntry e = Entry("private");
  e.size = size;
  fields[field] = e;
  callOrder.push_back("private " + std::to_string(field));
  return aax::kSuccess;
}

aax::Result ComponentDescriptor::AddMeters(int32_t field, const uint32_t*, uint32_t count) {
  FieldEntry e = Entry("meters");
  e.size = static_cast<int32_t>(count);
  fields[field] = e;
  return aax::kSuccess;
}

aax::Result ComponentDescriptor::AddMidiNode(int32_t field, uint32_t nodeType, const char* name,
                                             uint32_t mask) {
  FieldEntry e = Entry("midi");
  e.nodeType = nodeType;
  e.name = Text(name);
  e.mask = mask;
  fields[field] = e;
  callOrder.push_back("node " + std::to_string(field));
  return aax::kSuccess;
}

aax::IPropertyMap* ComponentDescriptor::NewPropertyMap() {
  return new PropertyMap();
}

aax::Result ComponentDescriptor::AddProcessProcNative(aax::RenderProc proc, aax::IPropertyMap* map,
                                                      aax::InstanceInitProc, aax::BackgroundProc) {
  render = proc;
  if (properties) properties->Release();
  properties = static_cast<PropertyMap*>(map);
  if (properties) properties->AddRef();
  return aax::kSuccess;
}

EffectDescriptor::~EffectDescriptor() {
  for (ComponentDescriptor* c : components) c->Release();
}

aax::Result EffectDescriptor::QueryInterface(const aax::Uid& iid, void** out) {
  return Answer<aax::IEffectDescriptor>(this, iid, aax::kIidUnknown, out);
}

aax::IComponentDescriptor* EffectDescriptor::NewComponentDescriptor() {
  return new ComponentDescriptor();
}

aax::Result EffectDescriptor::AddComponent(aax::IComponentDescriptor* component) {
  if (!component) return aax::kErrorNullObject;
  component->AddRef();
  components.push_back(static_cast<ComponentDescriptor*>(component));
  return aax::kSuccess;
}

aax::Result EffectDescriptor::AddName(const char* name) {
  names.push_back(Text(name));
  return aax::kSuccess;
}

aax::Result EffectDescriptor::AddCategory(uint32_t category) {
  categories.push_back(category);
  return aax::kSuccess;
}

aax::Result EffectDescriptor::AddProcPtr(void* proc, int32_t procId) {
  procs[procId] = proc;
  return aax::kSuccess;
}

Collection::~Collection() {
  for (auto& e : effects) e.second->Release();
}

aax::Result Collection::QueryInterface(const aax::Uid& iid, void** out) {
  if (iid == aax::kIidPluginDefinition) {
    return Answer<aax::IPluginDefinition>(this, iid, aax::kIidPluginDefinition, out);
  }
  return Answer<aax::IDescriptionCollection>(this, iid, aax::kIidDescriptionCollection, out);
}

aax::IEffectDescriptor* Collection::NewDescriptor() {
  return yieldNoDescriptor ? nullptr : new EffectDescriptor();
}

aax::Result Collection::AddEffect(const char* effectId, aax::IEffectDescriptor* effect) {
  if (!effect) return aax::kErrorNullObject;
  effect->AddRef();
  effects.emplace_back(Text(effectId), static_cast<EffectDescriptor*>(effect));
  return aax::kSuccess;
}

aax::Result Collection::SetManufacturerName(const char* name) {
  manufacturerNames.push_back(Text(name));
  return aax::kSuccess;
}

aax::Result Collection::AddPackageName(const char* name) {
  packageNames.push_back(Text(name));
  return aax::kSuccess;
}

aax::Result Collection::SetPackageVersion(uint32_t version) {
  packageVersion = version;
  return aax::kSuccess;
}

aax::Result HostServicesObject::QueryInterface(const aax::Uid& iid, void** out) {
  return Answer<aax::IHostServices>(this, iid, aax::kIidHostServices, out);
}

HostRoot::~HostRoot() {
  if (lastCollection) lastCollection->Release();
}

aax::Result HostRoot::QueryInterface(const aax::Uid& iid, void** out) {
  return Answer<aax::IComponentFactory>(this, iid, aax::kIidComponentFactory, out);
}

aax::Result HostRoot::CreateInstance(aax::IUnknown*, const aax::Uid& clsid, const aax::Uid& iid,
                                     void** out) {
  if (!out) return aax::kAcfPointer;
  *out = nullptr;
  if (factoryYieldsNothing) return aax::kSuccess;
  if (clsid == aax::kClsidDescription && iid == aax::kIidDescriptionCollection) {
    auto* c = new Collection();
    if (lastCollection) lastCollection->Release();
    lastCollection = c;
    c->AddRef();
    *out = static_cast<aax::IDescriptionCollection*>(c);
    return aax::kSuccess;
  }
  if (clsid == aax::kClsidHostServices && iid == aax::kIidHostServices) {
    ++hostServicesCreated;
    *out = static_cast<aax::IHostServices*>(new HostServicesObject());
    return aax::kSuccess;
  }
  return aax::kAcfNoInterface;
}

// ---------------------------------------------------------------- run-time side

aax::Result Automation::QueryInterface(const aax::Uid& iid, void** out) {
  return Answer<aax::IAutomationDelegate>(this, iid, aax::kIidAutomationDelegate, out);
}

aax::Result Automation::PostTouchRequest(const char* id) {
  std::lock_guard<std::mutex> hold(lock_);
  posts.push_back({"touch", Text(id), 0.0});
  return aax::kSuccess;
}

aax::Result Automation::PostSetValueRequest(const char* id, double normalized) {
  std::lock_guard<std::mutex> hold(lock_);
  posts.push_back({"set", Text(id), normalized});
  pending.push_back({"set", Text(id), normalized});
  return aax::kSuccess;
}

aax::Result Automation::PostReleaseRequest(const char* id) {
  std::lock_guard<std::mutex> hold(lock_);
  posts.push_back({"release", Text(id), 0.0});
  return aax::kSuccess;
}

aax::Result Automation::PostCurrentValue(const char* id, double normalized) {
  std::lock_guard<std::mutex> hold(lock_);
  posts.push_back({"current", Text(id), normalized});
  return aax::kSuccess;
}

int Automation::Count(const std::string& kind) const {
  std::lock_guard<std::mutex> hold(lock_);
  int n = 0;
  for (const Post& p : posts) n += p.kind == kind ? 1 : 0;
  return n;
}

int Automation::Deliver(aax::IEffectParameters* params) {
  std::vector<Post> requests;
  {
    // Delivered outside the lock: an update may make the plug-in post again.
    std::lock_guard<std::mutex> hold(lock_);
    requests.swap(pending);
  }
  for (const Post& p : requests) params->UpdateParameterNormalizedValue(p.id.c_str(), p.value, 0);
  return static_cast<int>(requests.size());
}

aax::Result Transport::QueryInterface(const aax::Uid& iid, void** out) {
  return Answer<aax::ITransport>(this, iid, aax::kIidTransport, out);
}

aax::Result Transport::GetCurrentTempo(double* bpm) {
  *bpm = tempo;
  return aax::kSuccess;
}

aax::Result Transport::GetCurrentMeter(int32_t* num, int32_t* den) {
  *num = numerator;
  *den = denominator;
  return aax::kSuccess;
}

aax::Result Transport::IsTransportPlaying(bool* p) {
  *p = playing;
  return aax::kSuccess;
}

aax::Result Transport::GetCurrentTickPosition(int64_t* t) {
  *t = ticks;
  return aax::kSuccess;
}

aax::Result Transport::GetCurrentLoopPosition(bool* l, int64_t* s, int64_t* e) {
  *l = looping;
  *s = loopStart;
  *e = loopEnd;
  return aax::kSuccess;
}

aax::Result Transport::GetCurrentNativeSampleLocation(int64_t* s) {
  *s = sample;
  return aax::kSuccess;
}

Controller::Controller(Automation* a, Transport* t) : automation(a), transport(t) {
  automation->AddRef();
  transport->AddRef();
}

Controller::~Controller() {
  automation->Release();
  transport->Release();
}

aax::Result Controller::QueryInterface(const aax::Uid& iid, void** out) {
  if (iid == aax::kIidAutomationDelegate) return automation->QueryInterface(iid, out);
  if (iid == aax::kIidTransport) return transport->QueryInterface(iid, out);
  return Answer<aax::IController>(this, iid, aax::kIidController, out);
}

aax::Result Controller::GetSampleRate(double* rate) {
  *rate = sampleRate;
  return aax::kSuccess;
}

aax::Result Controller::GetInputStemFormat(int32_t* f) {
  *f = inputStem;
  return aax::kSuccess;
}

aax::Result Controller::GetOutputStemFormat(int32_t* f) {
  *f = outputStem;
  return aax::kSuccess;
}

aax::Result Controller::SetSignalLatency(int32_t samples) {
  latency = samples;
  return aax::kSuccess;
}

aax::Result Controller::GetEffectParameters(aax::IUnknown** out) {
  if (!out) return aax::kAcfPointer;
  *out = effectParameters;
  if (effectParameters) effectParameters->AddRef();
  return aax::kSuccess;
}

aax::Result ViewContainer::QueryInterface(const aax::Uid& iid, void** out) {
  return Answer<aax::IViewContainer>(this, iid, aax::kIidViewContainer, out);
}

aax::Result ViewContainer::SetViewSize(const aax::Point& size) {
  sizes.push_back(size);
  return aax::kSuccess;
}

// ---------------------------------------------------------------- instance

namespace {

aax::IEffectParameters* QueryParams(aax::IUnknown* object) {
  void* out = nullptr;
  if (object) object->QueryInterface(aax::kIidEffectParameters, &out);
  if (object) object->Release();  // the create procedure's reference
  return static_cast<aax::IEffectParameters*>(out);
}

}  // namespace

Instance::Instance(aax::IUnknown* params, aax::RenderProc render, aax::CreateProc createGui,
                   int32_t inputStem, int32_t outputStem, double sampleRate)
    : params_(QueryParams(params)),
      automation_(new Automation()),
      transport_(new Transport()),
      render_(render),
      createGui_(createGui) {
  controller_ = new Controller(automation_, transport_);
  controller_->inputStem = inputStem;
  controller_->outputStem = outputStem;
  controller_->sampleRate = sampleRate;
  controller_->effectParameters = params_.get();
  if (params_) {
    initResult_ = params_->Initialize(static_cast<aax::IController*>(controller_));
    // Private data fields are handed to the instance to fill, as a host does before
    // the first render call.
    params_->ResetFieldData(aax::kFieldPrivateData, privateData_, sizeof(privateData_));
    params_->ResetFieldData(aax::kFieldGlobalMidi, &globalMidiData_, sizeof(globalMidiData_));
    params_->ResetFieldData(aax::kFieldMeters, &meterData_, sizeof(meterData_));
  }
  context_[aax::kFieldPrivateData] = privateData_;
  context_[aax::kFieldGlobalMidi] = &globalMidiData_;
  context_[aax::kFieldMeters] = &meterData_;
  context_[aax::kFieldMidiIn] = &midiNode_;
  context_[aax::kFieldTransport] = static_cast<aax::ITransport*>(transport_);
}

Instance::~Instance() {
  CloseEditor();
  if (params_) params_->Uninitialize();
  params_ = Ref<aax::IEffectParameters>();
  controller_->effectParameters = nullptr;
  controller_->Release();
  automation_->Release();
  transport_->Release();
}

void Instance::Render(float* const* inputs, float* const* outputs, int32_t frames,
                      std::vector<aax::MidiPacket> midi) {
  int32_t length = frames;
  midiNode_.packetCount = static_cast<uint32_t>(midi.size());
  midiNode_.packets = midi.empty() ? nullptr : midi.data();
  context_[aax::kFieldAudioIn] = const_cast<float**>(inputs);
  context_[aax::kFieldAudioOut] = const_cast<float**>(outputs);
  context_[aax::kFieldBufferLength] = &length;
  void* const contexts[1] = {context_.data()};
  render_(contexts, contexts + 1);
  midiNode_ = {};
  context_[aax::kFieldBufferLength] = nullptr;
}

std::vector<uint8_t> Instance::SaveChunk(aax::Result* result) {
  uint32_t id = 0, size = 0;
  params_->GetChunkIDFromIndex(0, &id);
  params_->GetChunkSize(id, &size);
  std::vector<uint8_t> record(aax::kChunkHeaderSize + size);
  auto* chunk = reinterpret_cast<aax::ChunkRecord*>(record.data());
  chunk->size = static_cast<int32_t>(size);
  chunk->chunkId = id;
  const aax::Result r = params_->GetChunk(id, chunk);
  if (result) *result = r;
  record.resize(aax::kChunkHeaderSize + static_cast<size_t>(chunk->size));
  return record;
}

aax::Result Instance::RestoreChunk(const std::vector<uint8_t>& record) {
  const auto* chunk = reinterpret_cast<const aax::ChunkRecord*>(record.data());
  return params_->SetChunk(chunk->chunkId, chunk);
}

bool Instance::CompareChunk(const std::vector<uint8_t>& record) {
  bool equal = false;
  params_->CompareActiveChunk(reinterpret_cast<const aax::ChunkRecord*>(record.data()), &equal);
  return equal;
}

aax::Result Instance::OpenEditor(void* parent) {
  if (!createGui_) return aax::kErrorNullObject;
  // One GUI per instance: a host that opens the editor again drops the previous one, as
  // far as the host's own references go, without asking it to close.
  if (view_) {
    view_->Release();
    view_ = nullptr;
  }
  aax::IUnknown* object = createGui_();
  void* out = nullptr;
  if (object) object->QueryInterface(aax::kIidEffectGui, &out);
  if (object) object->Release();
  gui_ = Ref<aax::IEffectGui>(static_cast<aax::IEffectGui*>(out));
  if (!gui_) return aax::kErrorNullObject;
  const aax::Result r = gui_->Initialize(static_cast<aax::IController*>(controller_));
  if (r != aax::kSuccess) return r;
  view_ = new ViewContainer(parent);
  return gui_->SetViewContainer(static_cast<aax::IViewContainer*>(view_));
}

aax::Result Instance::GetViewSize(aax::Point* size) {
  return gui_ ? gui_->GetViewSize(size) : aax::kErrorNullObject;
}

void Instance::CloseEditor() {
  if (gui_) {
    gui_->SetViewContainer(nullptr);
    gui_->Uninitialize();
    gui_ = Ref<aax::IEffectGui>();
  }
  if (view_) {
    view_->Release();
    view_ = nullptr;
  }
}

// ---------------------------------------------------------------- module

ModuleHost::ModuleHost(const char* path) : rootRef_(new HostRoot()) {
  root_ = rootRef_.get();
  handle_ = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (!handle_) return;
  auto find = [&](const char* name) { return dlsym(handle_, name); };
  exports_.registerPlugin = reinterpret_cast<aax::RegisterPluginFn>(find("ACFRegisterPlugin"));
  exports_.registerComponent =
      reinterpret_cast<aax::RegisterComponentFn>(find("ACFRegisterComponent"));
  exports_.getClassFactory = reinterpret_cast<aax::GetClassFactoryFn>(find("ACFGetClassFactory"));
  exports_.canUnloadNow = reinterpret_cast<aax::CanUnloadNowFn>(find("ACFCanUnloadNow"));
  exports_.startup = reinterpret_cast<aax::StartupFn>(find("ACFStartup"));
  exports_.shutdown = reinterpret_cast<aax::ShutdownFn>(find("ACFShutdown"));
  exports_.getSdkVersion = reinterpret_cast<aax::GetSdkVersionFn>(find("ACFGetSDKVersion"));
}

ModuleHost::~ModuleHost() {
  definition_ = Ref<aax::IPluginDefinition>();
  if (handle_) {
    if (exports_.shutdown) exports_.shutdown(root_);
    // A host unloads only a module that says it may.
    if (exports_.canUnloadNow && exports_.canUnloadNow() == 0) dlclose(handle_);
  }
}

aax::Result ModuleHost::StartAndRegister() {
  exports_.startup(root_);
  aax::IPluginDefinition* definition = nullptr;
  const aax::Result r = exports_.registerPlugin(root_, &definition);
  definition_ = Ref<aax::IPluginDefinition>(definition);
  return r;
}

const EffectDescriptor* ModuleHost::Effect() const {
  const Collection* c = Description();
  return (c && !c->effects.empty()) ? c->effects.front().second : nullptr;
}

std::unique_ptr<Instance> ModuleHost::CreateInstance(int component, double sampleRate) {
  const EffectDescriptor* effect = Effect();
  if (!effect || component < 0 || component >= static_cast<int>(effect->components.size())) {
    return nullptr;
  }
  const ComponentDescriptor* c = effect->components[component];
  auto create =
      reinterpret_cast<aax::CreateProc>(effect->procs.at(aax::kProcCreateEffectParameters));
  auto gui = reinterpret_cast<aax::CreateProc>(effect->procs.at(aax::kProcCreateEffectGui));
  return std::make_unique<Instance>(create(), c->render, gui,
                                    c->properties->Get(aax::kPropInputStemFormat),
                                    c->properties->Get(aax::kPropOutputStemFormat), sampleRate);
}

}  // namespace sim
