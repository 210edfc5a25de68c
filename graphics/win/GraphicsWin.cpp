#include "graphics/win/GraphicsWin.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>

#include "framework/PluginParam.h"
#include "graphics/Controls.h"

namespace qd {

namespace {

constexpr char kClassName[] = "PluginWndClass";
constexpr UINT_PTR kTimerId = 2;
constexpr int kEntryId = 99;

// Open editor windows of this module; the class is registered while this is above 0.
std::atomic<int32_t> g_windowCount{0};
// The frame rate for the timer of the window being created.
std::atomic<int32_t> g_frameRate{30};

HWND Hwnd(void* window) {
  return static_cast<HWND>(window);
}

LRESULT CALLBACK EditorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    SetTimer(window, kTimerId, static_cast<UINT>(1000 / std::max(1, g_frameRate.load())), nullptr);
    return 0;
  }
  auto* self = reinterpret_cast<GraphicsWin*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (!self) return DefWindowProcA(window, message, wParam, lParam);
  return self->HandleMessage(window, message, wParam, lParam);
}

LRESULT CALLBACK EntryProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<GraphicsWin*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (!self) return DefWindowProcA(window, message, wParam, lParam);
  return self->HandleEntryMessage(window, message, wParam, lParam);
}

MouseKeys KeysFrom(WPARAM wParam) {
  MouseKeys keys;
  keys.left = (wParam & MK_LBUTTON) != 0;
  keys.right = (wParam & MK_RBUTTON) != 0;
  keys.shift = (wParam & MK_SHIFT) != 0;
  keys.control = (wParam & MK_CONTROL) != 0;
  keys.alt = GetKeyState(VK_MENU) < 0;
  return keys;
}

int32_t XFrom(LPARAM lParam) {
  return static_cast<int16_t>(LOWORD(lParam));
}
int32_t YFrom(LPARAM lParam) {
  return static_cast<int16_t>(HIWORD(lParam));
}

COLORREF ColourRef(const Argb& c) {
  return RGB(static_cast<BYTE>(c.r), static_cast<BYTE>(c.g), static_cast<BYTE>(c.b));
}

// Builds the native menu. Each menu first reserves one id per item, in order; its submenus
// then take ids from the counter as they are built.
HMENU BuildMenu(const Menu& menu, int32_t* nextId) {
  HMENU native = CreatePopupMenu();
  if (!native) return nullptr;
  const int32_t base = *nextId;
  *nextId += static_cast<int32_t>(menu.items.size());
  for (size_t i = 0; i < menu.items.size(); ++i) {
    const MenuItem& item = menu.items[i];
    if (item.flags & kMenuSeparator) {
      AppendMenuA(native, MF_SEPARATOR, 0, nullptr);
      continue;
    }
    std::string text = item.text;
    if (menu.prefix >= 1 && menu.prefix <= 3) {
      static const char* const formats[] = {"%1d: %s", "%02d: %s", "%03d: %s"};
      char buffer[512];
      std::snprintf(buffer, sizeof buffer, formats[menu.prefix - 1], static_cast<int>(i + 1),
                    item.text.c_str());
      text = buffer;
    }
    if (item.submenu) {
      HMENU child = BuildMenu(*item.submenu, nextId);
      AppendMenuA(native, MF_POPUP, reinterpret_cast<UINT_PTR>(child), text.c_str());
      continue;
    }
    UINT flags = MF_STRING;
    if (item.flags & kMenuDisabled) flags |= MF_GRAYED;
    if (item.flags & kMenuTitle) flags |= MF_DISABLED;
    if (item.flags & kMenuChecked) flags |= MF_CHECKED;
    AppendMenuA(native, flags, static_cast<UINT_PTR>(base + static_cast<int32_t>(i)), text.c_str());
  }
  return native;
}

// The menu and index an id stands for, walking the menus in the order BuildMenu numbered them.
Menu* FindMenuItem(Menu& menu, int32_t* nextId, int32_t id, int32_t* index) {
  const int32_t base = *nextId;
  const int32_t count = static_cast<int32_t>(menu.items.size());
  *nextId += count;
  if (id >= base && id < base + count && !menu.items[static_cast<size_t>(id - base)].submenu) {
    *index = id - base;
    return &menu;
  }
  for (MenuItem& item : menu.items) {
    if (item.submenu && !(item.flags & kMenuSeparator)) {
      if (Menu* found = FindMenuItem(*item.submenu, nextId, id, index)) return found;
    }
  }
  return nullptr;
}

}  // namespace

