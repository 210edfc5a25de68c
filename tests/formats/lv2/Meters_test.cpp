// The meter outputs of the LV2 binary, read back as the LV2 editor reads them, show what the
// VST2 plug-in's editor shows for the same audio at the same settings: the same readout texts
// and the same bar positions; and the output gain port reports the gain in effect, also
// while the automatic output level drives it.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <utility>
#include <vector>

#include "LilvHost.h"
#include "effect/QuarloDorvantix.h"
#include "formats/lv2/Lv2Meters.h"
#include "formats/vst2/PluginVst2.h"

namespace {

using qd::testing::HostOptions;
using qd::testing::Lv2Instance;
namespace lv2 = qd::lv2;

constexpr double kRate = 48000.0;
constexpr int kBlock = 480;

void Fill(float* l, float* r, int frames, int64_t start) {
  for (int k = 0; k < frames; ++k) {
    const double t = static_cast<double>(start + k) / kRate;
    const double swell = 0.5 + 0.5 * std::sin(2 * M_PI * 0.3 * t);
    l[k] = static_cast<float>(
        swell * (0.8 * std::sin(2 * M_PI * 97.0 * t) + 0.4 * std::sin(2 * M_PI * 3100.0 * t)));
    r[k] = static_cast<float>(swell * 0.9 * std::sin(2 * M_PI * 151.0 * t + 1.0));
  }
}

// The VST2 binding over its own plug-in object, as the VST2 module holds it, with settings
// given as real values through the host's text entry.
struct Vst2Side {
  Vst2Side() {
    auto owned = std::make_unique<qd::QuarloDorvantix>(qd::PortLabels::kPerChannel);
    plugin = owned.get();
    binding = std::make_unique<qd::PluginVst2>(nullptr, std::move(owned));
    binding->FinishCreation();
    Dispatch(qd::vst2::effOpen);
    Dispatch(qd::vst2::effSetSampleRate, 0, 0, nullptr, static_cast<float>(kRate));
    Dispatch(qd::vst2::effSetBlockSize, 0, kBlock);
    Dispatch(qd::vst2::effMainsChanged, 0, 1);
  }
  ~Vst2Side() { Dispatch(qd::vst2::effMainsChanged, 0, 0); }
  intptr_t Dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                    float opt = 0.0f) {
    qd::vst2::AEffect* e = binding->Effect();
    return e->dispatcher(e, opcode, index, value, ptr, opt);
  }
  void Set(int index, float value) {
    std::string text = qd::testing::HostText(index, value);
    ASSERT_EQ(Dispatch(qd::vst2::effString2Parameter, index, 0, text.data()), 1)
        << index << " " << text;
  }
  void Process(float** in, float** out, int frames) {
    qd::vst2::AEffect* e = binding->Effect();
    e->processReplacing(e, in, out, frames);
  }
  qd::QuarloDorvantix* plugin = nullptr;
  std::unique_ptr<qd::PluginVst2> binding;
};

TEST(Lv2Meters, TheMeterOutputsShowWhatTheVst2EditorShows) {
  using Settings = std::vector<std::pair<int, float>>;
  const std::pair<const char*, Settings> cases[] = {
      {"defaults", {}},
      {"pushed, automatic output to -14 LUFS",
       {{0, 6.0f}, {3, 9.0f}, {6, 1.0f}, {8, 1.0f}, {9, -14.0f}, {10, 2.0f}}},
      {"hand-set output level, RMS target unused", {{3, 4.0f}, {7, -6.5f}}},
  };
  for (const auto& [name, settings] : cases) {
    SCOPED_TRACE(name);
    Vst2Side vst;
    Lv2Instance plugin(HostOptions{kRate, kBlock, true});
    ASSERT_TRUE(plugin.Ok());
    for (auto [index, value] : settings) {
      vst.Set(index, value);
      plugin.controls[static_cast<size_t>(index)] = value;
    }
    std::vector<float> ol(kBlock), orr(kBlock);
    // Six seconds, long enough for the loudness range and the gated integration.
    for (int b = 0; b < 600; ++b) {
      Fill(plugin.In(0), plugin.In(1), kBlock, static_cast<int64_t>(b) * kBlock);
      float* in[2] = {plugin.In(0), plugin.In(1)};
      float* out[2] = {ol.data(), orr.data()};
      vst.Process(in, out, kBlock);
      plugin.Run(kBlock);
      if (b % 100 != 99) continue;
      SCOPED_TRACE(b);
      const qd::MeterReadings shown = vst.plugin->ReadMeters();
      const qd::MeterReadings read =
          qd::FormatMeterReadings(lv2::MetersFromPorts(plugin.meters.data()));
      EXPECT_STREQ(read.integratedText, shown.integratedText);
      EXPECT_STREQ(read.rangeText, shown.rangeText);
      EXPECT_STREQ(read.rmsText, shown.rmsText);
      const std::pair<double, double> bars[] = {
          {read.peakLeft, shown.peakLeft},
          {read.peakRight, shown.peakRight},
          {read.rmsLeft, shown.rmsLeft},
          {read.rmsRight, shown.rmsRight},
          {read.clipperReduction, shown.clipperReduction},
          {read.clipperHold, shown.clipperHold},
          {read.limiterReduction, shown.limiterReduction},
          {read.limiterHold, shown.limiterHold},
      };
      for (size_t i = 0; i < std::size(bars); ++i) {
        EXPECT_NEAR(bars[i].first, bars[i].second, 1e-6) << "bar " << i;
      }
      EXPECT_NEAR(plugin.meters[lv2::kMeterOutputGain],
                  vst.plugin->GetParam(qd::kOutputLevel)->Value(), 1e-5);
      EXPECT_EQ(plugin.latency, 0.0f);
    }
  }
}

TEST(Lv2Meters, TheAutomaticOutputLevelIsReportedOnTheOutputGainPort) {
  // The host's "Output Level" stays where it is set; the gain in effect is the plug-in's.
  Lv2Instance plugin(HostOptions{kRate, kBlock, true});
  ASSERT_TRUE(plugin.Ok());
  plugin.controls[qd::kOutputLevel] = -0.2f;
  plugin.controls[qd::kAutoOutputLevel] = 1.0f;
  plugin.controls[qd::kAutoOutputTarget] = -24.0f;
  plugin.controls[qd::kAutoOutType] = 0.0f;  // sample peak
  for (int b = 0; b < 300; ++b) {
    Fill(plugin.In(0), plugin.In(1), kBlock, static_cast<int64_t>(b) * kBlock);
    plugin.Run(kBlock);
  }
  EXPECT_EQ(plugin.controls[qd::kOutputLevel], -0.2f);
  EXPECT_LT(plugin.meters[lv2::kMeterOutputGain], -10.0f);
  float peak = 0.0f;
  for (int k = 0; k < kBlock; ++k) peak = std::max(peak, std::fabs(plugin.Out(0)[k]));
  EXPECT_LT(peak, 0.2f);  // the output follows the automatic gain, not the port

  // Switched off, the gain returns to the host's "Output Level", which a saved session holds.
  plugin.controls[qd::kAutoOutputLevel] = 0.0f;
  for (int b = 0; b < 3; ++b) {
    Fill(plugin.In(0), plugin.In(1), kBlock, static_cast<int64_t>(300 + b) * kBlock);
    plugin.Run(kBlock);
  }
  EXPECT_FLOAT_EQ(plugin.meters[lv2::kMeterOutputGain], -0.2f);
}

}  // namespace
