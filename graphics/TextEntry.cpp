#include "graphics/TextEntry.h"

#include "framework/PluginParam.h"

namespace qd {

EntryCharacters EntryCharactersFor(const PluginParam* param) {
  if (!param) return EntryCharacters::kAnyText;
  return param->Kind() == kParamDouble ? EntryCharacters::kDecimal : EntryCharacters::kInteger;
}

bool AcceptEntryCharacter(EntryCharacters rule, uint32_t c) {
  if (rule == EntryCharacters::kAnyText || c == '\b') return true;
  if (c == '+' || c == '-' || (c >= '0' && c <= '9')) return true;
  return c == '.' && rule == EntryCharacters::kDecimal;
}

bool AcceptEntryCharacter(const PluginParam* param, uint32_t c) {
  return AcceptEntryCharacter(EntryCharactersFor(param), c);
}

void TextEntry::Open(Control* control, int32_t paramIndex) {
  open_ = true;
  state_ = kEntryIdle;
  control_ = control;
  paramIndex_ = paramIndex;
}

void TextEntry::Close() {
  open_ = false;
  state_ = kEntryIdle;
  control_ = nullptr;
  paramIndex_ = -1;
}

void TextEntry::FocusGained() {
  if (open_ && (state_ == kEntryIdle || state_ == kEntryRedrawn)) state_ = kEntryFocused;
}

void TextEntry::FocusLost() {
  // Focus moving elsewhere confirms the entry; a cancel already asked for stays a cancel.
  if (open_ && state_ != kEntryCancel) state_ = kEntryCommit;
}

void TextEntry::Confirm() {
  if (open_) state_ = kEntryCommit;
}

void TextEntry::Cancel() {
  if (open_) state_ = kEntryCancel;
}

bool TextEntry::EditorButtonPressed(bool middleButton) {
  if (!open_) return false;
  if (state_ == kEntryFocused) {
    if (!middleButton) state_ = kEntryCancel;
  } else {
    state_ = kEntryCommit;  // a click elsewhere confirms what was typed
  }
  return true;
}

bool TextEntry::EditorWheel() {
  if (!open_) return false;
  if (state_ != kEntryFocused) state_ = kEntryCancel;
  return true;
}

TextEntry::Tick TextEntry::OnTick() {
  if (!open_ || state_ == kEntryIdle) return Tick::kRedraw;
  switch (state_) {
    case kEntryCommit:
      return Tick::kCommit;
    case kEntryCancel:
      return Tick::kCancel;
    case kEntryRedrawn:
      // An open entry without the focus lets the editor redraw on every second tick.
      state_ = kEntryIdle;
      return Tick::kSkip;
    default:
      return Tick::kSkip;  // the user is typing
  }
}

void TextEntry::Redrawn() {
  if (open_) state_ = kEntryRedrawn;
}

}  // namespace qd
