#include "graphics/x11/X11ErrorTrap.h"

namespace qd {

namespace {
// The innermost live trap of this thread; each trap links to the one it nests in.
thread_local X11ErrorTrap* innermost = nullptr;
// The handler that was installed when the outermost trap of any thread was made.
int (*saved)(Display*, XErrorEvent*) = nullptr;
}  // namespace

X11ErrorTrap::X11ErrorTrap(Display* display) : display_(display), outer_(innermost) {
  if (!outer_) {
    previous_ = XSetErrorHandler(&X11ErrorTrap::Handler);
    if (previous_ == &X11ErrorTrap::Handler) previous_ = saved;  // another thread's trap
    saved = previous_;
  }
  innermost = this;
}

X11ErrorTrap::~X11ErrorTrap() {
  if (display_) XSync(display_, False);
  innermost = outer_;
  if (!outer_) XSetErrorHandler(previous_);
}

bool X11ErrorTrap::SyncAndCheck() {
  if (display_) XSync(display_, False);
  const bool failed = failed_;
  failed_ = false;
  return failed;
}

int X11ErrorTrap::Handler(Display* display, XErrorEvent* event) {
  for (X11ErrorTrap* trap = innermost; trap; trap = trap->outer_) {
    if (trap->display_ == display) {
      trap->failed_ = true;
      return 0;
    }
  }
  // Not one of ours: hand it to whoever handled errors before.
  if (saved && saved != &X11ErrorTrap::Handler) return saved(display, event);
  return 0;
}

}  // namespace qd
