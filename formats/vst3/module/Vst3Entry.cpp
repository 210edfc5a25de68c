// The entry points of the VST3 module. A host calls ModuleEntry (Linux) or InitDll (Windows)
// after loading the library and the matching exit function before unloading it, and gets the
// class factory from GetPluginFactory; every instance comes from the factory. Entry and exit
// calls are counted, so nested loads pair up. No exception leaves these functions.
#include <atomic>
#include <memory>

#include "effect/Parameters.h"
#include "effect/QuarloDorvantix.h"
#include "formats/vst3/Vst3Abi.h"
#include "formats/vst3/Vst3ClassId.h"
#include "formats/vst3/Vst3Factory.h"
#ifndef _WIN32  // on Windows the load notification installs the editor window
#include "graphics/x11/GraphicsX11.h"
#endif

namespace {

std::atomic<int> entries{0};

std::unique_ptr<qd::PluginBase> CreatePlugin() {
  return std::make_unique<qd::QuarloDorvantix>(qd::PortLabels::kPerBus);
}

// "2.0.6" from 0x20006.
struct VersionText {
  char text[16];
  constexpr explicit VersionText(int version) : text{} {
    int at = 0;
    const int parts[3] = {version >> 16, (version >> 8) & 0xFF, version & 0xFF};
    for (int i = 0; i < 3; ++i) {
      if (i > 0) text[at++] = '.';
      int v = parts[i];
      if (v >= 100) text[at++] = static_cast<char>('0' + v / 100);
      if (v >= 10) text[at++] = static_cast<char>('0' + v / 10 % 10);
      text[at++] = static_cast<char>('0' + v % 10);
    }
  }
};
constexpr VersionText kVersion(qd::kPluginVersion);

qd::vst3::Factory& TheFactory() {
  static qd::vst3::Factory factory({qd::vst3::kPluginClassId, qd::kEffectName, qd::kMakerName,
                                    kVersion.text, "Fx|Dynamics", &CreatePlugin});
  return factory;
}

// The editor of every instance is an X11 child window of the host's window (on Windows the
// load notification installs the Win32 window instead).
void InstallEditorWindow() {
#ifndef _WIN32
  static const bool x11Installed = (qd::InstallX11Graphics(), true);
  (void)x11Installed;
#endif
}

bool Enter() noexcept {
  try {
    InstallEditorWindow();
    ++entries;
    return true;
  } catch (...) {
    return false;
  }
}

bool Exit() noexcept {
  int now = entries.load();
  while (now > 0 && !entries.compare_exchange_weak(now, now - 1)) {
  }
  return now > 0;
}

}  // namespace

#ifdef _WIN32
#define QD_EXPORT  // the module-definition file lists the DLL's exports
#else
#define QD_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

QD_EXPORT qd::vst3::IPluginFactory* GetPluginFactory() {
  try {
    InstallEditorWindow();  // for hosts that skip the entry function
    qd::vst3::Factory& factory = TheFactory();
    factory.addRef();
    return &factory;
  } catch (...) {
    return nullptr;
  }
}

#ifdef _WIN32
QD_EXPORT bool InitDll() {
  return Enter();
}
QD_EXPORT bool ExitDll() {
  return Exit();
}
#else
QD_EXPORT bool ModuleEntry(void*) {
  return Enter();
}
QD_EXPORT bool ModuleExit() {
  return Exit();
}
#endif

}  // extern "C"
