// The text entry's box on X11: a child window of the editor over the control's rectangle that
// shows a LineEditor (text, selection, caret) in the control's entry colours and font. Keys
// edit the text; focus changes, Enter and Escape go to the shared TextEntry, whose state the
// editor's tick settles. Editor thread only; the caller holds an X11ErrorTrap.
#pragma once

#include <X11/Xlib.h>

#include <string>

#include "graphics/GraphicsTypes.h"
#include "graphics/TextEntry.h"
#include "graphics/x11/LineEditor.h"
#include "graphics/x11/X11Image.h"

namespace qd {

class X11TextEntry {
 public:
  // Creates, shows and focuses the box at `rect` (the editor's client coordinates, right
  // and bottom included) holding `text`, all of it selected. `style.font` is the font it
  // draws with (none: only the caret is drawn). False when no window could be made.
  bool Open(Display* display, Window parent, const X11Visual& visual, Colormap colormap,
            const Bounds& rect, const TextStyle& style, const char* text, int32_t limit,
            EntryCharacters characters);
  // Destroys the box; returns the editor's rectangle it covered (empty when none was open).
  Bounds Close();
  // The box was destroyed with its parent: forgets it without asking the server.
  void Forget();

  bool IsOpen() const { return window_ != 0; }
  Window Handle() const { return window_; }
  const LineEditor& Editor() const { return editor_; }
  // The text a commit reads (at most kEntryCommitTextMax characters).
  std::string CommitText() const;

  // An event of the box's window.
  void HandleEvent(XEvent& event, TextEntry& entry);

 private:
  void Draw();

  Display* display_ = nullptr;
  Window window_ = 0;
  GC gc_ = nullptr;
  X11Visual visual_;
  Bounds rect_;  // in the editor
  TextStyle style_;
  LineEditor editor_;
};

}  // namespace qd
