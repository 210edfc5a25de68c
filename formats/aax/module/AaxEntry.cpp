// The seven exports of the AAX module. A host calls ACFStartup, then ACFRegisterPlugin to
// have the plug-in describe itself; later it creates instances through the two create
// procedures of the description, and unloads the module once ACFCanUnloadNow answers 0.
// No exception leaves an export: any one becomes kAcfUnexpected.
#include <memory>
#include <mutex>

#include "effect/Parameters.h"
#include "effect/QuarloDorvantix.h"
#ifndef _WIN32  // on Windows the load notification installs the editor window
#include "graphics/x11/GraphicsX11.h"
#endif
#include "formats/aax/AaxDescription.h"
#include "formats/aax/AaxGui.h"
#include "formats/aax/AcfObject.h"
#include "formats/aax/PluginAax.h"

namespace {

using namespace qd;

// The process-wide host-services proxy, held from ACFStartup to ACFShutdown.
std::mutex g_servicesLock;
std::unique_ptr<AAX_VHostServices> g_hostServices;

aax::IUnknown* CreateEffectParameters() {
  try {
    // The editor of every instance is an X11 child window of the view container's window.
#ifndef _WIN32
    static const bool x11Installed = (InstallX11Graphics(), true);
    (void)x11Installed;
#endif
    auto* params =
        new AAX_CPluginParameters(std::make_unique<QuarloDorvantix>(PortLabels::kPerBus));
    return static_cast<aax::IEffectParameters*>(params);
  } catch (...) {
    return nullptr;
  }
}

aax::IUnknown* CreateEffectGui() {
  try {
    return static_cast<aax::IEffectGui*>(new AAX_CEffectGUI_Plugin());
  } catch (...) {
    return nullptr;
  }
}

EffectDescription Description() {
  EffectDescription d;
  d.pluginNames = "QuarloDorvantix\n";
  d.channelConfig = kChannelConfig;
  d.manufacturerNames = "Quarlo\n";
  d.effectId = "com.Quarlo.aax.QuarloDorvantix";
  d.manufacturerId = static_cast<uint32_t>(kPluginManufacturerId);
  d.productId = static_cast<uint32_t>(kPluginUniqueId);
  d.packageVersion = static_cast<uint32_t>(kPluginVersion);
  d.nativeIds[0] = aax::FourCc("EFN1");
  d.nativeIds[1] = aax::FourCc("EFN2");
  d.audioSuiteIds[0] = aax::FourCc("EFA1");
  d.audioSuiteIds[1] = aax::FourCc("EFA2");
  d.createEffectParameters = &CreateEffectParameters;
  d.createGui = &CreateEffectGui;
  return d;
}

// Holds the reference the registration takes on the host object.
struct HostReference {
  explicit HostReference(aax::IUnknown* h) : host(h) {
    if (host) host->AddRef();
  }
  ~HostReference() {
    if (host) host->Release();
  }
  aax::IUnknown* host;
};

}  // namespace

#ifdef _WIN32
#define QD_EXPORT extern "C"  // the module-definition file lists the DLL's exports
#else
#define QD_EXPORT extern "C" __attribute__((visibility("default")))
#endif

QD_EXPORT aax::Result ACFRegisterPlugin(aax::IUnknown* host, aax::IPluginDefinition** definition) {
  try {
    if (definition) *definition = nullptr;
    HostReference reference(host);
    AAX_VCollection collection(host);
    const aax::Result result = DescribeEffect(collection, Description());
    if (result == aax::kSuccess) {
      if (collection.GetPluginDefinition(definition) != aax::kSuccess) {
        return aax::kErrorNullObject;
      }
    }
    return result;
  } catch (...) {
    return aax::kAcfUnexpected;
  }
}

QD_EXPORT aax::Result ACFRegisterComponent(aax::IUnknown*, uint32_t, aax::IUnknown** component) {
  if (component) *component = nullptr;
  return aax::kSuccess;
}

QD_EXPORT aax::Result ACFGetClassFactory(aax::IUnknown*, const aax::Uid&, const aax::Uid&,
                                         void** factory) {
  if (factory) *factory = nullptr;
  return aax::kErrorUnimplemented;
}

QD_EXPORT aax::Result ACFCanUnloadNow() {
  return LiveAcfObjects();
}

QD_EXPORT aax::Result ACFStartup(aax::IUnknown* host) {
  try {
    std::lock_guard<std::mutex> lock(g_servicesLock);
    if (!g_hostServices && host) {
      g_hostServices = std::make_unique<AAX_VHostServices>(host);
    } else if (g_hostServices && !host) {
      g_hostServices.reset();
    }
    return aax::kSuccess;
  } catch (...) {
    return aax::kAcfUnexpected;
  }
}

QD_EXPORT aax::Result ACFShutdown(aax::IUnknown*) {
  try {
    std::lock_guard<std::mutex> lock(g_servicesLock);
    g_hostServices.reset();
    return aax::kSuccess;
  } catch (...) {
    return aax::kAcfUnexpected;
  }
}

QD_EXPORT aax::Result ACFGetSDKVersion(uint64_t* version) {
  if (!version) return aax::kAcfPointer;
  *version = aax::kSdkVersion;
  return aax::kSuccess;
}
