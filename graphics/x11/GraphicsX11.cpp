#include "graphics/x11/GraphicsX11.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "framework/PluginParam.h"
#include "graphics/Controls.h"
#include "graphics/PlatformGraphics.h"
#include "graphics/bitmap/PixFont.h"
#include "graphics/x11/X11ErrorTrap.h"
#include "graphics/x11/X11PopupMenu.h"

namespace qd {

namespace {

constexpr long kEditorEvents = ExposureMask | ButtonPressMask | ButtonReleaseMask |
                               PointerMotionMask | KeyPressMask | KeyReleaseMask |
                               StructureNotifyMask | FocusChangeMask;

Bounds Rect(int x, int y, int w, int h) {
  return {x, y, x + w, y + h};
}

Bounds Join(const Bounds& a, const Bounds& b) {
  return a.IsEmpty() ? b : a.Union(b);
}

// The core's key code for a key, or -1 when the editor has no use for it.
int32_t KeyCodeFor(KeySym key) {
  switch (key) {
    case XK_space:
      return kKeySpace;
    case XK_Up:
      return kKeyUp;
    case XK_Down:
      return kKeyDown;
    case XK_Left:
      return kKeyLeft;
    case XK_Right:
      return kKeyRight;
    default:
      break;
  }
  if (key >= XK_0 && key <= XK_9) return kKeyDigit0 + static_cast<int32_t>(key - XK_0);
  if (key >= XK_a && key <= XK_z) return kKeyLetterA + static_cast<int32_t>(key - XK_a);
  if (key >= XK_A && key <= XK_Z) return kKeyLetterA + static_cast<int32_t>(key - XK_A);
  return -1;
}

}  // namespace

GraphicsX11::~GraphicsX11() {
  CloseNativeWindow();
}

// ------------------------------------------------------------------------ open and close

void* GraphicsX11::OpenNativeWindow(void* parent) {
  Bounds geometry = Rect(0, 0, Width(), Height());
  if (window_) {
    // Opening while open re-creates the window where it was.
    if (display_ && !windowGone_) {
      X11ErrorTrap trap(display_);
      Window root;
      int x = 0, y = 0;
      unsigned w = 0, h = 0, border = 0, depth = 0;
      if (XGetGeometry(display_, window_, &root, &x, &y, &w, &h, &border, &depth) &&
          !trap.SyncAndCheck() && w > 0 && h > 0) {
        geometry = Rect(x, y, static_cast<int>(w), static_cast<int>(h));
      }
    }
    CloseNativeWindow();
  }
  const Window parentWindow = static_cast<Window>(reinterpret_cast<uintptr_t>(parent));
  if (!parentWindow || geometry.Width() <= 0 || geometry.Height() <= 0) return nullptr;
  display_ = XOpenDisplay(nullptr);
  if (!display_) return nullptr;
  bool ok = false;
  {
    X11ErrorTrap trap(display_);
    XWindowAttributes parentAttributes;
    ok = XGetWindowAttributes(display_, parentWindow, &parentAttributes) != 0 &&
         !trap.SyncAndCheck();
    if (ok) {
      const int screen = XScreenNumberOfScreen(parentAttributes.screen);
      visual_ = ChooseX11Visual(display_, screen);
      colormap_ =
          XCreateColormap(display_, RootWindow(display_, screen), visual_.visual, AllocNone);
      XSetWindowAttributes attributes{};
      attributes.background_pixmap = None;  // nothing is erased: every pixel comes from us
      attributes.border_pixel = 0;
      attributes.colormap = colormap_;
      attributes.event_mask = kEditorEvents;
      window_ = XCreateWindow(display_, parentWindow, geometry.left, geometry.top,
                              static_cast<unsigned>(geometry.Width()),
                              static_cast<unsigned>(geometry.Height()), 0, visual_.depth,
                              InputOutput, visual_.visual,
                              CWBackPixmap | CWBorderPixel | CWColormap | CWEventMask, &attributes);
      if (window_) {
        XStoreName(display_, window_, "Plugin");
        gc_ = XCreateGC(display_, window_, 0, nullptr);
        XMapWindow(display_, window_);
      }
      ok = window_ && !trap.SyncAndCheck();
      if (!ok) {
        if (gc_) XFreeGC(display_, gc_);
        if (window_) XDestroyWindow(display_, window_);
        if (colormap_) XFreeColormap(display_, colormap_);
        gc_ = nullptr;
        window_ = 0;
        colormap_ = 0;
      }
    }
  }
  if (!ok) {
    XCloseDisplay(display_);
    display_ = nullptr;
    return nullptr;
  }
  parent_ = parentWindow;
  windowGone_ = false;
  damage_ = {};
  lastTick_ = std::chrono::steady_clock::now() - std::chrono::hours(1);  // first idle ticks
  return reinterpret_cast<void*>(static_cast<uintptr_t>(window_));
}

void GraphicsX11::CloseNativeWindow() {
  if (display_) {
    {
      X11ErrorTrap trap(display_);
      DestroyEntry();
      if (gc_) XFreeGC(display_, gc_);
      // A window the host already destroyed (with its parent) is not destroyed again.
      if (window_ && !windowGone_) XDestroyWindow(display_, window_);
      if (colormap_) XFreeColormap(display_, colormap_);
    }
    XCloseDisplay(display_);
  }
  display_ = nullptr;
  gc_ = nullptr;
  window_ = 0;
  colormap_ = 0;
  parent_ = 0;
  windowGone_ = false;
  captured_ = false;
  havePress_ = false;
  damage_ = {};
  entry_.Close();
}

int GraphicsX11::EventFileDescriptor() const { return display_ ? ConnectionNumber(display_) : -1; }

void* GraphicsX11::NativeWindowHandle() const {
  return window_ ? reinterpret_cast<void*>(static_cast<uintptr_t>(window_)) : nullptr;
}

// ------------------------------------------------------------------------------ idle

void GraphicsX11::Idle() {
  if (!display_) return;
  X11ErrorTrap trap(display_);
  ProcessEvents();
  const auto now = std::chrono::steady_clock::now();
  if (now - lastTick_ >= std::chrono::milliseconds(1000 / FramesPerSecond())) {
    lastTick_ = now;
    OnTimer();
  }
  FlushDamage();
  XFlush(display_);
}

void GraphicsX11::ProcessEvents() {
  while (XPending(display_)) {
    XEvent event;
    XNextEvent(display_, &event);
    HandleEvent(event);
  }
}

void GraphicsX11::OnTimer() {
  switch (entry_.OnTick()) {
    case TextEntry::Tick::kCommit:
      SettleEntry(true);
      return;
    case TextEntry::Tick::kCancel:
      SettleEntry(false);
      return;
    case TextEntry::Tick::kSkip:
      return;
    case TextEntry::Tick::kRedraw:
      break;
  }
  Bounds dirty;
  if (!NeedsRedraw(&dirty)) return;
  damage_ = Join(damage_, dirty);
  entry_.Redrawn();
}

void GraphicsX11::FlushDamage() {
  if (damage_.IsEmpty()) return;
  const Bounds damage = damage_;
  damage_ = {};
  if (windowGone_) return;
  if (entry_.HasFocus()) {
    // The user is typing: show what the draw bitmap holds without redrawing the controls.
    CopyToScreen(damage);
  } else {
    Draw(damage);
  }
}

bool GraphicsX11::CopyToScreen(const Bounds& rect) {
  if (!display_ || !window_ || windowGone_) return false;
  PixBitmap* bitmap = DrawBitmap();
  return bitmap && PutBitmap(display_, window_, gc_, visual_, *bitmap, rect);
}

// ---------------------------------------------------------------------------- events

MouseKeys GraphicsX11::KeysFromState(unsigned state) const {
  MouseKeys keys;
  keys.left = (state & Button1Mask) != 0;
  keys.right = (state & Button3Mask) != 0;
  keys.shift = (state & ShiftMask) != 0;
  keys.control = (state & ControlMask) != 0;
  keys.alt = (state & Mod1Mask) != 0;
  return keys;
}

bool GraphicsX11::HandleEvent(XEvent& event) {
  if (entryBox_.IsOpen() && event.xany.window == entryBox_.Handle()) {
    entryBox_.HandleEvent(event, entry_);
    return true;
  }
  if (!window_ || event.xany.window != window_) return true;
  const bool typing = entry_.HasFocus();
  switch (event.type) {
    case Expose: {
      const XExposeEvent& e = event.xexpose;
      damage_ = Join(damage_, Rect(e.x, e.y, e.width, e.height));
      break;
    }
    case ConfigureNotify:
      damage_ = Rect(0, 0, Width(), Height());  // a new size repaints everything
      break;
    case DestroyNotify:
      if (event.xdestroywindow.window == window_) {
        windowGone_ = true;
        entryBox_.Forget();  // destroyed with its parent
        entry_.Close();
        return false;
      }
      break;
    case ButtonPress:
      HandleButtonPress(event.xbutton);
      break;
    case ButtonRelease: {
      const XButtonEvent& b = event.xbutton;
      if (typing || b.button < Button1 || b.button > Button3) break;
      captured_ = false;
      MouseKeys keys = KeysFromState(b.state);
      if (b.button == Button1) keys.left = false;
      if (b.button == Button3) keys.right = false;
      OnMouseUp(b.x, b.y, keys);
      break;
    }
    case MotionNotify: {
      if (typing) break;
      // Only the latest position of a burst matters: drags add up the steps themselves.
      while (XCheckTypedWindowEvent(display_, window_, MotionNotify, &event)) {
      }
      const XMotionEvent& m = event.xmotion;
      const MouseKeys keys = KeysFromState(m.state);
      if (keys.left || keys.right) {
        if (captured_ && !entry_.IsOpen()) OnMouseDrag(m.x, m.y, keys);
      } else {
        OnMouseOver(m.x, m.y, keys);
      }
      break;
    }
    case KeyPress:
    case KeyRelease:
      HandleKey(event.xkey);
      break;
    default:
      break;
  }
  return true;
}

void GraphicsX11::HandleButtonPress(const XButtonEvent& b) {
  MouseKeys keys = KeysFromState(b.state);
  if (b.button == Button4 || b.button == Button5) {  // one wheel notch
    if (!entry_.EditorWheel()) OnMouseWheel(b.x, b.y, keys, b.button == Button4 ? 1.0f : -1.0f);
    return;
  }
  if (b.button < Button1 || b.button > Button3) return;
  // While an entry is open a press only settles it (TextEntry says how).
  if (entry_.EditorButtonPressed(b.button == Button2)) return;
  if (b.button == Button1) keys.left = true;
  if (b.button == Button3) keys.right = true;
  if (b.button == Button1 && havePress_ && b.time - lastPressTime_ <= kDoubleClickMs &&
      std::abs(b.x - lastPressX_) <= kDoubleClickDistance &&
      std::abs(b.y - lastPressY_) <= kDoubleClickDistance) {
    havePress_ = false;
    captured_ = OnMouseDblClick(b.x, b.y, keys);
    return;
  }
  havePress_ = b.button == Button1;
  lastPressTime_ = b.time;
  lastPressX_ = b.x;
  lastPressY_ = b.y;
  XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
  captured_ = true;
  const Control* hit = GetControl(HitSearch(b.x, b.y));
  const int32_t param = hit ? hit->ParamIndex() : -1;
  menuRan_ = false;
  OnMouseDown(b.x, b.y, keys);
  if (menuRan_) {
    // The menu took the button's release, so the edit that the press began ends here.
    captured_ = false;
    havePress_ = false;
    if (param >= 0 && Plugin()) Plugin()->EndParamEdit(param);
  }
}

void GraphicsX11::HandleKey(XKeyEvent& event) {
  if (event.type == KeyPress) {
    const int32_t code = KeyCodeFor(XLookupKeysym(&event, 0));
    if (code >= 0 && OnKeyDown(event.x, event.y, code)) return;
  }
  ForwardToTopLevel(event);
}

void GraphicsX11::ForwardToTopLevel(XKeyEvent event) {
  // The host's top-level window: the ancestor whose parent is the root.
  Window top = window_;
  for (int depth = 0; depth < 64; ++depth) {
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display_, top, &root, &parent, &children, &count)) return;
    if (children) XFree(children);
    if (!parent || parent == root) break;
    top = parent;
  }
  if (top == window_) return;
  event.window = top;
  event.subwindow = None;
  XSendEvent(display_, top, False, event.type == KeyPress ? KeyPressMask : KeyReleaseMask,
             reinterpret_cast<XEvent*>(&event));
}

