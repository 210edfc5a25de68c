// The editor window under Wine (with a display): a child of a parent window, its class
// shared between editors and unregistered with the last one, mouse messages that change
// parameters, the text entry's states and character rules, keys it does not use passed to
// the host's window, and the pop-up menu's numbering and ids.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <memory>
#include <vector>

#include "effect/Parameters.h"
#include "effect/QuarloDorvantix.h"
#include "framework/PluginParam.h"
#include "graphics/Controls.h"
#include "graphics/PlatformGraphics.h"
#include "graphics/win/GraphicsWin.h"
#include "platform/win/Module.h"
#include "tests/windows/MessagePump.h"

namespace qd {
namespace {

std::vector<UINT> g_parentKeys;

LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_KEYDOWN || message == WM_KEYUP) g_parentKeys.push_back(message);
  return DefWindowProcA(window, message, wParam, lParam);
}

bool ClassRegistered() {
  WNDCLASSA info;
  HMODULE module = nullptr;
  GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&CreateGraphicsWin), &module);
  return GetClassInfoA(module, "PluginWndClass", &info) != FALSE;
}

LPARAM At(int x, int y) {
  return MAKELPARAM(x, y);
}

class EditorWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // The images are the resources of the built DLL; the editor window is the Windows one.
    SetPluginModule(LoadLibraryA(QD_VST2_MODULE_PATH));
    SetPlatformGraphicsFactory(&CreateGraphicsWin);
    WNDCLASSA wc{};
    wc.lpfnWndProc = ParentProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "QdTestParent";
    RegisterClassA(&wc);
  }

  void SetUp() override {
    parent_ = CreateWindowExA(0, "QdTestParent", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                              700, 560, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(parent_, nullptr);
    plugin_ = std::make_unique<QuarloDorvantix>(PortLabels::kPerChannel);
    editor_ = dynamic_cast<GraphicsWin*>(plugin_->Editor());
    ASSERT_NE(editor_, nullptr);
    g_parentKeys.clear();
  }

  void TearDown() override {
    plugin_.reset();
    DestroyWindow(parent_);
  }

  HWND Open() {
    HWND window = static_cast<HWND>(editor_->OpenWindow(parent_));
    testing::PumpMessages(100);
    return window;
  }
  void Tick(HWND window) { SendMessageA(window, WM_TIMER, 2, 0); }
  double Value(int param) { return plugin_->GetParam(param)->Value(); }

  HWND parent_ = nullptr;
  std::unique_ptr<QuarloDorvantix> plugin_;
  GraphicsWin* editor_ = nullptr;
};

TEST_F(EditorWindow, OpensAsAChildOfTheParentAndClosesAndReopensCleanly) {
  for (int round = 0; round < 3; ++round) {
    HWND window = Open();
    ASSERT_NE(window, nullptr) << round;
    EXPECT_EQ(GetParent(window), parent_);
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    EXPECT_STREQ(name, "PluginWndClass");
    GetWindowTextA(window, name, sizeof name);
    EXPECT_STREQ(name, "Plugin");
    RECT r;
    GetClientRect(window, &r);
    EXPECT_EQ(r.right, 640);
    EXPECT_EQ(r.bottom, 480);
    EXPECT_TRUE(GetWindowLongA(window, GWL_STYLE) & WS_CHILD);
    EXPECT_TRUE(ClassRegistered());
    editor_->CloseWindow();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(editor_->WindowIsOpen());
    EXPECT_FALSE(ClassRegistered());
  }
}

TEST_F(EditorWindow, TwoEditorsShareTheClassUntilTheLastCloses) {
  auto other = std::make_unique<QuarloDorvantix>(PortLabels::kPerChannel);
  ASSERT_NE(Open(), nullptr);
  ASSERT_NE(other->Editor()->OpenWindow(parent_), nullptr);
  EXPECT_EQ(GraphicsWin::OpenWindowCount(), 2);
  editor_->CloseWindow();
  EXPECT_TRUE(ClassRegistered());
  other->Editor()->CloseWindow();
  EXPECT_FALSE(ClassRegistered());
  EXPECT_EQ(GraphicsWin::OpenWindowCount(), 0);
}

TEST_F(EditorWindow, DraggingAKnobAndClickingASwitchChangeParameters) {
  HWND window = Open();
  ASSERT_NE(window, nullptr);
  const double level = Value(kClipperLevel);
  // The clipper knob's frames are drawn at (69, 65).
  const int x = 69 + 90, y = 65 + 90;  // the middle of its 180 x 180 frame
  SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, At(x, y));
  EXPECT_EQ(GetCapture(), window);
  for (int step = 1; step <= 10; ++step) {
    SendMessageA(window, WM_MOUSEMOVE, MK_LBUTTON, At(x, y - 5 * step));
  }
  SendMessageA(window, WM_LBUTTONUP, 0, At(x, y - 50));
  EXPECT_GT(Value(kClipperLevel), level);

  const double soft = Value(kSoftClipper);
  SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, At(47 + 21, 205 + 21));
  SendMessageA(window, WM_LBUTTONUP, 0, At(47 + 21, 205 + 21));
  EXPECT_NE(Value(kSoftClipper), soft);
  editor_->CloseWindow();
}

