// The host's editor mode on Windows: the plug-in's editor in a top-level window of its own,
// audio played through the plug-in at real-time pace (the output is dropped) between the
// window's messages. The same loop as the X11 session; only the window differs.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "tools/host/EditorSession.h"
#include "tools/host/HostError.h"

namespace qd::host {

namespace {

using Clock = std::chrono::steady_clock;

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE) {
    auto* closed = reinterpret_cast<bool*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (closed) *closed = true;
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// A fixed-size top-level window whose client area holds the editor.
class HostWindow {
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

  HWND Id() const { return window_; }
  // Dispatches this thread's messages (the editor's timer and input among them); false once
  // the user closed the window.
  bool StillOpen() {
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

double RunEditorSession(HostedPlugin& plugin, const AudioSource& source,
                        const EditorSessionOptions& options, std::ostream& out) {
  vst2::ERect* rect = nullptr;
  if (!(plugin.Effect().flags & vst2::kEffFlagsHasEditor) ||
      !plugin.Dispatch(vst2::effEditGetRect, 0, 0, &rect) || !rect) {
    throw HostError(plugin.EffectName() + " has no editor");
  }
  const int width = std::max(1, rect->right - rect->left);
  const int height = std::max(1, rect->bottom - rect->top);
  HostWindow window(plugin.EffectName() + " - qdhost", width, height);
  if (!plugin.Dispatch(vst2::effEditOpen, 0, 0, window.Id())) {
    throw HostError(plugin.EffectName() + " did not open its editor");
  }
  out << "Editor of " << plugin.EffectName() << " open; playing at real-time pace"
      << (options.seconds > 0.0 ? "" : " until the window is closed") << "\n"
      << std::flush;

  const int block = plugin.BlockSize();
  const int channels = std::max(1, options.channels);
  std::vector<double> frames(static_cast<size_t>(block) * channels);
  std::vector<std::vector<double>> inputs(plugin.InputCount(), std::vector<double>(block));
  std::vector<std::vector<double>> outputs(plugin.OutputCount(), std::vector<double>(block));
  std::vector<double*> inPtrs, outPtrs;
  for (auto& b : inputs) inPtrs.push_back(b.data());
  for (auto& b : outputs) outPtrs.push_back(b.data());

  const double rate = options.sampleRate;
  const int64_t limit = options.seconds > 0.0 ? static_cast<int64_t>(options.seconds * rate) : -1;
  int64_t played = 0;
  Clock::time_point start = Clock::now();
  bool playing = true;
  while (playing && window.StillOpen()) {
    // Audio: every block whose time has come; more than half a second behind (a menu held
    // the thread) restarts the clock instead of catching up in a burst.
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    int64_t due = static_cast<int64_t>(elapsed * rate);
    if (due - played > static_cast<int64_t>(rate / 2)) {
      start = Clock::now() - std::chrono::duration_cast<Clock::duration>(
                                 std::chrono::duration<double>(played / rate));
      due = played;
    }
    while (playing && played < due) {
      int n = static_cast<int>(std::min<int64_t>(block, due - played));
      if (limit >= 0) n = static_cast<int>(std::min<int64_t>(n, limit - played));
      n = n > 0 ? source(frames.data(), n) : 0;
      if (n <= 0) {
        playing = false;
        break;
      }
      for (size_t c = 0; c < inputs.size(); ++c) {
        const int from = channels == 1 ? 0 : static_cast<int>(c);
        for (int k = 0; k < n; ++k) {
          inputs[c][k] = from < channels ? frames[static_cast<size_t>(k) * channels + from] : 0.0;
        }
      }
      plugin.Process(inPtrs.data(), outPtrs.data(), n);
      played += n;
    }
    // The editor's own timer redraws it; the idle call is for hosts' sake.
    plugin.Dispatch(vst2::effEditIdle);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  plugin.Dispatch(vst2::effEditClose);
  return played / rate;
}

}  // namespace qd::host
