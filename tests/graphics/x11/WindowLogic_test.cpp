// The parts of the editor window that need no display: the text entry's one-line editor
// and the pop-up menu's item texts and geometry.
#include <gtest/gtest.h>

#include "graphics/x11/LineEditor.h"
#include "graphics/x11/X11PopupMenu.h"

namespace qd {
namespace {

using Filter = LineEditor::Filter;

// Types `keys` into an entry that starts fully selected; '\b' is backspace.
std::string Typed(const char* initial, Filter filter, const char* keys, int32_t limit = 7) {
  LineEditor e;
  e.Reset(initial, limit, filter);
  for (const char* k = keys; *k; ++k) {
    if (*k == '\b') {
      e.Backspace();
    } else {
      e.Type(*k);
    }
  }
  return e.Text();
}

TEST(LineEditor, FilterLimitAndSelection) {
  struct Case {
    const char* initial;
    Filter filter;
    const char* keys;
    const char* expected;
  } cases[] = {
      {"-0.2", Filter::kDecimal, "-6", "-6"},             // typing replaces the selection
      {"-0.2", Filter::kDecimal, "x-1.5e", "-1.5"},       // letters dropped, '.' kept
      {"3", Filter::kInteger, "+1.2a", "+12"},            // no '.' for whole numbers
      {"0", Filter::kDecimal, "12345678", "1234567"},     // at most 7 characters
      {"0", Filter::kDecimal, "1234567\b\b9", "123459"},  // backspace always works
      {"", Filter::kAnyText, "ab c!", "ab c!"},           // without a parameter: any text
      {"", Filter::kAnyText, "\t\x7f", ""},               // but no control characters
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Typed(c.initial, c.filter, c.keys), c.expected) << c.initial << " + " << c.keys;
  }
}

TEST(LineEditor, CaretMovesAndSelectionCollapses) {
  LineEditor e;
  e.Reset("-12.5", 7, Filter::kDecimal);
  EXPECT_EQ(e.SelectionStart(), 0);
  EXPECT_EQ(e.SelectionEnd(), 5);
  e.MoveCaret(-1, false);  // collapses to the start of the selection
  EXPECT_FALSE(e.HasSelection());
  EXPECT_EQ(e.Caret(), 0);
  e.MoveCaret(3, false);
  e.Type('0');
  EXPECT_EQ(e.Text(), "-120.5");
  e.End(false);
  e.MoveCaret(-2, true);
  e.Backspace();
  EXPECT_EQ(e.Text(), "-120");
  e.Type('7');
  e.Type('7');
  e.Type('7');
  EXPECT_EQ(e.Text(), "-120777");
  EXPECT_FALSE(e.Type('7')) << "full";
  e.Home(false);
  e.DeleteForward();
  EXPECT_EQ(e.Text(), "120777");
}

TEST(PopupMenu, ItemLabelsFollowTheNumberingPrefix) {
  Menu menu;
  menu.items.resize(12);
  menu.items[0].text = "Soft";
  menu.items[1].text = "Hard";
  menu.items[11].text = "Last";
  const struct {
    int32_t prefix;
    int index;
    const char* label;
  } cases[] = {
      {0, 0, "Soft"},       {1, 1, "2: Hard"}, {2, 0, "01: Soft"}, {2, 1, "02: Hard"},
      {3, 11, "012: Last"}, {7, 0, "Soft"},    {0, 12, ""},        {0, -1, ""},
  };
  for (const auto& c : cases) {
    menu.prefix = c.prefix;
    EXPECT_EQ(MenuItemLabel(menu, c.index), c.label) << c.prefix << " " << c.index;
  }
}

TEST(PopupMenu, LayoutFindsItemsAndSkipsSeparatorsWhenChoosing) {
  Menu menu;
  menu.items.resize(4);
  menu.items[1].flags = kMenuSeparator;
  menu.items[2].flags = kMenuDisabled;
  const MenuLayout layout = MenuLayout::Make(menu, 15, 40, 30);
  EXPECT_EQ(layout.itemHeight, 21);
  EXPECT_EQ(layout.height, 3 + 21 + 7 + 21 + 21 + 3);
  EXPECT_EQ(layout.width, 2 + 20 + 40 + 16);
  EXPECT_EQ(layout.ItemAt(menu, 10, 3), 0);
  EXPECT_EQ(layout.ItemAt(menu, 10, 3 + 21 + 3), 1);
  EXPECT_EQ(layout.ItemAt(menu, 10, 2), -1) << "the padding is no item";
  EXPECT_EQ(layout.ItemAt(menu, layout.width, 10), -1);
  EXPECT_TRUE(MenuItemSelectable(menu.items[0]));
  EXPECT_FALSE(MenuItemSelectable(menu.items[1]));
  EXPECT_FALSE(MenuItemSelectable(menu.items[2]));
}

}  // namespace
}  // namespace qd
