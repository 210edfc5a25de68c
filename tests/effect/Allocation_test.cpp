// Counts heap allocations made while the engine processes audio: the block path must make
// none, in every mode and for a long feed (the loudness states must not grow).
#include <gtest/gtest.h>

#include "tests/effect/EngineTestSupport.h"
#include "tests/support/AllocationCounter.h"

namespace qd {

namespace {

using testing::MakePlugin;
using testing::SetParam;
using testing::Sine;
using testing::Stereo;

TEST(Allocation, ProcessAudioAllocatesNothing) {
  for (int mode : {0, 1, 2}) {
    for (int factor : {0, 1, 2}) {
      auto p = MakePlugin(48000, 4096);
      SetParam(*p, kClipperOversample, factor);
      SetParam(*p, kLimiterOversample, factor);
      SetParam(*p, kAutoOutType, mode);
      SetParam(*p, kAutoOutputLevel, 1);
      SetParam(*p, kClipperLevel, 9);
      Stereo in = Sine(1000, 0.7, 1.0, 48000);
      Stereo out(in.size());
      // 90 s of audio, at block sizes that do and do not divide the 100 ms grid.
      long made = 0;
      for (int round = 0; round < 90; ++round) {
        for (size_t pos = 0; pos < in.size();) {
          const int n = static_cast<int>(std::min<size_t>(round % 2 ? 300 : 4096,
                                                          in.size() - pos));
          double* ins[] = {in.left.data() + pos, in.right.data() + pos};
          double* outs[] = {out.left.data() + pos, out.right.data() + pos};
          testing::CountAllocations(true);
          p->ProcessAudio(ins, outs, n);
          made += testing::CountAllocations(false);
          pos += n;
        }
      }
      EXPECT_EQ(made, 0) << "mode " << mode << " factor " << factor;
    }
  }
}

// "Reset Meters" automated by a host from its audio thread once made fresh loudness states
// inside the change handler: an allocation on the audio thread for every press.
TEST(Allocation, ResetMetersAutomatedFromTheAudioThreadAllocatesNothing) {
  auto p = MakePlugin(48000, 1024);
  Stereo in = Sine(1000, 0.5, 0.5, 48000);
  Stereo out(in.size());
  long made = 0;
  for (int press = 0; press < 40; ++press) {
    // Every fifth press comes before the host's idle call could prepare a new spare state.
    if (press % 5 != 4) p->HostIdle();
    testing::CountAllocations(true);
    p->SetParameterFromHost(kResetMeters, 1.0);
    for (size_t pos = 0; pos + 1024 <= in.size(); pos += 1024) {
      double* ins[] = {in.left.data() + pos, in.right.data() + pos};
      double* outs[] = {out.left.data() + pos, out.right.data() + pos};
      p->ProcessAudio(ins, outs, 1024);
    }
    const int64_t counted = p->LongTermCount();
    p->SetParameterFromHost(kResetMeters, 0.0);
    made += testing::CountAllocations(false);
    // The long-term meter restarted at the press.
    EXPECT_EQ(counted, 2 * 1024 * static_cast<int64_t>(in.size() / 1024)) << press;
  }
  EXPECT_EQ(made, 0);
  p->HostIdle();
  EXPECT_TRUE(p->HasLoudnessState());
}

}  // namespace
}  // namespace qd