void* BuildNativeMenu(const Menu& menu, int32_t* nextId) {
  return BuildMenu(menu, nextId);
}

Menu* FindMenuForId(Menu& menu, int32_t id, int32_t* index) {
  int32_t walk = 0;
  return FindMenuItem(menu, &walk, id, index);
}

int32_t KeyCodeForVirtualKey(uint32_t vk) {
  if (vk == VK_SPACE) return kKeySpace;
  if (vk == VK_UP) return kKeyUp;
  if (vk == VK_DOWN) return kKeyDown;
  if (vk == VK_LEFT) return kKeyLeft;
  if (vk == VK_RIGHT) return kKeyRight;
  if (vk >= '0' && vk <= '9') return kKeyDigit0 + static_cast<int32_t>(vk - '0');
  if (vk >= 'A' && vk <= 'Z') return kKeyLetterA + static_cast<int32_t>(vk - 'A');
  if (vk >= 'a' && vk <= 'z') return kKeyLetterA + static_cast<int32_t>(vk - 'a');
  return -1;
}

GraphicsWin::GraphicsWin(ParamHost* plugin, int32_t width, int32_t height, int32_t framesPerSecond)
    : Graphics(plugin, width, height, framesPerSecond) {}

GraphicsWin::~GraphicsWin() {
  CloseNativeWindow();
}

int32_t GraphicsWin::OpenWindowCount() {
  return g_windowCount.load();
}

void* GraphicsWin::ModuleInstance() const {
  // The module that holds this code, which registers the class and owns the windows.
  HMODULE module = nullptr;
  GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&EditorProc), &module);
  return module;
}

void* GraphicsWin::OpenNativeWindow(void* parent) {
  HWND parentWindow = Hwnd(parent);
  int x = 0, y = 0, w = Width(), h = Height();
  if (window_) {
    // Reopening keeps the window's place and size relative to the parent.
    RECT r;
    if (GetWindowRect(Hwnd(window_), &r)) {
      MapWindowPoints(HWND_DESKTOP, parentWindow, reinterpret_cast<POINT*>(&r), 2);
      x = r.left;
      y = r.top;
      w = r.right - r.left;
      h = r.bottom - r.top;
    }
    CloseNativeWindow();
  }
  parent_ = parent;
  HINSTANCE instance = static_cast<HINSTANCE>(ModuleInstance());
  if (g_windowCount.fetch_add(1) == 0) {
    WNDCLASSA wc{};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = EditorProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = kClassName;
    RegisterClassA(&wc);
  }
  g_frameRate.store(FramesPerSecond());
  HWND window = CreateWindowExA(0, kClassName, "Plugin", WS_CHILD | WS_VISIBLE, x, y, w, h,
                                parentWindow, nullptr, instance, this);
  if (!window) {
    if (g_windowCount.fetch_sub(1) == 1) UnregisterClassA(kClassName, instance);
    return nullptr;
  }
  window_ = window;
  return window_;
}

void GraphicsWin::CloseNativeWindow() {
  if (!window_) return;
  HWND window = Hwnd(window_);
  // Detach first: the messages sent while the window is destroyed find no object.
  SetWindowLongPtrA(window, GWLP_USERDATA, 0);
  if (entryWindow_ && entryPreviousProc_) {
    SetWindowLongPtrA(Hwnd(entryWindow_), GWLP_WNDPROC, entryPreviousProc_);
  }
  DestroyWindow(window);  // its child windows and its timer go with it
  ForgetTextEntry();
  window_ = nullptr;
  if (g_windowCount.fetch_sub(1) == 1) {
    UnregisterClassA(kClassName, static_cast<HINSTANCE>(ModuleInstance()));
  }
}

void GraphicsWin::ForgetTextEntry() {
  if (entryFont_) DeleteObject(static_cast<HGDIOBJ>(entryFont_));
  entryFont_ = nullptr;
  entryWindow_ = nullptr;
  entryPreviousProc_ = 0;
  entry_.Close();
}

