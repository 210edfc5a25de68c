// The AAX module's editor in a real X11 parent window: a private Xvfb server, the module
// loaded by the simulated host, the editor opened in the view container's window, driven by
// the host's timer while audio renders, closed and reopened; a screenshot is kept.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "SimHost.h"
#include "tests/graphics/x11/X11TestSupport.h"

namespace {

using qd::testing::ChildCount;

TEST(AaxX11Editor, OpensInTheHostWindowRedrawsOnTheTimerAndCloses) {
  ASSERT_TRUE(qd::testing::XvfbEnvironment::Ready());
  Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr);
  const Window parent = qd::testing::MakeParent(display, 0, 0);

  {
    sim::ModuleHost host(QD_AAX_MODULE_PATH);
    ASSERT_TRUE(host.Loaded());
    ASSERT_EQ(host.StartAndRegister(), aax::kSuccess);
    std::unique_ptr<sim::Instance> inst = host.CreateInstance(1, 48000.0);
    ASSERT_NE(inst, nullptr);

    const int frames = 512;
    std::vector<float> l(frames), r(frames), ol(frames), orr(frames);
    float* in[2] = {l.data(), r.data()};
    float* out[2] = {ol.data(), orr.data()};
    double phase = 0.0;
    for (int cycle = 0; cycle < 3; ++cycle) {
      ASSERT_EQ(inst->OpenEditor(reinterpret_cast<void*>(static_cast<uintptr_t>(parent))),
                aax::kSuccess);
      XSync(display, False);
      EXPECT_EQ(ChildCount(display, parent), 1) << "cycle " << cycle;
      for (int block = 0; block < 40; ++block) {
        for (int k = 0; k < frames; ++k, phase += 0.05) {
          l[k] = r[k] = static_cast<float>(0.9 * std::sin(phase) * (1.0 + std::sin(phase * 0.01)));
        }
        inst->Render(in, out, frames);
        inst->EditorTimer();
        std::this_thread::sleep_for(std::chrono::milliseconds(4));
      }
      inst->EditorTimer();
      XSync(display, False);
      if (cycle == 0) {
        EXPECT_TRUE(qd::testing::Screenshot(display, parent, "aax-editor-playing.png"));
      }
      inst->CloseEditor();
      XSync(display, False);
      EXPECT_EQ(ChildCount(display, parent), 0) << "cycle " << cycle;
    }
    inst.reset();
    EXPECT_EQ(host.Api().canUnloadNow(), 0);
  }
  XDestroyWindow(display, parent);
  XCloseDisplay(display);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new qd::testing::XvfbEnvironment);
  return RUN_ALL_TESTS();
}
