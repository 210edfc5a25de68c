// The editor of the built QuarloDorvantix.so as a host shows it: opened through the VST2
// dispatcher inside a host window on a private Xvfb server, driven by XTest input while the
// test calls the idle entry as a host's user-interface loop does.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <string>
#include <thread>

#include "tests/graphics/x11/X11TestSupport.h"

namespace qd::testing {
namespace {

using namespace vst2;

// Points inside controls of the panel (editor coordinates).
constexpr int kClipperKnobX = 159, kClipperKnobY = 155;
constexpr int kSoftClipperX = 68, kSoftClipperY = 226;
constexpr int kLimiterOversampleX = 397, kLimiterOversampleY = 185;
constexpr int kOutputCaptionX = 462, kOutputCaptionY = 43;
constexpr int kBackgroundX = 320, kBackgroundY = 20;

class EditorWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(XvfbEnvironment::Ready()) << "Xvfb did not start";
    ASSERT_NE(input.display(), nullptr);
    ASSERT_NE(host.effect, nullptr);
    parent = MakeParent(input.display(), 0, 0);
  }
  void TearDown() override {
    if (host.effect) host.Dispatch(effEditClose);
    if (parent) XDestroyWindow(input.display(), parent);
    XSync(input.display(), False);
  }
  bool Open() {
    if (host.OpenEditor(parent) != 1) return false;
    Pump(host, 150);
    return true;
  }
  bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 3000) {
    return testing::PumpUntil({&host}, done, timeoutMs);
  }
  // The editor window and the windows inside it (an open text entry).
  int EditorWindows() {
    int n = ChildCount(input.display(), parent);
    Window root = 0, p = 0, *children = nullptr;
    unsigned count = 0;
    XQueryTree(input.display(), parent, &root, &p, &children, &count);
    for (unsigned i = 0; i < count; ++i) n += ChildCount(input.display(), children[i]);
    if (children) XFree(children);
    return n;
  }
  // Clicks a caption and picks an item of the menu it opens from another thread, while
  // this one keeps calling idle (the menu's loop runs inside one of those calls). With
  // item -1 the menu is dismissed by `dismissKey`, or by a click outside when that is 0.
  bool PickFromMenu(int x, int y, int item, int itemCount, KeySym dismissKey = XK_Escape,
                    const char* screenshot = nullptr) {
    std::atomic<bool> finished{false};
    std::atomic<bool> sawMenu{false};
    std::thread driver([&] {
      Input in;
      in.Click(x, y);
      XWindowAttributes menu;
      if (in.WaitForMenu(&menu)) {
        sawMenu = true;
        if (screenshot)
          Screenshot(in.display(), DefaultRootWindow(in.display()), screenshot, 640, 480);
        const int itemHeight = (menu.height - 6) / itemCount;
        if (item >= 0) {
          in.Move(menu.x + menu.width / 2, menu.y + 3 + itemHeight * item + itemHeight / 2);
          in.Button(1, true);
          in.Button(1, false);
        } else if (dismissKey) {
          in.Key(dismissKey);
        } else {
          in.Click(kBackgroundX, kBackgroundY);
        }
      }
      // Whatever happened, no menu may outlive the test.
      for (int i = 0; i < 100 && in.FindMenu(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      if (in.FindMenu()) in.Key(XK_Escape);
      finished = true;
    });
    PumpUntil([&] { return finished.load(); }, 10000);
    driver.join();
    Pump(host, 50);
    return sawMenu;
  }

  Input input;
  EditorHost host;
  Window parent = 0;
};

TEST_F(EditorWindow, MouseMenuAndTypingChangeTheParameters) {
  ASSERT_TRUE(Open());
  ASSERT_EQ(ChildCount(input.display(), parent), 1) << "one child window in the host's window";
  EXPECT_TRUE(Screenshot(input.display(), parent, "editor-defaults.png"));

  // Drag the clipper knob upwards: begin, changes, end reach the host in that order.
  const int clipper = host.FindParam("Clipper Level");
  const float clipperBefore = host.Get(clipper);
  input.Move(kClipperKnobX, kClipperKnobY);
  input.Button(1, true);
  Pump(host, 40);
  for (int step = 1; step <= 8; ++step) {
    input.Move(kClipperKnobX, kClipperKnobY - 6 * step);
    Pump(host, 20);
  }
  input.Button(1, false);
  Pump(host, 60);
  EXPECT_GT(host.Get(clipper), clipperBefore + 0.02f);
  const std::vector<HostCall> calls = host.Calls(clipper);
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls.front().opcode, audioMasterBeginEdit);
  EXPECT_EQ(calls.back().opcode, audioMasterEndEdit);
  for (size_t i = 1; i + 1 < calls.size(); ++i) EXPECT_EQ(calls[i].opcode, audioMasterAutomate);

  // Toggle the soft clipper.
  const int soft = host.FindParam("Soft Clipper");
  ASSERT_EQ(host.Get(soft), 0.0f);
  input.Click(kSoftClipperX, kSoftClipperY);
  EXPECT_TRUE(PumpUntil([&] { return host.Get(soft) == 1.0f; }));

  // Pick "4x" from the limiter's oversampling menu (1x, 2x, 4x).
  const int oversample = host.FindParam("Limiter Oversample");
  ASSERT_TRUE(
      PickFromMenu(kLimiterOversampleX, kLimiterOversampleY, 2, 3, XK_Escape, "editor-menu.png"));
  EXPECT_EQ(host.Display(oversample), "4x");
  const std::vector<HostCall> menuCalls = host.Calls(oversample);
  ASSERT_FALSE(menuCalls.empty());
  EXPECT_EQ(menuCalls.front().opcode, audioMasterBeginEdit);
  EXPECT_EQ(menuCalls.back().opcode, audioMasterEndEdit) << "the edit the click began ends";

  // Type -6 into the output level's caption and press Enter.
  const int output = host.FindParam("Output Level");
  input.Click(kOutputCaptionX, kOutputCaptionY);
  Pump(host, 100);
  ASSERT_EQ(EditorWindows(), 2) << "the text entry is open";
  input.Key(XK_minus);
  input.Key(XK_6);
  Pump(host, 50);
  EXPECT_TRUE(Screenshot(input.display(), parent, "editor-text-entry.png"));
  input.Key(XK_Return);
  EXPECT_TRUE(PumpUntil([&] { return std::stod(host.Display(output)) == -6.0; }))
      << host.Display(output);
  EXPECT_EQ(EditorWindows(), 1) << "the entry is gone once committed";

  // Play audio at about real-time pace while the editor idles; the meters move.
  for (int block = 0; block < 120; ++block) {
    host.Play(512);
    host.Dispatch(effEditIdle);
    std::this_thread::sleep_for(std::chrono::milliseconds(8));
  }
  Pump(host, 100);
  EXPECT_TRUE(Screenshot(input.display(), parent, "editor-playing.png"));
}

