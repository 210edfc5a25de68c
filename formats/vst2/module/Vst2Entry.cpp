// The entry points of the VST2 module. A host calls VSTPluginMain (or main, the older
// name) once per plug-in instance with its callback and receives the instance's AEffect;
// the instance lives until the host sends effClose. Instance creation is serialised by a
// process-wide lock. No exception leaves these functions: a failure answers null.
#include <memory>
#include <mutex>

#include "effect/QuarloDorvantix.h"
#include "formats/vst2/PluginVst2.h"
#ifndef _WIN32  // on Windows the load notification installs the editor window
#include "graphics/x11/GraphicsX11.h"
#endif

namespace {

std::mutex& CreationLock() {
  static std::mutex lock;
  return lock;
}

qd::vst2::AEffect* CreateInstance(qd::vst2::HostCallback host) noexcept {
  try {
    std::lock_guard<std::mutex> lock(CreationLock());
    // The editor of every instance is an X11 child window of the host's window.
#ifndef _WIN32
    static const bool x11Installed = (qd::InstallX11Graphics(), true);
    (void)x11Installed;
#endif
    auto binding = std::make_unique<qd::PluginVst2>(
        host, std::make_unique<qd::QuarloDorvantix>(qd::PortLabels::kPerChannel));
    binding->FinishCreation();
    return binding.release()->Effect();
  } catch (...) {
    return nullptr;
  }
}

}  // namespace

#ifdef _WIN32
#define QD_EXPORT  // the module-definition file lists the DLL's exports
#else
#define QD_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

QD_EXPORT qd::vst2::AEffect* VSTPluginMain(qd::vst2::HostCallback host) {
  return CreateInstance(host);
}

// Exported under the symbol name "main", which older Linux hosts look up; it is not the
// program entry of any executable.
QD_EXPORT qd::vst2::AEffect* LegacyVstMain(qd::vst2::HostCallback host) __asm__("main");
qd::vst2::AEffect* LegacyVstMain(qd::vst2::HostCallback host) {
  return CreateInstance(host);
}

}  // extern "C"
