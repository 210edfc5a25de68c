// The load notification of a Windows deliverable: keeps the module handle, through which the
// editor finds its PNG resources, and installs the Windows editor window for new instances.
#include <windows.h>

#include "platform/win/Module.h"

#ifdef QD_WITH_GRAPHICS_WIN
#include "graphics/PlatformGraphics.h"
#include "graphics/win/GraphicsWin.h"
#endif

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    qd::SetPluginModule(instance);
#ifdef QD_WITH_GRAPHICS_WIN
    qd::SetPlatformGraphicsFactory(&qd::CreateGraphicsWin);
#endif
  }
  return TRUE;
}
