#include "graphics/x11/X11PopupMenu.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "graphics/bitmap/Blit.h"
#include "graphics/bitmap/PixFont.h"

namespace qd {

namespace {

constexpr PixelWord kBackground = 0xFFF2F2F2;
constexpr PixelWord kFrame = 0xFF7A7A7A;
constexpr PixelWord kHighlight = 0xFF2F6FD0;
constexpr PixelWord kText = 0xFF000000;
constexpr PixelWord kHighlightText = 0xFFFFFFFF;
constexpr PixelWord kDisabledText = 0xFF9A9A9A;
constexpr PixelWord kSeparator = 0xFFC4C4C4;
constexpr int32_t kTextFlags = kTextNoClip | kTextSingleLine | kTextVCentre;

void Fill(PixBitmap& b, int x, int y, int w, int h, PixelWord colour) {
  FillBitmapRect(&b, x, y, w, h, colour, 1.0f, kBlitCopy);
}

// A tick mark of 2 x 2 dots inside the check column, centred on (cx, cy).
void DrawCheck(PixBitmap& b, int cx, int cy, PixelWord colour) {
  for (int i = 0; i <= 3; ++i) Fill(b, cx - 5 + i, cy - 1 + i, 2, 2, colour);
  for (int i = 0; i <= 6; ++i) Fill(b, cx - 2 + i, cy + 2 - i, 2, 2, colour);
}

}  // namespace

std::string MenuItemLabel(const Menu& menu, int index) {
  if (index < 0 || index >= static_cast<int>(menu.items.size())) return {};
  const MenuItem& item = menu.items[static_cast<size_t>(index)];
  std::string label = item.text;
  static constexpr const char* kFormats[] = {"%1d: %s", "%02d: %s", "%03d: %s"};
  if (menu.prefix >= 1 && menu.prefix <= 3) {
    const size_t size = item.text.size() + 32;
    std::vector<char> text(size);
    std::snprintf(text.data(), size, kFormats[menu.prefix - 1], index + 1, item.text.c_str());
    label = text.data();
  }
  if (item.submenu) label += " >";
  return label;
}

bool MenuItemSelectable(const MenuItem& item) {
  return !(item.flags & (kMenuSeparator | kMenuTitle | kMenuDisabled)) && !item.submenu;
}

MenuLayout MenuLayout::Make(const Menu& menu, int lineHeight, int widestText, int minWidth) {
  MenuLayout layout;
  layout.itemHeight = std::max(kMinItemHeight, lineHeight + 6);
  int y = kBorder + kPadding;
  for (const MenuItem& item : menu.items) {
    layout.itemTops.push_back(y);
    y += (item.flags & kMenuSeparator) ? kSeparatorHeight : layout.itemHeight;
  }
  layout.height = y + kPadding + kBorder;
  layout.width = std::max(minWidth, 2 * kBorder + kCheckColumn + widestText + kRightMargin);
  return layout;
}

int MenuLayout::ItemAt(const Menu& menu, int x, int y) const {
  if (x < kBorder || x >= width - kBorder) return -1;
  for (size_t i = 0; i < itemTops.size() && i < menu.items.size(); ++i) {
    const int h = (menu.items[i].flags & kMenuSeparator) ? kSeparatorHeight : itemHeight;
    if (y >= itemTops[i] && y < itemTops[i] + h) return static_cast<int>(i);
  }
  return -1;
}

X11PopupMenu::X11PopupMenu(Display* display, const X11Visual& visual, Colormap colormap,
                           PixFont* font)
    : display_(display), visual_(visual), colormap_(colormap), font_(font) {}

int X11PopupMenu::Step(const Menu& menu, int from, int direction) const {
  const int n = static_cast<int>(menu.items.size());
  int i = from < 0 ? (direction > 0 ? -1 : n) : from;
  for (int tries = 0; tries < n; ++tries) {
    i = (i + direction + n) % n;
    if (MenuItemSelectable(menu.items[static_cast<size_t>(i)])) return i;
  }
  return from;
}

void X11PopupMenu::Paint(const Menu& menu) {
  PixMemBitmap bitmap(layout_.width, layout_.height);
  if (!bitmap.HasPixels()) return;
  ClearBitmap(&bitmap, kBackground);
  const int w = layout_.width, h = layout_.height;
  Fill(bitmap, 0, 0, w, 1, kFrame);
  Fill(bitmap, 0, h - 1, w, 1, kFrame);
  Fill(bitmap, 0, 0, 1, h, kFrame);
  Fill(bitmap, w - 1, 0, 1, h, kFrame);
  for (size_t i = 0; i < menu.items.size(); ++i) {
    const MenuItem& item = menu.items[i];
    const int top = layout_.itemTops[i];
    if (item.flags & kMenuSeparator) {
      Fill(bitmap, MenuLayout::kBorder + 2, top + MenuLayout::kSeparatorHeight / 2,
           w - 2 * MenuLayout::kBorder - 4, 1, kSeparator);
      continue;
    }
    const bool lit = static_cast<int>(i) == highlighted_;
    if (lit) {
      Fill(bitmap, MenuLayout::kBorder, top, w - 2 * MenuLayout::kBorder, layout_.itemHeight,
           kHighlight);
    }
    const PixelWord colour =
        !MenuItemSelectable(item) && !item.submenu ? kDisabledText : (lit ? kHighlightText : kText);
    if (item.flags & kMenuChecked) {
      DrawCheck(bitmap, MenuLayout::kBorder + MenuLayout::kCheckColumn / 2,
                top + layout_.itemHeight / 2, colour);
    }
    if (font_) {
      const std::string label = MenuItemLabel(menu, static_cast<int>(i));
      Bounds r{MenuLayout::kBorder + MenuLayout::kCheckColumn, top, w - MenuLayout::kRightMargin,
               top + layout_.itemHeight};
      font_->SetTextColour(colour);
      font_->DrawText(&bitmap, label.c_str(), -1, &r, kTextFlags);
    }
  }
  PutBitmap(display_, window_, gc_, visual_, bitmap, Bounds{0, 0, w, h});
}

int X11PopupMenu::Run(const Menu& menu, int screenX, int screenY, int minWidth,
                      const OtherEvents& other) {
  if (!display_ || menu.items.empty()) return -1;
  int widest = 0;
  if (font_) {
    for (size_t i = 0; i < menu.items.size(); ++i) {
      const std::string label = MenuItemLabel(menu, static_cast<int>(i));
      if (label.empty()) continue;
      Bounds extent;
      font_->DrawText(nullptr, label.c_str(), -1, &extent, kTextFlags | kTextMeasure);
      widest = std::max(widest, extent.Width());
    }
  }
  layout_ = MenuLayout::Make(menu, font_ ? font_->LineHeight() : 14, widest, minWidth);

  // Keep the menu on the screen: above the position when there is no room below.
  const int screen = DefaultScreen(display_);
  const int screenW = DisplayWidth(display_, screen), screenH = DisplayHeight(display_, screen);
  int x = std::clamp(screenX, 0, std::max(0, screenW - layout_.width));
  int y = screenY;
  if (y + layout_.height > screenH) y = std::max(0, screenY - layout_.height);

  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  attributes.background_pixmap = None;
  attributes.border_pixel = 0;
  attributes.colormap = colormap_;
  attributes.event_mask =
      ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask;
  window_ = XCreateWindow(
      display_, RootWindow(display_, screen), x, y, static_cast<unsigned>(layout_.width),
      static_cast<unsigned>(layout_.height), 0, visual_.depth, InputOutput, visual_.visual,
      CWOverrideRedirect | CWBackPixmap | CWBorderPixel | CWColormap | CWEventMask, &attributes);
  if (!window_) return -1;
  gc_ = XCreateGC(display_, window_, 0, nullptr);
  XMapRaised(display_, window_);

  // Without the pointer the menu could never see the click that dismisses it, so a menu
  // that cannot grab it does not stay.
  bool grabbed = false;
  for (int attempt = 0; attempt < 20 && !grabbed; ++attempt) {
    grabbed = XGrabPointer(display_, window_, False,
                           ButtonPressMask | ButtonReleaseMask | PointerMotionMask, GrabModeAsync,
                           GrabModeAsync, None, None, CurrentTime) == GrabSuccess;
    if (!grabbed) usleep(10000);
  }
  const bool keyboard = grabbed && XGrabKeyboard(display_, window_, False, GrabModeAsync,
                                                 GrabModeAsync, CurrentTime) == GrabSuccess;
  highlighted_ = -1;
  int chosen = -1;
  bool open = grabbed;
  if (open) Paint(menu);
  while (open) {
    if (!XPending(display_)) {
      pollfd fd{ConnectionNumber(display_), POLLIN, 0};
      poll(&fd, 1, 100);
      continue;
    }
    XEvent event;
    XNextEvent(display_, &event);
    if (event.xany.window != window_) {
      if (!other(event)) open = false;
      continue;
    }
    switch (event.type) {
      case Expose:
        if (event.xexpose.count == 0) Paint(menu);
        break;
      case MotionNotify: {
        int item = layout_.ItemAt(menu, event.xmotion.x, event.xmotion.y);
        if (item >= 0 && !MenuItemSelectable(menu.items[static_cast<size_t>(item)])) item = -1;
        if (item != highlighted_) {
          highlighted_ = item;
          Paint(menu);
        }
        break;
      }
      case ButtonPress: {
        const XButtonEvent& b = event.xbutton;
        const bool inside = b.x >= 0 && b.y >= 0 && b.x < layout_.width && b.y < layout_.height;
        if (!inside && b.button <= Button3) open = false;  // a click outside dismisses
        break;
      }
      case ButtonRelease: {
        const XButtonEvent& b = event.xbutton;
        if (b.button > Button3) break;
        // The release of the click that opened the menu lands outside it and is ignored.
        const int item = layout_.ItemAt(menu, b.x, b.y);
        if (item >= 0 && MenuItemSelectable(menu.items[static_cast<size_t>(item)])) {
          chosen = item;
          open = false;
        }
        break;
      }
      case KeyPress: {
        const KeySym key = XLookupKeysym(&event.xkey, 0);
        if (key == XK_Escape) {
          open = false;
        } else if (key == XK_Down || key == XK_Up) {
          highlighted_ = Step(menu, highlighted_, key == XK_Down ? 1 : -1);
          Paint(menu);
        } else if (key == XK_Home || key == XK_End) {
          highlighted_ = Step(menu, -1, key == XK_Home ? 1 : -1);
          Paint(menu);
        } else if ((key == XK_Return || key == XK_KP_Enter || key == XK_space) &&
                   highlighted_ >= 0) {
          chosen = highlighted_;
          open = false;
        }
        break;
      }
      default:
        break;
    }
  }
  if (keyboard) XUngrabKeyboard(display_, CurrentTime);
  if (grabbed) XUngrabPointer(display_, CurrentTime);
  XFreeGC(display_, gc_);
  XDestroyWindow(display_, window_);
  XSync(display_, False);
  // Events the menu window received before it went (late exposures) are dropped.
  XEvent stale;
  while (XCheckWindowEvent(display_, window_, ~0L, &stale)) {
  }
  gc_ = nullptr;
  window_ = 0;
  return chosen;
}

}  // namespace qd
