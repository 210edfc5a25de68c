#include "formats/aax/AaxProxies.h"

namespace qd {

namespace {

// Forwards to the host object, or answers kErrorNullObject without calling anything.
template <typename I, typename Fn>
aax::Result Forward(const HostRef<I>& ref, Fn&& fn) {
  if (!ref) return aax::kErrorNullObject;
  return fn(ref.Get());
}

// Creates an object of the host's class through the host's component factory.
template <typename I>
HostRef<I> CreateThroughFactory(aax::IUnknown* host, const aax::Uid& clsid, const aax::Uid& iid) {
  auto factory = HostRef<aax::IComponentFactory>::Query(host, aax::kIidComponentFactory);
  if (!factory) return HostRef<I>();
  void* out = nullptr;
  factory.Get()->CreateInstance(nullptr, clsid, iid, &out);
  if (!out) throw AcfError(aax::kAcfOutOfMemory);
  return HostRef<I>(static_cast<I*>(out));
}

}  // namespace

aax::Result AAX_VPropertyMap::AddProperty(uint32_t property, int32_t value) {
  return Forward(map_, [&](aax::IPropertyMap* m) { return m->AddProperty(property, value); });
}

aax::Result AAX_VComponentDescriptor::AddAudioIn(int32_t field) {
  return Forward(desc_, [&](aax::IComponentDescriptor* d) { return d->AddAudioIn(field); });
}

aax::Result AAX_VComponentDescriptor::AddAudioOut(int32_t field) {
  return Forward(desc_, [&](aax::IComponentDescriptor* d) { return d->AddAudioOut(field); });
}

aax::Result AAX_VComponentDescriptor::AddAudioBufferLength(int32_t field) {
  return Forward(desc_,
                 [&](aax::IComponentDescriptor* d) { return d->AddAudioBufferLength(field); });
}

aax::Result AAX_VComponentDescriptor::AddAuxOutputStem(int32_t field, int32_t stemFormat,
                                                       const char* name) {
  return Forward(desc_, [&](aax::IComponentDescriptor* d) {
    return d->AddAuxOutputStem(field, stemFormat, name);
  });
}

aax::Result AAX_VComponentDescriptor::AddPrivateData(int32_t field, int32_t size, int32_t options) {
  return Forward(
      desc_, [&](aax::IComponentDescriptor* d) { return d->AddPrivateData(field, size, options); });
}

aax::Result AAX_VComponentDescriptor::AddMeters(int32_t field, const uint32_t* meterIds,
                                                uint32_t count) {
  return Forward(
      desc_, [&](aax::IComponentDescriptor* d) { return d->AddMeters(field, meterIds, count); });
}

aax::Result AAX_VComponentDescriptor::AddMidiNode(int32_t field, uint32_t nodeType,
                                                  const char* name, uint32_t mask) {
  return Forward(desc_, [&](aax::IComponentDescriptor* d) {
    return d->AddMidiNode(field, nodeType, name, mask);
  });
}

std::unique_ptr<AAX_VPropertyMap> AAX_VComponentDescriptor::NewPropertyMap() {
  return std::make_unique<AAX_VPropertyMap>(desc_ ? desc_.Get()->NewPropertyMap() : nullptr);
}

aax::Result AAX_VComponentDescriptor::AddProcessProcNative(aax::RenderProc render,
                                                           AAX_VPropertyMap* properties,
                                                           aax::InstanceInitProc init,
                                                           aax::BackgroundProc background) {
  return Forward(desc_, [&](aax::IComponentDescriptor* d) {
    return d->AddProcessProcNative(render, properties ? properties->Interface() : nullptr, init,
                                   background);
  });
}

std::unique_ptr<AAX_VComponentDescriptor> AAX_VEffectDescriptor::NewComponentDescriptor() {
  return std::make_unique<AAX_VComponentDescriptor>(desc_ ? desc_.Get()->NewComponentDescriptor()
                                                          : nullptr);
}

aax::Result AAX_VEffectDescriptor::AddComponent(AAX_VComponentDescriptor* component) {
  return Forward(desc_, [&](aax::IEffectDescriptor* d) {
    return d->AddComponent(component ? component->Interface() : nullptr);
  });
}

aax::Result AAX_VEffectDescriptor::AddName(const char* name) {
  return Forward(desc_, [&](aax::IEffectDescriptor* d) { return d->AddName(name); });
}

aax::Result AAX_VEffectDescriptor::AddCategory(uint32_t category) {
  return Forward(desc_, [&](aax::IEffectDescriptor* d) { return d->AddCategory(category); });
}

aax::Result AAX_VEffectDescriptor::AddProcPtr(void* proc, int32_t procId) {
  return Forward(desc_, [&](aax::IEffectDescriptor* d) { return d->AddProcPtr(proc, procId); });
}

AAX_VCollection::AAX_VCollection(aax::IUnknown* host)
    : collection_(CreateThroughFactory<aax::IDescriptionCollection>(
          host, aax::kClsidDescription, aax::kIidDescriptionCollection)) {}

std::unique_ptr<AAX_VEffectDescriptor> AAX_VCollection::NewDescriptor() {
  aax::IEffectDescriptor* desc = collection_ ? collection_.Get()->NewDescriptor() : nullptr;
  if (!desc) return nullptr;
  return std::make_unique<AAX_VEffectDescriptor>(desc);
}

aax::Result AAX_VCollection::AddEffect(const char* effectId, AAX_VEffectDescriptor* effect) {
  return Forward(collection_, [&](aax::IDescriptionCollection* c) {
    return c->AddEffect(effectId, effect ? effect->Interface() : nullptr);
  });
}

aax::Result AAX_VCollection::SetManufacturerName(const char* name) {
  return Forward(collection_,
                 [&](aax::IDescriptionCollection* c) { return c->SetManufacturerName(name); });
}

aax::Result AAX_VCollection::AddPackageName(const char* name) {
  return Forward(collection_,
                 [&](aax::IDescriptionCollection* c) { return c->AddPackageName(name); });
}

aax::Result AAX_VCollection::SetPackageVersion(uint32_t version) {
  return Forward(collection_,
                 [&](aax::IDescriptionCollection* c) { return c->SetPackageVersion(version); });
}

aax::Result AAX_VCollection::GetPluginDefinition(aax::IPluginDefinition** out) {
  if (!out) return aax::kErrorNullObject;
  *out = nullptr;
  return Forward(collection_, [&](aax::IDescriptionCollection* c) {
    void* p = nullptr;
    const aax::Result r = c->QueryInterface(aax::kIidPluginDefinition, &p);
    *out = static_cast<aax::IPluginDefinition*>(p);
    return (r == aax::kSuccess && p) ? aax::kSuccess : aax::kErrorNullObject;
  });
}

AAX_VHostServices::AAX_VHostServices(aax::IUnknown* host)
    : services_(CreateThroughFactory<aax::IHostServices>(host, aax::kClsidHostServices,
                                                         aax::kIidHostServices)) {}

aax::Result AAX_VController::GetSampleRate(double* rate) {
  return Forward(controller_, [&](aax::IController* c) { return c->GetSampleRate(rate); });
}

aax::Result AAX_VController::GetInputStemFormat(int32_t* stemFormat) {
  return Forward(controller_,
                 [&](aax::IController* c) { return c->GetInputStemFormat(stemFormat); });
}

aax::Result AAX_VController::GetOutputStemFormat(int32_t* stemFormat) {
  return Forward(controller_,
                 [&](aax::IController* c) { return c->GetOutputStemFormat(stemFormat); });
}

aax::Result AAX_VController::SetSignalLatency(int32_t samples) {
  return Forward(controller_, [&](aax::IController* c) { return c->SetSignalLatency(samples); });
}

aax::Result AAX_VController::GetEffectParameters(aax::IUnknown** out) {
  return Forward(controller_, [&](aax::IController* c) { return c->GetEffectParameters(out); });
}

aax::Result AAX_VAutomationDelegate::PostTouchRequest(const char* id) {
  return Forward(delegate_, [&](aax::IAutomationDelegate* d) { return d->PostTouchRequest(id); });
}

aax::Result AAX_VAutomationDelegate::PostSetValueRequest(const char* id, double normalized) {
  return Forward(delegate_, [&](aax::IAutomationDelegate* d) {
    return d->PostSetValueRequest(id, normalized);
  });
}

aax::Result AAX_VAutomationDelegate::PostReleaseRequest(const char* id) {
  return Forward(delegate_, [&](aax::IAutomationDelegate* d) { return d->PostReleaseRequest(id); });
}

aax::Result AAX_VAutomationDelegate::PostCurrentValue(const char* id, double normalized) {
  return Forward(delegate_,
                 [&](aax::IAutomationDelegate* d) { return d->PostCurrentValue(id, normalized); });
}

aax::Result AAX_VTransport::GetCurrentTempo(double* bpm) {
  return Forward(transport_, [&](aax::ITransport* t) { return t->GetCurrentTempo(bpm); });
}

aax::Result AAX_VTransport::GetCurrentMeter(int32_t* numerator, int32_t* denominator) {
  return Forward(transport_,
                 [&](aax::ITransport* t) { return t->GetCurrentMeter(numerator, denominator); });
}

aax::Result AAX_VTransport::IsTransportPlaying(bool* playing) {
  return Forward(transport_, [&](aax::ITransport* t) { return t->IsTransportPlaying(playing); });
}

aax::Result AAX_VTransport::GetCurrentTickPosition(int64_t* ticks) {
  return Forward(transport_, [&](aax::ITransport* t) { return t->GetCurrentTickPosition(ticks); });
}

aax::Result AAX_VTransport::GetCurrentLoopPosition(bool* looping, int64_t* startTick,
                                                   int64_t* endTick) {
  return Forward(transport_, [&](aax::ITransport* t) {
    return t->GetCurrentLoopPosition(looping, startTick, endTick);
  });
}

aax::Result AAX_VTransport::GetCurrentNativeSampleLocation(int64_t* sample) {
  return Forward(transport_,
                 [&](aax::ITransport* t) { return t->GetCurrentNativeSampleLocation(sample); });
}

void* AAX_VViewContainer::GetPtr() {
  return container_ ? container_.Get()->GetPtr() : nullptr;
}

aax::Result AAX_VViewContainer::SetViewSize(const aax::Point& size) {
  return Forward(container_, [&](aax::IViewContainer* v) { return v->SetViewSize(size); });
}

}  // namespace qd
