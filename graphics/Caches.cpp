#include "graphics/Caches.h"

#include <cstring>

namespace qd {

// The three lists are objects of the module: a host that unloads the plug-in gets their memory
// back (they are destroyed when the module is unloaded, or at exit).
BitmapCache& BitmapCache::Instance() {
  static BitmapCache cache;
  return cache;
}

PixBitmap* BitmapCache::Find(int32_t id) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const Record& r : records_) {
    if (r.id == id && r.bitmap) return r.bitmap.get();
  }
  return nullptr;
}

PixBitmap* BitmapCache::Add(int32_t id, std::unique_ptr<PixBitmap> bitmap) {
  std::lock_guard<std::mutex> lock(mutex_);
  // Two editors may have decoded the same id at once; the first one added wins.
  for (const Record& r : records_) {
    if (r.id == id && r.bitmap) return r.bitmap.get();
  }
  PixBitmap* raw = bitmap.get();
  records_.push_back({id, std::move(bitmap)});
  return raw;
}

FrameStripList& FrameStripList::Instance() {
  static FrameStripList list;
  return list;
}

FrameStrip FrameStripList::Append(int32_t id, const char* name, const FrameStrip& strip) {
  std::lock_guard<std::mutex> lock(mutex_);
  records_.push_back({id, name ? name : "", strip});
  return records_.back().strip;
}

int32_t FrameStripList::Count() {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int32_t>(records_.size());
}

FontCache& FontCache::Instance() {
  // The font library starts first, so it is shut down after the fonts made with it.
  EnsureFontLibrary();
  static FontCache cache;
  return cache;
}

PixCachedFont* FontCache::FindLocked(int32_t size, int32_t orientation, int32_t style,
                                     const char* name) {
  for (const Record& r : records_) {
    if (r.size == size && r.orientation == orientation && r.style == style && r.name == name) {
      return r.font.get();
    }
  }
  return nullptr;
}

PixCachedFont* FontCache::Find(int32_t size, int32_t orientation, int32_t style, const char* name) {
  std::lock_guard<std::mutex> lock(mutex_);
  return FindLocked(size, orientation, style, name ? name : "");
}

PixCachedFont* FontCache::Add(int32_t size, int32_t orientation, int32_t style, const char* name,
                              std::unique_ptr<PixCachedFont> font) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (PixCachedFont* existing = FindLocked(size, orientation, style, name ? name : "")) {
    return existing;
  }
  PixCachedFont* raw = font.get();
  records_.push_back({size, orientation, style, name ? name : "", std::move(font)});
  return raw;
}

}  // namespace qd
