#include "platform/win/Module.h"

#include <windows.h>

#include <atomic>

#include "resources/ResourceTable.h"

namespace qd {

namespace {
std::atomic<void*> g_module{nullptr};
}

void SetPluginModule(void* module) {
  g_module.store(module);
}

const void* PluginModule() {
  return g_module.load();
}

bool FindModuleResource(const void* module, int id, const char* type, const unsigned char** bytes,
                        int32_t* size) {
  *bytes = nullptr;
  *size = 0;
  if (!module || !type) return false;
  HMODULE handle = static_cast<HMODULE>(const_cast<void*>(module));
  HRSRC info = ::FindResourceA(handle, MAKEINTRESOURCEA(id), type);
  if (!info) return false;
  const DWORD length = ::SizeofResource(handle, info);
  HGLOBAL loaded = ::LoadResource(handle, info);
  const void* data = loaded ? ::LockResource(loaded) : nullptr;
  if (!data) return false;
  *bytes = static_cast<const unsigned char*>(data);
  *size = static_cast<int32_t>(length);
  return true;
}

}  // namespace qd
