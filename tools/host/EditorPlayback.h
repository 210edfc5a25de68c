// The host's editor mode on every platform: RunEditorSession (EditorSession.h) makes the
// platform's window, opens the plug-in's editor in it, plays audio through the plug-in at
// real-time pace between the window's events, and closes the editor. A platform provides
// only the window.
#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "tools/host/EditorSession.h"

namespace qd::host {

// The window the editor lives in, as the loop sees it.
class EditorHostWindow {
 public:
  virtual ~EditorHostWindow() = default;
  // What effEditOpen is given as the parent.
  virtual void* ParentHandle() const = 0;
  // Handles the window's pending events (the editor's among them on Windows); false once the
  // user closed the window.
  virtual bool StillOpen() = 0;
};

// A fixed-size top-level window of this platform whose client area is width x height;
// throws HostError when it cannot be made. Defined by the platform's session file
// (tools/host/EditorSession.cpp for X11, tools/host/win/EditorSessionWin.cpp for Win32).
std::unique_ptr<EditorHostWindow> MakeEditorHostWindow(const std::string& title, int width,
                                                       int height);

}  // namespace qd::host
