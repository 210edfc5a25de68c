// The audio thread processes blocks (storing meter values, readouts and, for the automatic
// output level, parameter values) while the editor thread ticks the real X11 window, drags
// a knob and toggles a switch. Run under ThreadSanitizer (label `tsan`) this finds any data
// race between the two.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/graphics/x11/X11TestSupport.h"

namespace qd::testing {
namespace {

using namespace vst2;

TEST(EditorHandover, AudioRunsWhileTheWindowTicksAndTheUserEdits) {
  ASSERT_TRUE(XvfbEnvironment::Ready());
  Input input;
  EditorHost host;
  ASSERT_NE(host.effect, nullptr);
  const Window parent = MakeParent(input.display(), 0, 0);
  ASSERT_EQ(host.OpenEditor(parent), 1);
  host.effect->setParameter(host.effect, host.FindParam("Auto output level"), 1.0f);

  std::atomic<bool> stop{false};
  std::atomic<int> blocks{0};
  std::thread audio([&] {
    while (!stop) {
      host.Play(256);
      ++blocks;
    }
  });
  const int soft = host.FindParam("Soft Clipper");
  const float softBefore = host.Get(soft);
  for (int round = 0; round < 4; ++round) {
    input.Move(159, 155);
    input.Button(1, true);
    for (int step = 1; step <= 5; ++step) {
      input.Move(159, 155 + (round % 2 ? 5 : -5) * step);
      Pump(host, 20);
    }
    input.Button(1, false);
    input.Click(68 + 2 * round, 226);  // positions apart: no double click
    Pump(host, 120);
  }
  Pump(host, 200);
  stop = true;
  audio.join();
  EXPECT_GT(blocks.load(), 20);
  EXPECT_EQ(host.Get(soft), softBefore) << "four toggles";
  host.Dispatch(effEditClose);
  XDestroyWindow(input.display(), parent);
  XSync(input.display(), False);
}

}  // namespace
}  // namespace qd::testing

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new qd::testing::XvfbEnvironment);
  return RUN_ALL_TESTS();
}
