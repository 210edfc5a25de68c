// The one-line text entry that edits a parameter's value, as every editor window runs it: its
// states, what each event does to them, what the redraw tick does while an entry is open, and
// which typed characters are kept. The window owns the native box (creating it, drawing it,
// reading its text) and reports the box's and the editor's events here; this holds no window
// and draws nothing.
//
// Threads: editor thread only, like the window that drives it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qd {

class Control;
class PluginParam;

// An entry's state.
enum EntryState : int32_t {
  kEntryIdle = 0,     // open without the keyboard focus, or no entry
  kEntryFocused = 1,  // the box has the keyboard focus: the user is typing
  kEntryRedrawn = 2,  // the editor redrew while the entry was open
  kEntryCancel = 3,   // cancel requested, carried out by the next tick
  kEntryCommit = 4,   // commit requested, carried out by the next tick
};

// Characters the box takes, besides the text it starts with.
enum class EntryCharacters {
  kAnyText,  // no parameter: the control takes the text itself
  kInteger,  // bool, integer and enum parameters: '+', '-', '0'..'9'
  kDecimal,  // continuous parameters: as kInteger, and '.'
};

// The committed text is read up to this many characters.
constexpr size_t kEntryCommitTextMax = 32;

EntryCharacters EntryCharactersFor(const PluginParam* param);
// Whether a typed character is kept: backspace always; every character without a parameter;
// otherwise only the characters of the rule.
bool AcceptEntryCharacter(EntryCharacters rule, uint32_t character);
bool AcceptEntryCharacter(const PluginParam* param, uint32_t character);

class TextEntry {
 public:
  // What the window's redraw tick does.
  enum class Tick {
    kRedraw,  // redraw the dirty controls as usual, then call Redrawn if anything was drawn
    kSkip,    // draw nothing on this tick
    kCommit,  // commit the box's text, then Close
    kCancel,  // discard the box, then Close
  };

  // A box was opened for the control and parameter (-1: none); it starts idle.
  void Open(Control* control, int32_t paramIndex);
  // The box is gone (settled, or destroyed with the window): no entry, state idle.
  void Close();

  bool IsOpen() const { return open_; }
  // The user is typing into the box: the editor neither redraws nor takes input.
  bool HasFocus() const { return open_ && state_ == kEntryFocused; }
  EntryState State() const { return state_; }
  Control* EntryControl() const { return control_; }
  int32_t ParamIndex() const { return paramIndex_; }

  // ---- events of the box ----
  // A commit or cancel already requested is not undone by a focus change before the tick
  // carries it out.
  void FocusGained();
  void FocusLost();
  void Confirm();  // Enter
  void Cancel();   // Escape

  // ---- events of the editor window ----
  // A button pressed in the editor: with the box focused a left or right press cancels;
  // with the box open but not focused any press commits. True when an entry is open, so
  // the editor itself does nothing with the press.
  bool EditorButtonPressed(bool middleButton);
  // A wheel notch in the editor: cancels an open entry that is not focused. True when an
  // entry is open, so the editor does not scroll.
  bool EditorWheel();

  // ---- the redraw tick ----
  Tick OnTick();
  // The tick redrew dirty controls (after Tick::kRedraw).
  void Redrawn();

 private:
  bool open_ = false;
  EntryState state_ = kEntryIdle;
  Control* control_ = nullptr;
  int32_t paramIndex_ = -1;
};

}  // namespace qd
