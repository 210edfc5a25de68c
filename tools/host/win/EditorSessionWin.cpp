// The window of the host's editor mode on Windows: a fixed-size top-level Win32 window whose
// messages (the editor's timer and input among them) are dispatched between audio blocks.
// The session itself is tools/host/EditorPlayback.cpp, shared with X11.
#include <windows.h>

#include <memory>
#include <string>

#include "tools/host/EditorPlayback.h"
#include "tools/host/HostError.h"

namespace qd::host {

namespace {

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE) {
    auto* closed = reinterpret_cast<bool*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (closed) *closed = true;
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// A fixed-size top-level window whose client area holds the editor.
class HostWindow final : public EditorHostWindow {
 public:
  HostWindow(const std::string& title, int width, int height) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = HostWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = "QdHostEditorWindow";
    RegisterClassA(&wc);
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT r{0, 0, width, height};
    AdjustWindowRect(&r, style, FALSE);
    window_ = CreateWindowExA(0, wc.lpszClassName, title.c_str(), style | WS_VISIBLE, CW_USEDEFAULT,
                              CW_USEDEFAULT, r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                              wc.hInstance, nullptr);
    if (!window_) throw HostError("cannot create the editor's window");
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&closed_));
  }
  ~HostWindow() { DestroyWindow(window_); }
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  void* ParentHandle() const override { return window_; }
  // Dispatches this thread's messages (the editor's timer and input among them); false once
  // the user closed the window.
  bool StillOpen() override {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    return !closed_ && IsWindow(window_);
  }

 private:
  HWND window_ = nullptr;
  bool closed_ = false;
};

}  // namespace

std::unique_ptr<EditorHostWindow> MakeEditorHostWindow(const std::string& title, int width,
                                                       int height) {
  return std::make_unique<HostWindow>(title, width, height);
}

}  // namespace qd::host
