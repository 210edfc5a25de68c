// dlopen, dlsym, dlclose and dlerror over LoadLibrary, for code that loads plug-in modules
// by path. Only what a plug-in loader needs: of the flags only RTLD_NODELETE counts (the
// module is pinned; Windows resolves every import at load anyway), and dlerror reports the
// last failure once.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

#define RTLD_LAZY 0x1
#define RTLD_NOW 0x2
#define RTLD_LOCAL 0x0
#define RTLD_GLOBAL 0x100
#define RTLD_NODELETE 0x1000

namespace qd::compat {
inline std::string& LastLoadError() {
  thread_local std::string text;
  return text;
}
inline void RecordLoadError(const char* what) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%s failed (error %lu)", what,
                static_cast<unsigned long>(GetLastError()));
  LastLoadError() = buffer;
}
}  // namespace qd::compat

inline void* dlopen(const char* path, int flags) {
  if (!path) return GetModuleHandleA(nullptr);
  std::string file(path);
  for (char& c : file) {
    if (c == '/') c = '\\';
  }
  HMODULE module = LoadLibraryA(file.c_str());
  if (!module) {
    qd::compat::RecordLoadError("LoadLibrary");
  } else if (flags & RTLD_NODELETE) {
    HMODULE pinned = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN, file.c_str(), &pinned);
  }
  return module;
}

inline void* dlsym(void* module, const char* name) {
  FARPROC proc = GetProcAddress(static_cast<HMODULE>(module), name);
  if (!proc) qd::compat::RecordLoadError("GetProcAddress");
  return reinterpret_cast<void*>(proc);
}

inline int dlclose(void* module) {
  return FreeLibrary(static_cast<HMODULE>(module)) ? 0 : -1;
}

inline const char* dlerror() {
  std::string& text = qd::compat::LastLoadError();
  if (text.empty()) return nullptr;
  thread_local std::string reported;
  reported.swap(text);
  text.clear();
  return reported.c_str();
}
