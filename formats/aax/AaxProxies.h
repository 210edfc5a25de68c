// Proxies of the host's objects. Each holds one host interface pointer (with a reference
// the proxy owns), forwards every call one to one, and releases the pointer when it is
// deleted. A proxy whose host object is absent calls nothing and answers kErrorNullObject
// (or "none" for calls that return an object).
//
// Threads: a proxy has no lock; it is used from the thread of the binding call that uses it
// (description and editor: the host's main thread; transport and controller queries inside
// a render call: the audio thread, where no proxy call allocates).
#pragma once

#include <memory>
#include <stdexcept>

#include "formats/aax/acf/AaxInterfaces.h"

namespace qd {

// An error of the object model raised while a proxy is built; the exports turn it into
// their failure result.
class AcfError : public std::runtime_error {
 public:
  explicit AcfError(aax::Result result)
      : std::runtime_error("object model error"), result_(result) {}
  aax::Result Code() const { return result_; }

 private:
  aax::Result result_;
};

// One owned reference to a host interface.
template <typename I>
class HostRef {
 public:
  HostRef() = default;
  // Adopts a reference the caller already owns.
  explicit HostRef(I* adopted) : p_(adopted) {}
  ~HostRef() { Reset(nullptr); }
  HostRef(const HostRef&) = delete;
  HostRef& operator=(const HostRef&) = delete;

  // Queries `from` for the interface; leaves the reference empty when that fails.
  static HostRef Query(aax::IUnknown* from, const aax::Uid& iid) {
    HostRef ref;
    void* out = nullptr;
    if (from && from->QueryInterface(iid, &out) == aax::kSuccess && out) {
      ref.p_ = static_cast<I*>(out);
    }
    return ref;
  }
  HostRef(HostRef&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
  HostRef& operator=(HostRef&& other) noexcept {
    if (this != &other) {
      Reset(nullptr);
      p_ = other.p_;
      other.p_ = nullptr;
    }
    return *this;
  }

  // Takes a new reference to p (may be null) and releases the old one. Allocates nothing.
  void Reset(I* p) {
    if (p) p->AddRef();
    I* old = p_;
    p_ = p;
    if (old) old->Release();
  }
  I* Get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  I* p_ = nullptr;
};

class AAX_VPropertyMap {
 public:
  explicit AAX_VPropertyMap(aax::IPropertyMap* adopted) : map_(adopted) {}
  aax::Result AddProperty(uint32_t property, int32_t value);
  aax::IPropertyMap* Interface() const { return map_.Get(); }

 private:
  HostRef<aax::IPropertyMap> map_;
};

class AAX_VComponentDescriptor {
 public:
  explicit AAX_VComponentDescriptor(aax::IComponentDescriptor* adopted) : desc_(adopted) {}
  aax::Result AddAudioIn(int32_t field);
  aax::Result AddAudioOut(int32_t field);
  aax::Result AddAudioBufferLength(int32_t field);
  aax::Result AddAuxOutputStem(int32_t field, int32_t stemFormat, const char* name);
  aax::Result AddPrivateData(int32_t field, int32_t size, int32_t options);
  aax::Result AddMeters(int32_t field, const uint32_t* meterIds, uint32_t count);
  aax::Result AddMidiNode(int32_t field, uint32_t nodeType, const char* name, uint32_t mask);
  // A proxy over an empty map when the host gives none.
  std::unique_ptr<AAX_VPropertyMap> NewPropertyMap();
  aax::Result AddProcessProcNative(aax::RenderProc render, AAX_VPropertyMap* properties,
                                   aax::InstanceInitProc init, aax::BackgroundProc background);
  aax::IComponentDescriptor* Interface() const { return desc_.Get(); }

 private:
  HostRef<aax::IComponentDescriptor> desc_;
};

class AAX_VEffectDescriptor {
 public:
  explicit AAX_VEffectDescriptor(aax::IEffectDescriptor* adopted) : desc_(adopted) {}
  std::unique_ptr<AAX_VComponentDescriptor> NewComponentDescriptor();
  aax::Result AddComponent(AAX_VComponentDescriptor* component);
  aax::Result AddName(const char* name);
  aax::Result AddCategory(uint32_t category);
  aax::Result AddProcPtr(void* proc, int32_t procId);
  aax::IEffectDescriptor* Interface() const { return desc_.Get(); }

