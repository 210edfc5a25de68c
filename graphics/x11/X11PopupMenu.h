// The editor's pop-up menu: an override-redirect window at a screen position, drawn with
// the pixel layer, that holds the pointer and keyboard until an item is chosen (click or
// Enter/space on an enabled item) or the menu is dismissed (a click outside, Escape, or the
// owner window going away). Editor thread only; the caller holds an X11ErrorTrap.
#pragma once

#include <X11/Xlib.h>

#include <functional>
#include <string>
#include <vector>

#include "graphics/GraphicsTypes.h"
#include "graphics/x11/X11Image.h"

namespace qd {

class PixFont;

// The menu's geometry in pixels, also used by tests that click an item.
struct MenuLayout {
  static constexpr int kBorder = 1;
  static constexpr int kPadding = 2;  // above the first and below the last item
  static constexpr int kSeparatorHeight = 7;
  static constexpr int kCheckColumn = 20;  // left of the text
  static constexpr int kRightMargin = 16;
  static constexpr int kMinItemHeight = 18;

  int itemHeight = kMinItemHeight;
  int width = 0, height = 0;
  std::vector<int> itemTops;  // top of each item inside the menu window

  // Item tops and the window size for a font of `lineHeight` pixels and the widest text.
  static MenuLayout Make(const Menu& menu, int lineHeight, int widestText, int minWidth);
  // The item at (x, y) inside the window, or -1.
  int ItemAt(const Menu& menu, int x, int y) const;
};

// The text an item shows: its own text, numbered by the menu's prefix style ("%1d: %s",
// "%02d: %s", "%03d: %s" with the 1-based position), and " >" after an item that leads to
// a submenu.
std::string MenuItemLabel(const Menu& menu, int index);

// Whether the item can be chosen: not a separator, title, disabled item or submenu entry.
bool MenuItemSelectable(const MenuItem& item);

class X11PopupMenu {
 public:
  // Events of other windows that arrive while the menu is up go to `other`; it returns
  // false to end the menu without a choice (the owner window was destroyed).
  using OtherEvents = std::function<bool(XEvent&)>;

  X11PopupMenu(Display* display, const X11Visual& visual, Colormap colormap, PixFont* font);

  // Shows the menu with its top-left at the screen position and waits; returns the chosen
  // item's index or -1.
  int Run(const Menu& menu, int screenX, int screenY, int minWidth, const OtherEvents& other);

 private:
  void Paint(const Menu& menu);
  int Step(const Menu& menu, int from, int direction) const;

  Display* display_;
  X11Visual visual_;
  Colormap colormap_;
  PixFont* font_;
  MenuLayout layout_;
  Window window_ = 0;
  GC gc_ = nullptr;
  int highlighted_ = -1;
};

}  // namespace qd
