// Resources compiled into a library: a table of {id, type, bytes} generated at configure
// time from a resource list (see ResourceTable.cmake). The table stands in for the module
// handle that resource loaders receive: they get an opaque pointer to a ResourceTable.
// Immutable static data; readable from any thread.
#pragma once

#include <cstdint>
#include <cstring>

namespace qd {

struct ResourceEntry {
  int32_t id;
  const char* type;  // "PNG"
  const unsigned char* bytes;
  int32_t size;
};

struct ResourceTable {
  const ResourceEntry* entries;
  int32_t count;
};

// The entry with this id and type, or null. A null table or type finds nothing.
inline const ResourceEntry* FindResource(const ResourceTable* table, int id, const char* type) {
  if (!table || !type || !table->entries) return nullptr;
  for (int32_t i = 0; i < table->count; ++i) {
    const ResourceEntry& e = table->entries[i];
    if (e.id == id && e.type && std::strcmp(e.type, type) == 0) return &e;
  }
  return nullptr;
}

// The plug-in's own images, numbered by resources/resources.list.
const ResourceTable& PluginResources();

// The module handle that resource loaders receive for the plug-in's own images, and the
// lookup of one resource in such a module. On Windows the handle is the one the library
// received at load and the images are its resources (platform/win); elsewhere it is the
// compiled-in table above.
#ifdef _WIN32
const void* PluginModule();
bool FindModuleResource(const void* module, int id, const char* type, const unsigned char** bytes,
                        int32_t* size);
#else
inline const void* PluginModule() {
  return &PluginResources();
}
inline bool FindModuleResource(const void* module, int id, const char* type,
                               const unsigned char** bytes, int32_t* size) {
  const ResourceEntry* e = FindResource(static_cast<const ResourceTable*>(module), id, type);
  *bytes = e ? e->bytes : nullptr;
  *size = e ? e->size : 0;
  return e && e->bytes;
}
#endif

}  // namespace qd
