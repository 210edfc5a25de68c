// Audio through the LV2 binary, driven by the lilv host: it equals the VST2 module's float
// path at the same settings, follows the host's tempo into the automatic release, and
// survives hostile control values, time sequences, features and block sizes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "LilvHost.h"
#include "effect/Parameters.h"
#include "tests/formats/vst2/TestHost.h"

namespace {

using qd::testing::HostOptions;
using qd::testing::Lv2Instance;
namespace lv2 = qd::lv2;

constexpr double kRate = 48000.0;
constexpr int kBlock = 512;

// Real values, in the plug-in's units.
using Settings = std::vector<std::pair<int, float>>;

// A loud two-tone signal with a slow swell, so both stages and the meters work.
void Fill(float* l, float* r, int frames, int64_t start) {
  for (int k = 0; k < frames; ++k) {
    const double t = static_cast<double>(start + k) / kRate;
    const double swell = 0.6 + 0.4 * std::sin(2 * M_PI * 0.7 * t);
    l[k] = static_cast<float>(
        swell * (0.9 * std::sin(2 * M_PI * 110.0 * t) + 0.3 * std::sin(2 * M_PI * 2210.0 * t)));
    r[k] = static_cast<float>(swell * 0.8 * std::sin(2 * M_PI * 137.0 * t + 0.4));
  }
}

// The VST2 module, opened and started as a host does, with settings given as the texts a
// host would type (exact doubles for numbers, display texts for switches and choices).
class Vst2Reference {
 public:
  Vst2Reference() {
    vst_.host.time.sampleRate = kRate;
    vst_.Start(static_cast<float>(kRate), kBlock);
  }
  bool Ok() const { return vst_.effect != nullptr; }
  void Set(int index, float value) {
    std::string text = qd::testing::HostText(index, value);
    ASSERT_EQ(vst_.SetByText(index, text.c_str()), 1) << index << " " << text;
  }
  void SetTempo(double bpm) {
    vst_.host.time.tempo = bpm;
    vst_.host.time.flags |= qd::vst2::kVstTempoValid;
  }
  void Process(float** in, float** out, int frames) {
    vst_.effect->processReplacing(vst_.effect, in, out, frames);
  }