TEST_F(EditorWindow, TextEntryCancelsOnEscapeOrAClickAndCommitsWhenTheFocusLeaves) {
  ASSERT_TRUE(Open());
  const int output = host.FindParam("Output Level");
  const std::string before = host.Display(output);

  struct Case {
    const char* how;
    std::function<void()> finish;
    bool commits;
  };
  const Case cases[] = {
      {"Escape", [&] { input.Key(XK_Escape); }, false},
      {"click in the editor", [&] { input.Click(kBackgroundX, kBackgroundY); }, false},
      {"focus moved to the host",
       [&] {
         XSetInputFocus(input.display(), parent, RevertToParent, CurrentTime);
         XSync(input.display(), False);
       },
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    input.Click(kOutputCaptionX, kOutputCaptionY);
    Pump(host, 100);
    ASSERT_EQ(EditorWindows(), 2);
    input.Key(XK_minus);
    input.Key(XK_1);
    input.Key(XK_x);  // a letter is dropped by a number's entry
    input.Key(XK_2);
    Pump(host, 50);
    EXPECT_EQ(host.Display(output), before) << "nothing changes while the user types";
    c.finish();
    EXPECT_TRUE(PumpUntil([&] { return EditorWindows() == 1; }));
    if (c.commits) {
      EXPECT_EQ(std::stod(host.Display(output)), -12.0);
    } else {
      EXPECT_EQ(host.Display(output), before);
    }
    // Wait past the double-click interval before the next click on the caption.
    Pump(host, 600);
  }
}

TEST_F(EditorWindow, MenusAreDismissedByEscapeOrAClickOutside) {
  ASSERT_TRUE(Open());
  const int oversample = host.FindParam("Limiter Oversample");
  const std::string before = host.Display(oversample);
  ASSERT_TRUE(PickFromMenu(kLimiterOversampleX, kLimiterOversampleY, -1, 3, XK_Escape));
  EXPECT_EQ(host.Display(oversample), before);
  Pump(host, 600);
  ASSERT_TRUE(PickFromMenu(kLimiterOversampleX, kLimiterOversampleY, -1, 3, 0));
  EXPECT_EQ(host.Display(oversample), before);
  EXPECT_EQ(input.FindMenu(), 0u);
  const std::vector<HostCall> calls = host.Calls(oversample);
  int begins = 0, ends = 0;
  for (const HostCall& c : calls) {
    begins += c.opcode == audioMasterBeginEdit;
    ends += c.opcode == audioMasterEndEdit;
  }
  EXPECT_EQ(begins, ends);
}

TEST_F(EditorWindow, OpenCloseCyclesAndClosingWithAnEntryOpenLeaveNothingBehind) {
  for (int cycle = 0; cycle < 12; ++cycle) {
    ASSERT_EQ(host.OpenEditor(parent), 1) << cycle;
    host.Dispatch(effEditIdle);
    if (cycle % 3 == 0) {
      ASSERT_EQ(host.OpenEditor(parent), 1) << "opening again while open";
    }
    EXPECT_EQ(ChildCount(input.display(), parent), 1);
    host.Dispatch(effEditClose);
    EXPECT_EQ(ChildCount(input.display(), parent), 0) << cycle;
  }
  host.Dispatch(effEditClose);  // closing what is closed
  host.Dispatch(effEditIdle);

  ASSERT_TRUE(Open());
  input.Click(kOutputCaptionX, kOutputCaptionY);
  Pump(host, 100);
  ASSERT_EQ(EditorWindows(), 2);
  host.Dispatch(effEditClose);
  EXPECT_EQ(ChildCount(input.display(), parent), 0);

  // After reopening, clicks reach the controls and a new entry opens.
  ASSERT_TRUE(Open());
  const int soft = host.FindParam("Soft Clipper");
  const float before = host.Get(soft);
  input.Click(kSoftClipperX, kSoftClipperY);
  EXPECT_TRUE(PumpUntil([&] { return host.Get(soft) != before; }));
  input.Click(kOutputCaptionX, kOutputCaptionY);
  Pump(host, 100);
  EXPECT_EQ(EditorWindows(), 2);
  input.Key(XK_Escape);
  EXPECT_TRUE(PumpUntil([&] { return EditorWindows() == 1; }));
}

TEST_F(EditorWindow, HostileWindowIdsAndADestroyedParentAreSurvived) {
  EXPECT_EQ(host.Dispatch(effEditOpen, 0, 0, nullptr), 0);
  EXPECT_EQ(host.OpenEditor(static_cast<Window>(0x7fffff0)), 0) << "no such window";
  host.Dispatch(effEditIdle);
  ASSERT_TRUE(Open());

  // The host destroys its window while a menu is up: the menu ends, nothing stays.
  std::atomic<bool> finished{false};
  std::thread driver([&] {
    Input in;
    in.Click(kLimiterOversampleX, kLimiterOversampleY);
    XWindowAttributes menu;
    if (in.WaitForMenu(&menu)) {
      XDestroyWindow(in.display(), parent);
      XSync(in.display(), False);
    }
    finished = true;
  });
  PumpUntil([&] { return finished.load(); }, 10000);
  driver.join();
  Pump(host, 100);
  parent = 0;
  EXPECT_EQ(input.FindMenu(), 0u);
  host.Dispatch(effEditIdle);
  EXPECT_EQ(host.Dispatch(effEditClose), 1);

  // And the editor opens again in a new window.
  parent = MakeParent(input.display(), 0, 0);
  ASSERT_TRUE(Open());
  EXPECT_EQ(ChildCount(input.display(), parent), 1);
}

TEST_F(EditorWindow, KeysTheEditorDoesNotUseReachTheHostWindow) {
  ASSERT_TRUE(Open());
  input.Click(kBackgroundX, kBackgroundY);  // the editor takes the keyboard focus
  Pump(host, 50);
  XSync(input.display(), False);
  while (XPending(input.display())) {
    XEvent e;
    XNextEvent(input.display(), &e);
  }
  input.Key(XK_space);
  input.Key(XK_F5);
  Pump(host, 100);
  std::vector<KeySym> received;
  while (XPending(input.display())) {
    XEvent e;
    XNextEvent(input.display(), &e);
    if (e.type == KeyPress && e.xkey.window == parent && e.xkey.send_event) {
      received.push_back(XLookupKeysym(&e.xkey, 0));
    }
  }
  EXPECT_EQ(received, (std::vector<KeySym>{XK_space, XK_F5}));
}

TEST(EditorWindows, TwoInstancesEditAtOnce) {
  ASSERT_TRUE(XvfbEnvironment::Ready());
  Input input;
  EditorHost a, b;
  const Window parentA = MakeParent(input.display(), 0, 0);
  const Window parentB = MakeParent(input.display(), 660, 0);
  ASSERT_EQ(a.OpenEditor(parentA), 1);
  ASSERT_EQ(b.OpenEditor(parentB), 1);
  PumpUntil({&a, &b}, nullptr, 150);
  const int soft = a.FindParam("Soft Clipper");
  input.Click(660 + kSoftClipperX, kSoftClipperY);
  EXPECT_TRUE(PumpUntil(
      {&a, &b}, [&] { return b.Get(soft) == 1.0f; }, 3000));
  EXPECT_EQ(a.Get(soft), 0.0f);
  input.Click(kSoftClipperX, kSoftClipperY);
  EXPECT_TRUE(PumpUntil(
      {&a, &b}, [&] { return a.Get(soft) == 1.0f; }, 3000));
  EXPECT_EQ(b.Get(soft), 1.0f);
  a.Dispatch(effEditClose);
  PumpUntil({&b}, nullptr, 50);
  EXPECT_EQ(ChildCount(input.display(), parentA), 0);
  EXPECT_EQ(ChildCount(input.display(), parentB), 1);
  b.Dispatch(effEditClose);
  EXPECT_EQ(ChildCount(input.display(), parentB), 0);
  XDestroyWindow(input.display(), parentA);
  XDestroyWindow(input.display(), parentB);
  XSync(input.display(), False);
}

}  // namespace
}  // namespace qd::testing

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new qd::testing::XvfbEnvironment);
  return RUN_ALL_TESTS();
}
