// The editor as a plug-in view in a real X11 parent window: a private Xvfb server, the view
// attached to the host's window with a frame that offers the test's run loop, driven by that
// loop's timer and the X connection's file descriptor while audio runs, removed and attached
// again; a screenshot is kept. An editor gesture reaches the host through the handler.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "effect/Parameters.h"
#include "tests/formats/vst3/Vst3TestHost.h"
#include "tests/graphics/x11/X11TestSupport.h"

namespace qd::testing {
namespace {

TEST(Vst3X11View, AttachesRedrawsOnTheRunLoopAndReattaches) {
  ASSERT_TRUE(XvfbEnvironment::Ready());
  Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr);
  const Window parent = MakeParent(display, 0, 0);
  {
    Vst3Instance plugin;
    ASSERT_TRUE(plugin.Valid());
    plugin.Start(44100.0, 512, kSample32);
    RunLoop viewLoop;
    PlugFrame frame;
    frame.runLoop = &viewLoop;

    std::vector<float> l(512), r(512), ol(512), orr(512);
    double phase = 0.0;
    for (int cycle = 0; cycle < 3; ++cycle) {
      IPlugView* view = plugin.controller->createView("editor");
      ASSERT_NE(view, nullptr);
      EXPECT_EQ(view->isPlatformTypeSupported("X11EmbedWindowID"), kResultTrue);
      EXPECT_EQ(view->isPlatformTypeSupported("HWND"), kResultFalse);
      ViewRect size{};
      ASSERT_EQ(view->getSize(&size), kResultOk);
      EXPECT_EQ(size.right - size.left, 640);
      EXPECT_EQ(size.bottom - size.top, 480);
      EXPECT_EQ(view->canResize(), kResultFalse);
      ViewRect other{10, 10, 900, 900};
      EXPECT_EQ(view->checkSizeConstraint(&other), kResultTrue);
      EXPECT_EQ(other.right - other.left, 640);
      EXPECT_EQ(view->onSize(&other), kResultOk);
      ViewRect wrong{0, 0, 100, 100};
      EXPECT_EQ(view->onSize(&wrong), kResultFalse);
      EXPECT_EQ(view->removed(), kResultFalse) << "removed before attached";
      ASSERT_EQ(view->setFrame(&frame), kResultOk);
      void* parentId = reinterpret_cast<void*>(static_cast<uintptr_t>(parent));
      EXPECT_EQ(view->attached(parentId, "HWND"), kResultFalse);
      ASSERT_EQ(view->attached(parentId, "X11EmbedWindowID"), kResultOk) << "cycle " << cycle;
      EXPECT_EQ(view->attached(parentId, "X11EmbedWindowID"), kResultFalse);
      // A second view cannot take the window while this one holds it.
      IPlugView* second = plugin.controller->createView("editor");
      ASSERT_NE(second, nullptr);
      EXPECT_EQ(second->attached(parentId, "X11EmbedWindowID"), kResultFalse);
      second->release();
      XSync(display, False);
      EXPECT_EQ(ChildCount(display, parent), 1) << "cycle " << cycle;
      EXPECT_EQ(viewLoop.timers.size(), 1u);
      EXPECT_EQ(viewLoop.watches.size(), 1u) << "the X connection is not watched";

      viewLoop.timerCalls = viewLoop.fdCalls = 0;
      for (int block = 0; block < 40; ++block) {
        for (int k = 0; k < 512; ++k, phase += 0.05) {
          l[k] = r[k] = static_cast<float>(0.9 * std::sin(phase) * (1.0 + std::sin(phase * 0.01)));
        }
        plugin.Process<float>({l.data(), r.data()}, {ol.data(), orr.data()}, 512);
        viewLoop.RunOnce(4);
      }
      viewLoop.RunFor(100);
      EXPECT_GT(viewLoop.timerCalls, 0);
      if (cycle == 0) {
        EXPECT_TRUE(Screenshot(display, parent, "vst3-editor-playing.png"));
        // A click on the soft-clip switch, seen through the X connection's descriptor alone
        // (the timer held back), is an editor gesture: the host hears of it.
        Input input;
        viewLoop.fdCalls = 0;
        input.Click(68, 226);
        for (int i = 0; i < 200 && plugin.handler.Count(EditCall::kPerform, kSoftClipper) == 0;
             ++i) {
          viewLoop.RunOnce(10, false, false);
        }
        EXPECT_GT(viewLoop.fdCalls, 0);
        EXPECT_EQ(plugin.handler.Count(EditCall::kPerform, kSoftClipper), 1);
        EXPECT_EQ(plugin.controller->getParamNormalized(kSoftClipper), 1.0);
        for (const EditCall& c : plugin.handler.calls) EXPECT_FALSE(c.duringProcess);
        viewLoop.RunFor(100);
      }
      ASSERT_EQ(view->removed(), kResultOk);
      XSync(display, False);
      EXPECT_EQ(ChildCount(display, parent), 0) << "cycle " << cycle;
      EXPECT_TRUE(viewLoop.timers.empty());
      EXPECT_TRUE(viewLoop.watches.empty());
      // Attached once more and released while attached: the window goes with the view.
      if (cycle == 2) {
        ASSERT_EQ(view->attached(parentId, "X11EmbedWindowID"), kResultOk);
        XSync(display, False);
        EXPECT_EQ(ChildCount(display, parent), 1);
      }
      EXPECT_EQ(view->release(), 0u);
      XSync(display, False);
      EXPECT_EQ(ChildCount(display, parent), 0);
    }
    EXPECT_EQ(viewLoop.references, 0);
  }
  XDestroyWindow(display, parent);
  XCloseDisplay(display);
}

}  // namespace
}  // namespace qd::testing

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new qd::testing::XvfbEnvironment);
  return RUN_ALL_TESTS();
}
