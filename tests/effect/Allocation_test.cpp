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

}  // namespace
}  // namespace qd
