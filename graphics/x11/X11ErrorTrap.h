// Catches the protocol errors that Xlib reports for one display connection while a trap is
// alive, so that a bad window id from a host (or a window the host already destroyed) fails
// a call instead of ending the process through Xlib's default error handler. Errors of
// other connections go on to the handler that was installed before.
//
// Editor thread only. Xlib's error handler is process-wide, so the trap is installed only for
// the duration of one host call (open, idle, close) and the previous handler restored after.
// Traps nest: only the outermost one installs and restores the handler.
#pragma once

#include <X11/Xlib.h>

namespace qd {

class X11ErrorTrap {
 public:
  explicit X11ErrorTrap(Display* display);
  ~X11ErrorTrap();
  X11ErrorTrap(const X11ErrorTrap&) = delete;
  X11ErrorTrap& operator=(const X11ErrorTrap&) = delete;

  // Waits for the server to handle every request sent so far; true when an error of this
  // display arrived since the trap was made or last checked (and clears it).
  bool SyncAndCheck();

 private:
  Display* display_;
  X11ErrorTrap* outer_;
  int (*previous_)(Display*, XErrorEvent*) = nullptr;
  bool failed_ = false;

  static int Handler(Display* display, XErrorEvent* event);
};

}  // namespace qd