bool GraphicsWin::CopyToScreen(const Bounds& rect) {
  if (!window_ || rect.IsEmpty()) return false;
  PixBitmap* bitmap = DrawBitmap();
  HDC source = bitmap ? static_cast<HDC>(bitmap->DrawingContext()) : nullptr;
  if (!source) return false;
  HDC target = paintContext_ ? static_cast<HDC>(paintContext_) : GetDC(Hwnd(window_));
  if (!target) return false;
  const BOOL ok = BitBlt(target, rect.left, rect.top, rect.right - rect.left,
                         rect.bottom - rect.top, source, rect.left, rect.top, SRCCOPY);
  if (!paintContext_) ReleaseDC(Hwnd(window_), target);
  return ok != FALSE;
}

intptr_t GraphicsWin::HandleMessage(void* handle, uint32_t message, uintptr_t wParam,
                                    intptr_t lParam) {
  HWND window = Hwnd(handle);
  // While the entry has the focus the editor does nothing else: a click cancels the entry,
  // everything else (timer and paint included) goes to the default procedure.
  if (entry_.HasFocus()) {
    if (message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN || message == WM_MBUTTONDOWN) {
      entry_.EditorButtonPressed(message == WM_MBUTTONDOWN);
    }
    return DefWindowProcA(window, message, wParam, lParam);
  }
  switch (message) {
    case WM_TIMER: {
      if (wParam != kTimerId) break;
      switch (entry_.OnTick()) {
        case TextEntry::Tick::kCommit:
        case TextEntry::Tick::kCancel:
          SettleTextEntry();
          return 0;
        case TextEntry::Tick::kSkip:
          return 0;
        case TextEntry::Tick::kRedraw:
          break;
      }
      Bounds dirty;
      if (NeedsRedraw(&dirty)) {
        RECT r{dirty.left, dirty.top, dirty.right, dirty.bottom};
        InvalidateRect(window, &r, FALSE);
        if (entry_.IsOpen()) {
          // Keep the box from being painted over.
          RECT e{entryRect_.left, entryRect_.top, entryRect_.right, entryRect_.bottom};
          ValidateRect(window, &e);
        }
        UpdateWindow(window);
        entry_.Redrawn();
      }
      return 0;
    }
    case WM_PAINT: {
      RECT update;
      const bool any = GetUpdateRect(window, &update, FALSE) != FALSE;
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(window, &ps);
      if (any && dc && update.right > update.left && update.bottom > update.top) {
        paintContext_ = dc;
        Draw(Bounds{update.left, update.top, update.right, update.bottom});
        paintContext_ = nullptr;
      }
      EndPaint(window, &ps);
      return 0;
    }
    case WM_SIZE:
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      return 0;
    case WM_CLOSE:
      CloseNativeWindow();
      return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      if (entry_.EditorButtonPressed(message == WM_MBUTTONDOWN)) return 0;
      SetFocus(window);
      SetCapture(window);
      OnMouseDown(XFrom(lParam), YFrom(lParam), KeysFrom(wParam));
      return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      ReleaseCapture();
      OnMouseUp(XFrom(lParam), YFrom(lParam), KeysFrom(wParam));
      return 0;
    case WM_LBUTTONDBLCLK:
      if (OnMouseDblClick(XFrom(lParam), YFrom(lParam), KeysFrom(wParam))) SetCapture(window);
      return 0;
    case WM_MOUSEMOVE:
      if (wParam & (MK_LBUTTON | MK_RBUTTON)) {
        if (GetCapture() == window && !entry_.IsOpen()) {
          OnMouseDrag(XFrom(lParam), YFrom(lParam), KeysFrom(wParam));
        }
      } else {
        OnMouseOver(XFrom(lParam), YFrom(lParam), KeysFrom(wParam));
      }
      return 0;
    case WM_MOUSEWHEEL: {
      if (entry_.EditorWheel()) return 0;
      RECT r;
      GetWindowRect(window, &r);
      const int notches = GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA;
      OnMouseWheel(XFrom(lParam) - r.left, YFrom(lParam) - r.top,
                   KeysFrom(GET_KEYSTATE_WPARAM(wParam)), static_cast<float>(notches));
      return 0;
    }
    case WM_KEYDOWN:
    case WM_KEYUP: {
      if (message == WM_KEYDOWN) {
        const int32_t key = KeyCodeForVirtualKey(static_cast<uint32_t>(wParam));
        if (key >= 0) {
          POINT p{};
          GetCursorPos(&p);
          ScreenToClient(window, &p);
          if (OnKeyDown(p.x, p.y, key)) return 0;
        }
      }
      // Keys the editor does not use belong to the host's main window.
      if (HWND root = GetAncestor(window, GA_ROOT); root && root != window) {
        SendMessageA(root, message, wParam, lParam);
      }
      return DefWindowProcA(window, message, wParam, lParam);
    }
    case WM_CTLCOLOREDIT:
      if (entry_.EntryControl() && reinterpret_cast<HWND>(lParam) == Hwnd(entryWindow_)) {
        HDC dc = reinterpret_cast<HDC>(wParam);
        const TextStyle& style = entry_.EntryControl()->Style();
        SetBkColor(dc, ColourRef(style.entryBackground));
        SetTextColor(dc, ColourRef(style.entryForeground));
        SetBkMode(dc, OPAQUE);
        return reinterpret_cast<intptr_t>(GetStockObject(DC_BRUSH));
      }
      break;
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// ------------------------------------------------------------------------------- pop-up menu

Menu* GraphicsWin::PopupMenu(Menu& menu, const Bounds& rect) {
  ReleaseMouseCapture();
  if (!window_) return nullptr;
  HWND window = Hwnd(window_);
  int32_t nextId = 0;
  HMENU native = BuildMenu(menu, &nextId);
  if (!native) return nullptr;
  POINT at{rect.left, rect.bottom};
  ClientToScreen(window, &at);
  Menu* chosen = nullptr;
  if (TrackPopupMenu(native, TPM_LEFTALIGN | TPM_LEFTBUTTON, at.x, at.y, 0, window, nullptr)) {
    MSG msg;
    if (PeekMessageA(&msg, window, WM_COMMAND, WM_COMMAND, PM_REMOVE) && HIWORD(msg.wParam) == 0) {
      int32_t index = -1;
      chosen = FindMenuForId(menu, static_cast<int32_t>(LOWORD(msg.wParam)), &index);
      if (chosen) chosen->chosenItem = index;
    }
  }
  DestroyMenu(native);
  InvalidateRect(window, nullptr, FALSE);
  return chosen;
}

// -------------------------------------------------------------------------------- text entry

void GraphicsWin::PromptTextEntry(Control* control, int32_t paramIndex, const Bounds& rect,
                                  const char* initialText) {
  if (entryWindow_ || !window_ || !control) return;  // one at a time
  const TextStyle& style = control->Style();
  DWORD styles = WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL | ES_MULTILINE;
  if (style.align == kAlignCentre) styles |= ES_CENTER;
  if (style.align == kAlignRight) styles |= ES_RIGHT;
  HINSTANCE instance = static_cast<HINSTANCE>(ModuleInstance());
  HWND entry =
      CreateWindowExA(0, "EDIT", initialText ? initialText : "", styles, rect.left, rect.top,
                      rect.right - rect.left + 1, rect.bottom - rect.top + 1, Hwnd(window_),
                      reinterpret_cast<HMENU>(static_cast<intptr_t>(kEntryId)), instance, nullptr);
  if (!entry) return;
  HFONT font = CreateFontA(style.size, 0, 0, 0, style.style == kTextBold ? FW_BOLD : FW_DONTCARE,
                           style.style == kTextItalic ? TRUE : FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           DEFAULT_PITCH | FF_DONTCARE, style.fontName);
  entryWindow_ = entry;
  entryFont_ = font;
  entryRect_ = rect;
  entry_.Open(control, paramIndex);
  if (font) SendMessageA(entry, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  SendMessageA(entry, EM_LIMITTEXT, static_cast<WPARAM>(control->TextEntryLimit()), 0);
  SendMessageA(entry, EM_SETSEL, 0, -1);
  SetWindowLongPtrA(entry, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  entryPreviousProc_ =
      SetWindowLongPtrA(entry, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&EntryProc));
  SetFocus(entry);
}

intptr_t GraphicsWin::HandleEntryMessage(void* handle, uint32_t message, uintptr_t wParam,
                                         intptr_t lParam) {
  HWND entry = Hwnd(handle);
  auto previous = reinterpret_cast<WNDPROC>(entryPreviousProc_);
  const PluginParam* param = Plugin() ? Plugin()->GetParam(entry_.ParamIndex()) : nullptr;
  switch (message) {
    case WM_SETFOCUS:
      entry_.FocusGained();
      break;  // the box still draws its caret
    case WM_KILLFOCUS:
      entry_.FocusLost();
      break;
    case WM_KEYDOWN:
      if (wParam == VK_RETURN) {
        entry_.Confirm();
        return 0;
      }
      if (wParam == VK_ESCAPE) {
        entry_.Cancel();
        return 0;
      }
      break;
    case WM_CHAR:
      if (!AcceptEntryCharacter(param, static_cast<uint32_t>(wParam))) return 0;
      break;
    case WM_COMMAND:
      if (HIWORD(wParam) == 1) {
        entry_.Confirm();
        return 0;
      }
      break;
    case WM_GETDLGCODE:
      if (!param) {
        return (previous ? CallWindowProcA(previous, entry, message, wParam, lParam) : 0) |
               DLGC_WANTALLKEYS;
      }
      break;
    default:
      break;
  }
  return previous ? CallWindowProcA(previous, entry, message, wParam, lParam)
                  : DefWindowProcA(entry, message, wParam, lParam);
}

void GraphicsWin::SettleTextEntry() {
  if (!entryWindow_) return;
  HWND entry = Hwnd(entryWindow_);
  std::string text;
  const bool commit = entry_.State() == kEntryCommit;
  if (commit) {
    char buffer[kEntryCommitTextMax + 1] = {};
    GetWindowTextA(entry, buffer, sizeof buffer);
    text = buffer;
  }
  Control* control = entry_.EntryControl();
  const int32_t param = entry_.ParamIndex();
  SetWindowLongPtrA(entry, GWLP_WNDPROC, entryPreviousProc_);
  DestroyWindow(entry);
  ForgetTextEntry();
  if (commit) CommitTextEntry(control, param, text.c_str());
}

void GraphicsWin::CancelTextEntry() {
  if (!entryWindow_) return;
  entry_.Cancel();
  SettleTextEntry();
}

// ---------------------------------------------------------------------- platform services

namespace {
std::string FolderOf(HMODULE module) {
  char path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameA(module, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return {};
  std::string folder(path, n);
  const size_t slash = folder.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
}
}  // namespace

std::string GraphicsWin::HostFolder() const {
  return FolderOf(nullptr);
}

std::string GraphicsWin::PluginFolder() const {
  return FolderOf(static_cast<HMODULE>(ModuleInstance()));
}

double GraphicsWin::ScreenScale() const {
  HDC screen = GetDC(nullptr);
  if (!screen) return 1.0;
  const int dpi = std::max(GetDeviceCaps(screen, LOGPIXELSX), GetDeviceCaps(screen, LOGPIXELSY));
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi / 96.0 : 1.0;
}

bool GraphicsWin::ClipboardText(std::string* text) const {
  if (!text || !OpenClipboard(nullptr)) return false;
  bool ok = false;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* wide = static_cast<const wchar_t*>(GlobalLock(data))) {
      const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
      if (bytes > 0) {
        text->assign(static_cast<size_t>(bytes), '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide, -1, text->data(), bytes, nullptr, nullptr);
        text->resize(static_cast<size_t>(bytes - 1));
        ok = true;
      }
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return ok;
}

bool GraphicsWin::SetParentTransparency(int32_t alpha) {
  HWND parent = Hwnd(parent_);
  if (!window_ || !parent) return false;
  const LONG_PTR style = GetWindowLongPtrA(parent, GWL_EXSTYLE);
  SetWindowLongPtrA(parent, GWL_EXSTYLE, style | WS_EX_LAYERED);
  return SetLayeredWindowAttributes(parent, 0, static_cast<BYTE>(std::clamp(alpha, 0, 255)),
                                    LWA_ALPHA) != FALSE;
}

std::unique_ptr<Graphics> CreateGraphicsWin(ParamHost* plugin, int32_t width, int32_t height,
                                            int32_t framesPerSecond) {
  return std::make_unique<GraphicsWin>(plugin, width, height, framesPerSecond);
}

}  // namespace qd
