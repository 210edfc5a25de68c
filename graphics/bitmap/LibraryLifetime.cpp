#include "graphics/bitmap/LibraryLifetime.h"

#ifndef _WIN32
#include <dlfcn.h>
#endif

namespace qd {

void KeepLibraryLoaded(const void* symbol) {
#ifndef _WIN32
  Dl_info info{};
  if (!symbol || dladdr(symbol, &info) == 0 || !info.dli_fname) return;
  // RTLD_NOLOAD only finds the library already loaded; RTLD_NODELETE marks it never to be
  // unloaded. The handle is deliberately never closed.
  dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
#else
  (void)symbol;
#endif
}

}  // namespace qd
