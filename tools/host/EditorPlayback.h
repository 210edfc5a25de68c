// The playback loop of the host's editor mode, shared by the X11 and the Win32 sessions:
// opens the plug-in's editor in a window the session made, plays audio through the plug-in
// at real-time pace between the window's events, and closes the editor.
#pragma once

#include <ostream>

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

struct EditorSize {
  int width = 0, height = 0;
};

// The editor's size from effEditGetRect; throws HostError when the plug-in has no editor.
EditorSize EditorSizeOf(HostedPlugin& plugin);

// Opens the editor in `window` and plays until the window is closed, the source ends or the
// time is up; returns the seconds played. Throws HostError when the editor does not open.
double PlayWithEditor(HostedPlugin& plugin, EditorHostWindow& window, const AudioSource& source,
                      const EditorSessionOptions& options, std::ostream& out);

}  // namespace qd::host
