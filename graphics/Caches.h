// The process-wide lists shared by every editor in the process: decoded bitmaps by resource
// id, every frame strip loaded, and fonts by size, orientation, style and name. Each has its
// own lock, held only for one search or one append and never together with another; the
// objects they hold live until the module is unloaded (or the process ends). Editor threads
// only.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "graphics/GraphicsTypes.h"
#include "graphics/bitmap/PixBitmap.h"
#include "graphics/bitmap/PixFont.h"

namespace qd {

class BitmapCache {
 public:
  static BitmapCache& Instance();
  // The bitmap decoded for this id, or null when none has been added.
  PixBitmap* Find(int32_t id);
  // Adds the bitmap (taking ownership) unless one for the id was added meanwhile; returns
  // the bitmap that the cache holds for the id afterwards (may be null).
  PixBitmap* Add(int32_t id, std::unique_ptr<PixBitmap> bitmap);

 private:
  std::mutex mutex_;
  struct Record {
    int32_t id;
    std::unique_ptr<PixBitmap> bitmap;
  };
  std::vector<Record> records_;
};

class FrameStripList {
 public:
  static FrameStripList& Instance();
  // Appends a record and returns the strip of the record appended.
  FrameStrip Append(int32_t id, const char* name, const FrameStrip& strip);
  int32_t Count();

 private:
  std::mutex mutex_;
  struct Record {
    int32_t id;
    std::string name;
    FrameStrip strip;
  };
  std::vector<Record> records_;
};

class FontCache {
 public:
  static FontCache& Instance();
  PixCachedFont* Find(int32_t size, int32_t orientation, int32_t style, const char* name);
  // Adds the font unless one with the same key was added meanwhile; returns the cached one.
  PixCachedFont* Add(int32_t size, int32_t orientation, int32_t style, const char* name,
                     std::unique_ptr<PixCachedFont> font);

 private:
  std::mutex mutex_;
  struct Record {
    int32_t size, orientation, style;
    std::string name;
    std::unique_ptr<PixCachedFont> font;
  };
  PixCachedFont* FindLocked(int32_t size, int32_t orientation, int32_t style, const char* name);
  std::vector<Record> records_;
};

}  // namespace qd