// ------------------------------------------------------------------------------ menu

Menu* GraphicsX11::PopupMenu(Menu& menu, const Bounds& rect) {
  ReleaseMouseCapture();
  if (!display_ || !window_ || windowGone_) return nullptr;
  X11ErrorTrap trap(display_);
  int x = 0, y = 0;
  Window child = 0;
  const Window root = DefaultRootWindow(display_);
  if (!XTranslateCoordinates(display_, window_, root, rect.left, rect.bottom, &x, &y, &child)) {
    return nullptr;
  }
  TextStyle style;
  style.size = 13;
  Bounds probe;
  DrawTextStyled(style, "0", &probe, true);  // finds the menu font in the font cache
  X11PopupMenu popup(display_, visual_, colormap_, style.font);
  const int chosen = popup.Run(menu, x, y, rect.Width(), [this](XEvent& event) {
    if (event.xany.window != window_) return true;
    if (event.type == Expose) {
      const XExposeEvent& e = event.xexpose;
      damage_ = Join(damage_, Rect(e.x, e.y, e.width, e.height));
    } else if (event.type == DestroyNotify && event.xdestroywindow.window == window_) {
      windowGone_ = true;  // the host destroyed the editor: the menu ends
      return false;
    }
    return true;  // other input to the editor is dropped while the menu is up
  });
  menuRan_ = true;
  damage_ = Rect(0, 0, Width(), Height());  // the whole editor is repainted after a menu
  if (chosen < 0 || chosen >= static_cast<int>(menu.items.size())) return nullptr;
  menu.chosenItem = chosen;
  return &menu;
}