 private:
  qd::testing::Instance vst_;
};

void Apply(Lv2Instance& lv2, const Settings& settings) {
  for (auto [index, value] : settings) lv2.controls[index] = value;
}

// Largest difference between the two renderings over `blocks` blocks; the tempo, when
// given, is announced to both before the first block.
double LargestDifference(const Settings& settings, int blocks, double bpm = 0.0) {
  Vst2Reference vst;
  Lv2Instance plugin(HostOptions{kRate, kBlock, true});
  EXPECT_TRUE(vst.Ok() && plugin.Ok());
  if (!vst.Ok() || !plugin.Ok()) return INFINITY;
  for (auto [index, value] : settings) vst.Set(index, value);
  Apply(plugin, settings);
  if (bpm > 0.0) {
    vst.SetTempo(bpm);
    plugin.SetTempo(static_cast<float>(bpm));
  }
  std::vector<float> ol(kBlock), orr(kBlock);
  double largest = 0.0;
  for (int b = 0; b < blocks; ++b) {
    Fill(plugin.In(0), plugin.In(1), kBlock, static_cast<int64_t>(b) * kBlock);
    float* in[2] = {plugin.In(0), plugin.In(1)};
    float* out[2] = {ol.data(), orr.data()};
    vst.Process(in, out, kBlock);
    plugin.Run(kBlock);
    for (int k = 0; k < kBlock; ++k) {
      largest = std::max({largest, std::fabs(double(ol[k]) - plugin.Out(0)[k]),
                          std::fabs(double(orr[k]) - plugin.Out(1)[k])});
    }
  }
  return largest;
}

TEST(Lv2Render, EqualsTheVst2FloatPathAtTheSameSettings) {
  const std::pair<const char*, Settings> cases[] = {
      {"defaults", {}},
      {"pushed, soft, 4x clipper, 2x limiter, manual release",
       {{0, 9.0f}, {1, 1.0f}, {2, 2.0f}, {3, 6.0f}, {4, 0.0f}, {5, 50.0f}, {6, 1.0f}}},
      {"automatic output to -14 LUFS", {{3, 12.0f}, {8, 1.0f}, {9, -14.0f}, {10, 2.0f}}},
      {"automatic output by sample peak, 4x limiter",
       {{0, 3.0f}, {6, 2.0f}, {8, 1.0f}, {9, -6.0f}, {10, 0.0f}}},
      {"hand-set output level, clipper cut", {{0, -4.5f}, {3, 2.5f}, {7, -3.5f}}},
  };
  for (const auto& [name, settings] : cases) {
    EXPECT_LE(LargestDifference(settings, 40), 1e-6) << name;
  }
}

TEST(Lv2Render, TheHostTempoReachesTheAutomaticRelease) {
  // Automatic release is on by default; at 90 bpm the release is a sixteenth of a minute
  // over 90, not the 120 ms it starts with.
  const Settings pushed = {{3, 14.0f}};
  EXPECT_LE(LargestDifference(pushed, 60, 90.0), 1e-6);

  // Without the tempo the same audio comes out differently.
  Lv2Instance withTempo(HostOptions{kRate, kBlock, true}),
      without(HostOptions{kRate, kBlock, true});
  ASSERT_TRUE(withTempo.Ok() && without.Ok());
  Apply(withTempo, pushed);
  Apply(without, pushed);
  withTempo.SetTempo(90.0f);
  double largest = 0.0;
  for (int b = 0; b < 60; ++b) {
    for (Lv2Instance* i : {&withTempo, &without}) {
      Fill(i->In(0), i->In(1), kBlock, static_cast<int64_t>(b) * kBlock);
      i->Run(kBlock);
    }
    for (int k = 0; k < kBlock; ++k) {
      largest = std::max(largest, std::fabs(double(withTempo.Out(0)[k]) - without.Out(0)[k]));
    }
  }
  EXPECT_GT(largest, 1e-3);
}

// Runs two instances side by side on the same audio and returns the largest difference.
double Compare(Lv2Instance& a, Lv2Instance& b, int blocks, int64_t* clock) {
  double largest = 0.0;
  for (int n = 0; n < blocks; ++n, *clock += kBlock) {
    for (Lv2Instance* i : {&a, &b}) {
      Fill(i->In(0), i->In(1), kBlock, *clock);
      i->Run(kBlock);
    }
    for (int c = 0; c < 2; ++c) {
      for (int k = 0; k < kBlock; ++k) {
        EXPECT_TRUE(std::isfinite(a.Out(c)[k]));
        largest = std::max(largest, std::fabs(double(a.Out(c)[k]) - b.Out(c)[k]));
      }
    }
  }
  return largest;
}

TEST(Lv2Render, HostileControlValuesAreClampedToThePortRange) {
  const LilvPlugin* plugin = qd::testing::Lv2World::Get().Plugin();
  ASSERT_NE(plugin, nullptr);
  std::vector<float> minimum(lv2::kPortCount), maximum(lv2::kPortCount);  // every port
  lilv_plugin_get_port_ranges_float(plugin, minimum.data(), maximum.data(), nullptr);

  constexpr float kInf = std::numeric_limits<float>::infinity();
  constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
  // Every control at once: each hostile value, and the value it must act as.
  struct Case {
    const char* name;
    float hostile;
    bool towardsMaximum;
  };
  const Case cases[] = {{"+inf", kInf, true},     {"-inf", -kInf, false}, {"1e30", 1e30f, true},
                        {"-1e30", -1e30f, false}, {"max+1", 0.0f, true},  {"min-1", 0.0f, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Lv2Instance hostile, clamped;
    ASSERT_TRUE(hostile.Ok() && clamped.Ok());
    for (uint32_t i = 0; i < lv2::kParamPorts; ++i) {
      const float edge = c.towardsMaximum ? maximum[i] : minimum[i];
      const bool offByOne = std::string(c.name) == "max+1" || std::string(c.name) == "min-1";
      hostile.controls[i] = offByOne ? edge + (c.towardsMaximum ? 1.0f : -1.0f) : c.hostile;
      clamped.controls[i] = edge;
    }
    int64_t clock = 0;
    EXPECT_EQ(Compare(hostile, clamped, 6, &clock), 0.0);
  }

  // NaN names no value: a control keeps what it had, at the start and later.
  Lv2Instance hostile, steady;
  ASSERT_TRUE(hostile.Ok() && steady.Ok());
  for (uint32_t i = 0; i < lv2::kParamPorts; ++i) hostile.controls[i] = kNaN;
  int64_t clock = 0;
  EXPECT_EQ(Compare(hostile, steady, 4, &clock), 0.0);
  for (Lv2Instance* i : {&hostile, &steady}) {
    i->controls[0] = 12.0f;
    i->controls[3] = 8.0f;
    i->controls[2] = 1.0f;
  }
  EXPECT_EQ(Compare(hostile, steady, 4, &clock), 0.0);
  hostile.controls[0] = kNaN;
  hostile.controls[3] = kNaN;
  hostile.controls[2] = kNaN;
  EXPECT_EQ(Compare(hostile, steady, 4, &clock), 0.0);
}

TEST(Lv2Render, AnyBlockSizeGivesTheSameAudioAsSteadyBlocks) {
  // Steady 512-frame blocks against a run of awkward sizes: none, one frame, odd counts,
  // the announced maximum and one past it, and blocks many times longer than it.
  const uint32_t sizes[] = {0, 1, 7, 0, 1023, 1024, 1025, 3 * 1024 + 5, 0, 20000, 511, 65536};
  int64_t total = 0;
  for (uint32_t s : sizes) total += s;
  const int64_t steadyBlocks = (total + kBlock - 1) / kBlock;

  std::vector<float> expected[2];
  {
    Lv2Instance steady(HostOptions{kRate, 1024, true});
    ASSERT_TRUE(steady.Ok());
    for (int64_t b = 0; b < steadyBlocks; ++b) {
      Fill(steady.In(0), steady.In(1), kBlock, b * kBlock);
      steady.Run(kBlock);
      for (int c = 0; c < 2; ++c)
        expected[c].insert(expected[c].end(), steady.Out(c), steady.Out(c) + kBlock);
    }
  }
  for (int maxBlock : {1024, 0}) {  // with the host's maximum, and with none announced
    SCOPED_TRACE(maxBlock);
    Lv2Instance awkward(HostOptions{kRate, maxBlock, true});
    ASSERT_TRUE(awkward.Ok());
    int64_t clock = 0;
    double largest = 0.0;
    for (uint32_t s : sizes) {
      Fill(awkward.In(0), awkward.In(1), static_cast<int>(s), clock);
      awkward.Run(s);
      for (int c = 0; c < 2; ++c) {
        for (uint32_t k = 0; k < s; ++k) {
          largest =
              std::max(largest, std::fabs(double(awkward.Out(c)[k]) - expected[c][clock + k]));
        }
      }
      clock += s;
    }
    EXPECT_EQ(largest, 0.0);
  }
}

TEST(Lv2Render, HostileHostsAreSurvived) {
  // No urid:map: the plug-in declines to instantiate.
  Lv2Instance noMap(HostOptions{kRate, kBlock, false});
  EXPECT_FALSE(noMap.Ok());

  // Sample rates no host should send are answered by clamping, not by failing.
  for (double rate : {0.0, -44100.0, 1e12, std::numeric_limits<double>::quiet_NaN()}) {
    Lv2Instance odd(HostOptions{rate, kBlock, true});
    ASSERT_TRUE(odd.Ok()) << rate;
    Fill(odd.In(0), odd.In(1), kBlock, 0);
    odd.Run(kBlock);
    EXPECT_TRUE(std::isfinite(odd.Out(0)[kBlock - 1])) << rate;
  }

  // A nonsensical maximum block length.
  for (int maxBlock : {-5, 1, std::numeric_limits<int>::max()}) {
    Lv2Instance odd(HostOptions{kRate, maxBlock, true});
    ASSERT_TRUE(odd.Ok()) << maxBlock;
    Fill(odd.In(0), odd.In(1), 3000, 0);
    odd.Run(3000);
    EXPECT_TRUE(std::isfinite(odd.Out(1)[2999])) << maxBlock;
  }

  // Time sequences whose sizes lie: an event claiming more bytes than the sequence holds,
  // a property claiming more bytes than its object, a tempo that is no number, and a
  // sequence of the wrong type. Then the time port is disconnected altogether.
  Lv2Instance plugin;
  ASSERT_TRUE(plugin.Ok());
  auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(plugin.TimeBuffer());
  auto* event = reinterpret_cast<LV2_Atom_Event*>(seq + 1);
  auto* prop = reinterpret_cast<LV2_Atom_Property_Body*>(reinterpret_cast<uint8_t*>(event + 1) +
                                                         sizeof(LV2_Atom_Object_Body));
  for (int variant = 0; variant < 4; ++variant) {
    plugin.SetTempo(variant == 2 ? std::numeric_limits<float>::quiet_NaN() : 100.0f);
    if (variant == 0) event->body.size = 0xFFFFFF00u;
    if (variant == 1) prop->value.size = 0x7FFFFFFFu;
    if (variant == 3) seq->atom.type = plugin.Urid(LV2_ATOM__Tuple);
    Fill(plugin.In(0), plugin.In(1), kBlock, 0);
    plugin.Run(kBlock);
    EXPECT_TRUE(std::isfinite(plugin.Out(0)[0])) << variant;
  }
  plugin.Connect(lv2::kTimePort, nullptr);
  plugin.Run(kBlock);
  EXPECT_TRUE(std::isfinite(plugin.Out(0)[0]));
}

}  // namespace
