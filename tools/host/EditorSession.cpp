// The window of the host's editor mode on X11: a fixed-size top-level window whose events
// are read between audio blocks. The session itself is tools/host/EditorPlayback.cpp.
#include "tools/host/EditorSession.h"

#include <cstdint>
#include <memory>
#include <string>

#include "tools/host/EditorPlayback.h"
#include "tools/host/HostError.h"

// Xlib defines macros with common names (Status, None, Bool): it comes after our headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace qd::host {

namespace {

// The display connection and the top-level window the editor lives in.
class HostWindow final : public EditorHostWindow {
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

  void* ParentHandle() const override {
    return reinterpret_cast<void*>(static_cast<uintptr_t>(window_));
  }
  // Reads this window's events; false once the user closed it.
  bool StillOpen() override {
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

std::unique_ptr<EditorHostWindow> MakeEditorHostWindow(const std::string& title, int width,
                                                       int height) {
  return std::make_unique<HostWindow>(title, width, height);
}

}  // namespace qd::host