// ------------------------------------------------------------------------ text entry

void GraphicsX11::PromptTextEntry(Control* control, int32_t paramIndex, const Bounds& rect,
                                  const char* initialText) {
  if (!display_ || !window_ || windowGone_ || entry_.IsOpen() || !control) return;
  const PluginParam* param = Plugin() ? Plugin()->GetParam(paramIndex) : nullptr;
  TextStyle style = control->Style();
  Bounds probe;
  DrawTextStyled(style, "0", &probe, true);  // finds the style's font
  X11ErrorTrap trap(display_);
  // The box takes the focus as it opens, so the entry is open before its first event.
  entry_.Open(control, paramIndex);
  if (!entryBox_.Open(display_, window_, visual_, colormap_, rect, style, initialText,
                      control->TextEntryLimit(), EntryCharactersFor(param))) {
    entry_.Close();
  }
}

void GraphicsX11::CancelTextEntry() {
  DestroyEntry();
}

void GraphicsX11::DestroyEntry() {
  damage_ = Join(damage_, entryBox_.Close());
  entry_.Close();
}

void GraphicsX11::SettleEntry(bool commit) {
  Control* control = entry_.EntryControl();
  const int32_t param = entry_.ParamIndex();
  const std::string text = entryBox_.CommitText();
  DestroyEntry();
  if (commit && control) CommitTextEntry(control, param, text.c_str());
}

// ---------------------------------------------------------------------------- factory

namespace {
std::unique_ptr<Graphics> CreateX11Graphics(ParamHost* plugin, int32_t width, int32_t height,
                                            int32_t framesPerSecond) {
  return std::make_unique<GraphicsX11>(plugin, width, height, framesPerSecond);
}
}  // namespace

void InstallX11Graphics() {
  SetPlatformGraphicsFactory(&CreateX11Graphics);
}

}  // namespace qd
