// Counts heap allocations inside process(): with the heaviest settings, parameter queues,
// bypass switching and a process context, none once processing runs.
#include <gtest/gtest.h>

#include <cmath>

#include "effect/Parameters.h"
#include "formats/vst3/Vst3Plugin.h"
#include "tests/formats/vst3/Vst3TestHost.h"
#include "tests/support/AllocationCounter.h"

namespace qd::testing {
namespace {

TEST(Vst3Allocation, ProcessAllocatesNothing) {
  Vst3Instance plugin;
  ASSERT_TRUE(plugin.Valid());
  plugin.Start(48000.0, 512, kSample32);
  // The counter sees what the module allocates (a state is written into a new buffer).
  CountAllocations(true);
  plugin.State();
  EXPECT_GT(CountAllocations(false), 0);

  for (auto [id, n] : {std::pair{kClipperOversample, 1.0},
                       {kLimiterOversample, 1.0},
                       {kAutoOutputLevel, 1.0},
                       {kAutoOutType, 1.0},
                       {kLimiterLevel, 0.6}}) {
    plugin.controller->setParamNormalized(static_cast<ParamID>(id), n);
  }
  std::vector<float> l(512), r(512), ol(512), orr(512);
  for (int i = 0; i < 512; ++i) l[i] = r[i] = 1.3f * std::sin(0.03f * i);
  ProcessContext context{};
  context.state = ProcessContext::kTempoValid;
  context.tempo = 128.0;
  plugin.Process<float>({l.data(), r.data()}, {ol.data(), orr.data()}, 512, nullptr, &context);

  long made = 0;
  for (int block = 0; block < 200; ++block) {
    ParamQueue clipper(kClipperLevel, {{block % 512, (block % 10) / 10.0}});
    ParamQueue reset(kResetMeters, {{0, block % 2 ? 1.0 : 0.0}});
    ParamQueue bypass(vst3::kBypassId, {{7, block % 50 == 49 ? 1.0 : 0.0}});
    ParamChanges changes;
    changes.queues = {&clipper, &reset, &bypass};
    CountAllocations(true);
    plugin.Process<float>({l.data(), r.data()}, {ol.data(), orr.data()}, 1 + block * 7 % 512,
                          &changes, &context);
    made += CountAllocations(false);
    if (block % 20 == 0) plugin.runLoop.RunOnce(0, true);  // the host's idle time
  }
  EXPECT_EQ(made, 0);
}

}  // namespace
}  // namespace qd::testing