 private:
  HostRef<aax::IEffectDescriptor> desc_;
};

class AAX_VCollection {
 public:
  // Creates the host's description object through its component factory. Throws AcfError
  // (kAcfOutOfMemory) when the factory answers but yields no object; a host without a
  // factory gives a proxy whose calls answer kErrorNullObject.
  explicit AAX_VCollection(aax::IUnknown* host);
  // None when the host gives no descriptor.
  std::unique_ptr<AAX_VEffectDescriptor> NewDescriptor();
  aax::Result AddEffect(const char* effectId, AAX_VEffectDescriptor* effect);
  aax::Result SetManufacturerName(const char* name);
  aax::Result AddPackageName(const char* name);
  aax::Result SetPackageVersion(uint32_t version);
  // Queries the description object for the plug-in-definition interface.
  aax::Result GetPluginDefinition(aax::IPluginDefinition** out);
  aax::IDescriptionCollection* Interface() const { return collection_.Get(); }

 private:
  HostRef<aax::IDescriptionCollection> collection_;
};

class AAX_VHostServices {
 public:
  explicit AAX_VHostServices(aax::IUnknown* host);
  aax::IHostServices* Interface() const { return services_.Get(); }

 private:
  HostRef<aax::IHostServices> services_;
};

class AAX_VController {
 public:
  explicit AAX_VController(aax::IUnknown* controller)
      : controller_(HostRef<aax::IController>::Query(controller, aax::kIidController)) {}
  aax::Result GetSampleRate(double* rate);
  aax::Result GetInputStemFormat(int32_t* stemFormat);
  aax::Result GetOutputStemFormat(int32_t* stemFormat);
  aax::Result SetSignalLatency(int32_t samples);
  aax::Result GetEffectParameters(aax::IUnknown** out);
  aax::IController* Interface() const { return controller_.Get(); }

 private:
  HostRef<aax::IController> controller_;
};

class AAX_VAutomationDelegate {
 public:
  explicit AAX_VAutomationDelegate(aax::IUnknown* controller)
      : delegate_(
            HostRef<aax::IAutomationDelegate>::Query(controller, aax::kIidAutomationDelegate)) {}
  aax::Result PostTouchRequest(const char* id);
  aax::Result PostSetValueRequest(const char* id, double normalized);
  aax::Result PostReleaseRequest(const char* id);
  aax::Result PostCurrentValue(const char* id, double normalized);
  aax::IAutomationDelegate* Interface() const { return delegate_.Get(); }

 private:
  HostRef<aax::IAutomationDelegate> delegate_;
};

class AAX_VTransport {
 public:
  AAX_VTransport() = default;
  explicit AAX_VTransport(aax::IUnknown* controller)
      : transport_(HostRef<aax::ITransport>::Query(controller, aax::kIidTransport)) {}
  // Points the proxy at another transport (a render call's transport node). Allocates
  // nothing, so the audio thread may call it.
  void Rebind(aax::ITransport* transport) { transport_.Reset(transport); }
  aax::Result GetCurrentTempo(double* bpm);
  aax::Result GetCurrentMeter(int32_t* numerator, int32_t* denominator);
  aax::Result IsTransportPlaying(bool* playing);
  aax::Result GetCurrentTickPosition(int64_t* ticks);
  aax::Result GetCurrentLoopPosition(bool* looping, int64_t* startTick, int64_t* endTick);
  aax::Result GetCurrentNativeSampleLocation(int64_t* sample);
  aax::ITransport* Interface() const { return transport_.Get(); }

 private:
  HostRef<aax::ITransport> transport_;
};

class AAX_VViewContainer {
 public:
  explicit AAX_VViewContainer(aax::IUnknown* container)
      : container_(HostRef<aax::IViewContainer>::Query(container, aax::kIidViewContainer)) {}
  void* GetPtr();  // null without a host object
  aax::Result SetViewSize(const aax::Point& size);
  aax::IViewContainer* Interface() const { return container_.Get(); }

 private:
  HostRef<aax::IViewContainer> container_;
};

}  // namespace qd
