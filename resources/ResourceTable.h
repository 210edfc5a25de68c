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

}  // namespace qd
