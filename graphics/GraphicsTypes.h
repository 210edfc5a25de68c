// Value types of the graphics core: mouse state, text styles, frame strips, menus and key
// codes. Plain data; the editor thread builds and reads them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "graphics/bitmap/PixTypes.h"

namespace qd {

class PixBitmap;
class PixCachedFont;

struct MouseKeys {
  bool left = false, right = false, shift = false, control = false, alt = false;
};

enum TextStyleKind : int32_t { kTextNormal = 0, kTextBold = 1, kTextItalic = 2 };
enum TextAlign : int32_t { kAlignLeft = 0, kAlignCentre = 1, kAlignRight = 2 };
enum TextQuality : int32_t {
  kQualityDefault = 0,
  kQualityNonAntialiased = 1,
  kQualityAntialiased = 2,
  kQualityClearType = 3,
};

struct TextStyle {
  char fontName[32] = "Arial";
  int32_t size = 12;  // pixel height of a line
  Argb colour{255, 0, 0, 0};
  Argb entryBackground{255, 255, 255, 255};
  Argb entryForeground{255, 0, 0, 0};
  int32_t style = kTextNormal;
  int32_t align = kAlignCentre;
  int32_t vertical = 0;  // 1 bottom, anything else centred
  int32_t orientation = 0;
  int32_t quality = kQualityDefault;
  PixCachedFont* font = nullptr;  // filled on first use from the process-wide font cache
};

// A loaded image with its frame count; frames stacked vertically unless `horizontal`.
struct FrameStrip {
  PixBitmap* bitmap = nullptr;  // owned by the process-wide bitmap cache
  int32_t width = 0, height = 0;
  int32_t frames = 1;
  bool horizontal = false;

  int32_t FrameWidth() const { return horizontal && frames > 0 ? width / frames : width; }
  int32_t FrameHeight() const { return !horizontal && frames > 0 ? height / frames : height; }
};

enum MenuItemFlags : int32_t {
  kMenuDisabled = 0x1,
  kMenuTitle = 0x2,
  kMenuChecked = 0x4,
  kMenuSeparator = 0x8,
};

struct Menu;
struct MenuItem {
  std::string text;
  std::shared_ptr<Menu> submenu;
  int32_t flags = 0;
};

struct Menu {
  int32_t prefix = 0;       // numbering: 0 none, 1 "%1d: %s", 2 "%02d: %s", 3 "%03d: %s"
  int32_t chosenItem = -1;  // set by the platform when an item is chosen
  std::vector<MenuItem> items;
};

// Key codes handed to OnKeyDown.
enum KeyCode : int32_t {
  kKeySpace = 0,
  kKeyUp = 1,
  kKeyDown = 2,
  kKeyLeft = 3,
  kKeyRight = 4,
  kKeyDigit0 = 5,   // 5..14 digits 0..9
  kKeyLetterA = 15  // 15..40 letters A..Z
};

}  // namespace qd
