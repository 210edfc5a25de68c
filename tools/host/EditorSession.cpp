#include "tools/host/EditorSession.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "tools/host/HostError.h"

// Xlib defines macros with common names (Status, None, Bool): it comes after our headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace qd::host {

namespace {

using Clock = std::chrono::steady_clock;

// The display connection and the top-level window the editor lives in.
class HostWindow {
 public:
  HostWindow(const std::string& title, int width, int height) {
    display_ = XOpenDisplay(nullptr);
    if (!display_) throw HostError("cannot open the X display (is DISPLAY set?)");
    const int screen = DefaultScreen(display_);
    window_ = XCreateSimpleWindow(display_, RootWindow(display_, screen), 0, 0,
                                  static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                                  BlackPixel(display_, screen), BlackPixel(display_, screen));
    XStoreName(display_, window_, title.c_str());
    XSizeHints* hints = XAllocSizeHints();
    if (hints) {
      hints->flags = PMinSize | PMaxSize;
      hints->min_width = hints->max_width = width;
      hints->min_height = hints->max_height = height;
      XSetWMNormalHints(display_, window_, hints);
      XFree(hints);
    }
    deleteWindow_ = XInternAtom(display_, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display_, window_, &deleteWindow_, 1);
    XSelectInput(display_, window_, StructureNotifyMask);
    XMapWindow(display_, window_);
    XSync(display_, False);
  }
  ~HostWindow() {
    if (window_ && !destroyed_) XDestroyWindow(display_, window_);
    XCloseDisplay(display_);
  }
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  Window Id() const { return window_; }
  // Reads this window's events; false once the user closed it.
  bool StillOpen() {
    while (XPending(display_)) {
      XEvent event;
      XNextEvent(display_, &event);
      if (event.type == ClientMessage &&
          static_cast<Atom>(event.xclient.data.l[0]) == deleteWindow_) {
        closed_ = true;
      } else if (event.type == DestroyNotify && event.xdestroywindow.window == window_) {
        closed_ = destroyed_ = true;
      }
    }
    return !closed_;
  }

 private:
  Display* display_ = nullptr;
  Window window_ = 0;
  Atom deleteWindow_ = 0;
  bool closed_ = false;
  bool destroyed_ = false;
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
  if (!plugin.Dispatch(vst2::effEditOpen, 0, 0,
                       reinterpret_cast<void*>(static_cast<uintptr_t>(window.Id())))) {
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
    // Audio: every block whose time has come. More than half a second behind (the editor
    // held the thread) restarts the clock instead of catching up in a burst.
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
    // The editor: events, redraw tick, menus and text entries.
    plugin.Dispatch(vst2::effEditIdle);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  plugin.Dispatch(vst2::effEditClose);
  return played / rate;
}

}  // namespace qd::host
