// The text entry's states and character rules, which both editor windows drive: what each
// event of the box and of the editor does, what the redraw tick does, and which characters
// are typed in for each kind of parameter.
#include "graphics/TextEntry.h"

#include <gtest/gtest.h>

#include <string>

#include "framework/PluginParam.h"
#include "graphics/Controls.h"

namespace qd {
namespace {

using Tick = TextEntry::Tick;

TEST(TextEntry, CharactersFollowTheParameterKind) {
  PluginParam level, toggle, choice;
  level.DefineDouble("Level", 0.0, -12.0, 12.0, 0.01, "dB", "", 1.0);
  toggle.DefineBool("Toggle", false, "", "");
  choice.DefineEnum("Choice", 0, 3, "", "");
  EXPECT_EQ(EntryCharactersFor(nullptr), EntryCharacters::kAnyText);
  EXPECT_EQ(EntryCharactersFor(&level), EntryCharacters::kDecimal);
  EXPECT_EQ(EntryCharactersFor(&toggle), EntryCharacters::kInteger);
  EXPECT_EQ(EntryCharactersFor(&choice), EntryCharacters::kInteger);

  // Every byte value against the exact set each rule keeps.
  const std::string whole = "+-0123456789\b";
  for (uint32_t c = 0; c < 256; ++c) {
    const bool inWhole = c != 0 && whole.find(static_cast<char>(c)) != std::string::npos;
    EXPECT_TRUE(AcceptEntryCharacter(EntryCharacters::kAnyText, c)) << c;
    EXPECT_EQ(AcceptEntryCharacter(EntryCharacters::kInteger, c), inWhole) << c;
    EXPECT_EQ(AcceptEntryCharacter(EntryCharacters::kDecimal, c), inWhole || c == '.') << c;
    EXPECT_EQ(AcceptEntryCharacter(&level, c), inWhole || c == '.') << c;
    EXPECT_EQ(AcceptEntryCharacter(&choice, c), inWhole) << c;
  }
}

// Replays events on an open entry: f focus gained, l focus lost, e Enter, x Escape, c a left
// or right press in the editor, m a middle press, w a wheel notch, r the editor redrew.
EntryState Replay(const char* events) {
  TextEntry entry;
  entry.Open(nullptr, 2);
  for (const char* e = events; *e; ++e) {
    switch (*e) {
      case 'f':
        entry.FocusGained();
        break;
      case 'l':
        entry.FocusLost();
        break;
      case 'e':
        entry.Confirm();
        break;
      case 'x':
        entry.Cancel();
        break;
      case 'c':
        EXPECT_TRUE(entry.EditorButtonPressed(false));
        break;
      case 'm':
        EXPECT_TRUE(entry.EditorButtonPressed(true));
        break;
      case 'w':
        EXPECT_TRUE(entry.EditorWheel());
        break;
      case 'r':
        entry.Redrawn();
        break;
      default:
        ADD_FAILURE() << "unknown event " << *e;
    }
  }
  return entry.State();
}

TEST(TextEntry, EventsSetTheStateTheNextTickSettles) {
  const struct {
    const char* events;
    EntryState state;
  } cases[] = {
      {"", kEntryIdle},      {"f", kEntryFocused},  {"fe", kEntryCommit},  // Enter
      {"fx", kEntryCancel},                                                // Escape
      {"fl", kEntryCommit},   // the focus moved elsewhere
      {"fc", kEntryCancel},   // a click in the editor while typing
      {"fm", kEntryFocused},  // the middle button does not cancel
      {"fw", kEntryFocused},  // nor does the wheel while typing
      {"flf", kEntryCommit},  // focus coming back does not undo a requested commit
      {"fxl", kEntryCancel},  // a cancelled entry losing the focus stays cancelled
      {"c", kEntryCommit},    // any press in the editor commits an entry without the focus
      {"m", kEntryCommit},   {"w", kEntryCancel},    // the wheel cancels it
      {"r", kEntryRedrawn},  {"rf", kEntryFocused},  // the box taking the focus after a redraw
  };
  for (const auto& c : cases) EXPECT_EQ(Replay(c.events), c.state) << '"' << c.events << '"';
}

TEST(TextEntry, TheTickSettlesSkipsOrRedraws) {
  TextEntry entry;
  EXPECT_EQ(entry.OnTick(), Tick::kRedraw) << "no entry";
  entry.Redrawn();
  EXPECT_EQ(entry.State(), kEntryIdle);
  EXPECT_FALSE(entry.EditorButtonPressed(false)) << "the editor takes its own clicks";
  EXPECT_FALSE(entry.EditorWheel());

  TextControl caption(nullptr, Bounds{0, 0, 40, 20}, TextStyle{}, "0.0");
  entry.Open(&caption, 4);
  EXPECT_EQ(entry.EntryControl(), &caption);
  EXPECT_EQ(entry.ParamIndex(), 4);
  // Without the focus the editor redraws on every second tick.
  EXPECT_EQ(entry.OnTick(), Tick::kRedraw);
  entry.Redrawn();
  EXPECT_EQ(entry.OnTick(), Tick::kSkip);
  EXPECT_EQ(entry.State(), kEntryIdle);
  EXPECT_EQ(entry.OnTick(), Tick::kRedraw);
  // While the user types nothing is drawn and nothing settles.
  entry.FocusGained();
  EXPECT_TRUE(entry.HasFocus());
  EXPECT_EQ(entry.OnTick(), Tick::kSkip);
  EXPECT_EQ(entry.OnTick(), Tick::kSkip);
  entry.Confirm();
  EXPECT_FALSE(entry.HasFocus());
  EXPECT_EQ(entry.OnTick(), Tick::kCommit);
  entry.Close();
  EXPECT_FALSE(entry.IsOpen());
  EXPECT_EQ(entry.EntryControl(), nullptr);
  EXPECT_EQ(entry.ParamIndex(), -1);
  EXPECT_EQ(entry.OnTick(), Tick::kRedraw);

  entry.Open(nullptr, -1);
  entry.Cancel();
  EXPECT_EQ(entry.OnTick(), Tick::kCancel);
  entry.Close();
  entry.FocusGained();  // events after the box is gone change nothing
  entry.FocusLost();
  EXPECT_EQ(entry.State(), kEntryIdle);
}

}  // namespace
}  // namespace qd