TEST_F(EditorWindow, TextEntryCommitsOnEnterAndCancelsOnEscapeOrAClick) {
  HWND window = Open();
  ASSERT_NE(window, nullptr);
  Control* caption = editor_->GetControl(4);  // the clipper level's caption
  ASSERT_NE(caption, nullptr);
  const Bounds rect{11, 136, 59, 160};
  auto type = [](HWND entry, const char* text) {
    for (const char* c = text; *c; ++c) SendMessageA(entry, WM_CHAR, *c, 0);
  };
  auto entryText = [](HWND entry) {
    char text[64] = {};
    GetWindowTextA(entry, text, sizeof text);
    return std::string(text);
  };

  // Enter commits on the next tick; letters are dropped, sign, digits and point are kept.
  editor_->RequestUserInput(caption, kClipperLevel, rect);
  HWND entry = static_cast<HWND>(editor_->TextEntryWindow());
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(GetParent(entry), window);
  EXPECT_EQ(GetDlgCtrlID(entry), 99);
  EXPECT_EQ(editor_->TextEntryState(), GraphicsWin::kEntryFocused);
  editor_->RequestUserInput(caption, kClipperLevel, rect);  // ignored while one is open
  EXPECT_EQ(editor_->TextEntryWindow(), entry);
  SendMessageA(entry, EM_SETSEL, 0, -1);
  type(entry, "2x.5a");
  EXPECT_EQ(entryText(entry), "2.5");
  SendMessageA(entry, WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_EQ(editor_->TextEntryState(), GraphicsWin::kEntryCommit);
  Tick(window);
  EXPECT_EQ(editor_->TextEntryWindow(), nullptr);
  EXPECT_FALSE(IsWindow(entry));
  EXPECT_NEAR(Value(kClipperLevel), 2.5, 1e-9);

  // Escape cancels.
  editor_->RequestUserInput(caption, kClipperLevel, rect);
  entry = static_cast<HWND>(editor_->TextEntryWindow());
  ASSERT_NE(entry, nullptr);
  SendMessageA(entry, EM_SETSEL, 0, -1);
  type(entry, "-4");
  SendMessageA(entry, WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_EQ(editor_->TextEntryState(), GraphicsWin::kEntryCancel);
  Tick(window);
  EXPECT_EQ(editor_->TextEntryWindow(), nullptr);
  EXPECT_NEAR(Value(kClipperLevel), 2.5, 1e-9);

  // A click in the editor while the entry has the focus cancels it too.
  editor_->RequestUserInput(caption, kClipperLevel, rect);
  entry = static_cast<HWND>(editor_->TextEntryWindow());
  ASSERT_NE(entry, nullptr);
  type(entry, "1");
  SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, At(300, 400));
  EXPECT_EQ(editor_->TextEntryState(), GraphicsWin::kEntryCancel);
  Tick(window);
  EXPECT_NEAR(Value(kClipperLevel), 2.5, 1e-9);

  // Closing with an entry open leaves none behind; after reopening entries work again.
  editor_->RequestUserInput(caption, kClipperLevel, rect);
  ASSERT_NE(editor_->TextEntryWindow(), nullptr);
  editor_->CloseWindow();
  EXPECT_EQ(editor_->TextEntryWindow(), nullptr);
  EXPECT_EQ(editor_->TextEntryState(), GraphicsWin::kEntryIdle);
  window = Open();
  ASSERT_NE(window, nullptr);
  editor_->RequestUserInput(caption, kClipperLevel, rect);
  EXPECT_NE(editor_->TextEntryWindow(), nullptr);
  editor_->CloseWindow();
}

TEST_F(EditorWindow, WhileTheEntryHasTheFocusTheEditorDoesNotRedraw) {
  HWND window = Open();
  ASSERT_NE(window, nullptr);
  Tick(window);
  editor_->RequestUserInput(editor_->GetControl(4), kClipperLevel, Bounds{11, 136, 59, 160});
  ASSERT_EQ(editor_->TextEntryState(), GraphicsWin::kEntryFocused);
  editor_->MarkAllControlsDirty();
  Tick(window);
  Bounds dirty;
  EXPECT_TRUE(editor_->NeedsRedraw(&dirty)) << "the tick left the dirty controls alone";
  editor_->CloseWindow();
}

TEST_F(EditorWindow, KeysTheEditorDoesNotUseReachTheHostWindow) {
  HWND window = Open();
  ASSERT_NE(window, nullptr);
  SendMessageA(window, WM_KEYDOWN, VK_F12, 0);
  SendMessageA(window, WM_KEYUP, VK_F12, 0);
  SendMessageA(window, WM_KEYDOWN, VK_SPACE, 0);  // no control takes the space bar here
  EXPECT_EQ(g_parentKeys, (std::vector<UINT>{WM_KEYDOWN, WM_KEYUP, WM_KEYDOWN}));
  editor_->CloseWindow();
}

TEST_F(EditorWindow, PlatformServices) {
  HWND window = Open();
  ASSERT_NE(window, nullptr);
  EXPECT_GE(editor_->ScreenScale(), 1.0);
  EXPECT_NE(editor_->HostFolder().find("wine-tests\\"), std::string::npos) << editor_->HostFolder();
  EXPECT_EQ(editor_->PluginFolder(), editor_->HostFolder());  // this test links the editor in
  // Clipboard text comes back as UTF-8.
  const wchar_t text[] = L"-3.5 dB \u00b1";
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  HGLOBAL data = GlobalAlloc(GMEM_MOVEABLE, sizeof text);
  std::memcpy(GlobalLock(data), text, sizeof text);
  GlobalUnlock(data);
  SetClipboardData(CF_UNICODETEXT, data);
  CloseClipboard();
  std::string read;
  EXPECT_TRUE(editor_->ClipboardText(&read));
  EXPECT_EQ(read, "-3.5 dB \xC2\xB1");
  editor_->CloseWindow();
}

TEST(EditorWindowRules, VirtualKeysMapToTheCoreKeyCodes) {
  const std::pair<uint32_t, int32_t> table[] = {
      {VK_SPACE, 0},
      {VK_UP, 1},
      {VK_DOWN, 2},
      {VK_LEFT, 3},
      {VK_RIGHT, 4},
      {'0', 5},
      {'9', 14},
      {'A', 15},
      {'Z', 40},
      {'a', 15},
      {'z', 40},
      {VK_F12, -1},
      {VK_RETURN, -1},
      {VK_SHIFT, -1},
      {'/', -1},
      {'[', -1},
      // Codes 97..122 count as letters whatever key sends them (numeric pad, F1..F11).
      {VK_NUMPAD1, 15},
      {VK_F5, 34}};
  for (const auto& [vk, key] : table) EXPECT_EQ(KeyCodeForVirtualKey(vk), key) << vk;
}

TEST(EditorWindowRules, EntryCharactersDependOnTheParameterKind) {
  QuarloDorvantix plugin(PortLabels::kPerChannel);
  const PluginParam* continuous = plugin.GetParam(kClipperLevel);
  const PluginParam* choice = plugin.GetParam(kSoftClipper);
  ASSERT_EQ(continuous->Kind(), kParamDouble);
  ASSERT_NE(choice->Kind(), kParamDouble);
  for (char c : std::string("+-0123456789\b")) {
    EXPECT_TRUE(AcceptEntryCharacter(continuous, c)) << c;
    EXPECT_TRUE(AcceptEntryCharacter(choice, c)) << c;
  }
  EXPECT_TRUE(AcceptEntryCharacter(continuous, '.'));
  EXPECT_FALSE(AcceptEntryCharacter(choice, '.'));
  for (char c : std::string("aZ ,e\r")) {
    EXPECT_FALSE(AcceptEntryCharacter(continuous, c)) << int(c);
    EXPECT_FALSE(AcceptEntryCharacter(choice, c)) << int(c);
  }
  EXPECT_TRUE(AcceptEntryCharacter(nullptr, 'a'));
}

TEST(EditorWindowRules, MenusAreNumberedAndIdsMapBackToTheirMenu) {
  Menu menu;
  menu.prefix = 2;
  menu.items.resize(3);
  menu.items[0].text = "Hard";
  menu.items[1].text = "Soft";
  menu.items[1].flags = kMenuChecked;
  menu.items[2].text = "More";
  menu.items[2].submenu = std::make_shared<Menu>();
  menu.items[2].submenu->items.resize(2);
  menu.items[2].submenu->items[0].text = "x";
  menu.items[2].submenu->items[1].text = "y";
  int32_t next = 0;
  HMENU native = static_cast<HMENU>(BuildNativeMenu(menu, &next));
  ASSERT_NE(native, nullptr);
  EXPECT_EQ(next, 5);
  char text[64];
  GetMenuStringA(native, 0, text, sizeof text, MF_BYPOSITION);
  EXPECT_STREQ(text, "01: Hard");
  GetMenuStringA(native, 1, text, sizeof text, MF_BYPOSITION);
  EXPECT_STREQ(text, "02: Soft");
  EXPECT_TRUE(GetMenuState(native, 1, MF_BYPOSITION) & MF_CHECKED);
  EXPECT_EQ(GetMenuItemID(native, 1), 1u);
  EXPECT_EQ(GetMenuItemID(GetSubMenu(native, 2), 1), 4u);  // after the three reserved ids
  DestroyMenu(native);

  int32_t index = -1;
  EXPECT_EQ(FindMenuForId(menu, 1, &index), &menu);
  EXPECT_EQ(index, 1);
  EXPECT_EQ(FindMenuForId(menu, 4, &index), menu.items[2].submenu.get());
  EXPECT_EQ(index, 1);
  EXPECT_EQ(FindMenuForId(menu, 2, &index), nullptr);  // the submenu entry itself
  EXPECT_EQ(FindMenuForId(menu, 9, &index), nullptr);
}

}  // namespace
}  // namespace qd
