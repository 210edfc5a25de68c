// The component and controller roles through the built bundle: buses and arrangements,
// parameter information against the plug-in's parameter table, value texts both ways (the
// same texts the VST2 module gives), component state (the VST2 program chunk bytes) with its
// damaged forms, and the calls hosts make in unusual orders.
#include <gtest/gtest.h>

#include <cmath>

#include "effect/Parameters.h"
#include "formats/vst3/Vst3Plugin.h"
#include "tests/formats/vst2/TestHost.h"
#include "tests/formats/vst3/Vst3TestHost.h"

namespace qd::testing {
namespace {

constexpr ParamID kBypass = vst3::kBypassId;

TEST(Vst3Buses, OneStereoMainBusEachWayAndAMonoInputAccepted) {
  Vst3Instance plugin;
  ASSERT_TRUE(plugin.Valid());
  IComponent& c = *plugin.component;
  EXPECT_EQ(c.getBusCount(kAudio, kInput), 1);
  EXPECT_EQ(c.getBusCount(kAudio, kOutput), 1);
  EXPECT_EQ(c.getBusCount(kEvent, kInput), 0);
  EXPECT_EQ(c.getBusCount(kEvent, kOutput), 0);
  BusInfo bus{};
  ASSERT_EQ(c.getBusInfo(kAudio, kOutput, 0, bus), kResultOk);
  EXPECT_EQ(bus.channelCount, 2);
  EXPECT_EQ(bus.busType, kMain);
  EXPECT_EQ(bus.flags & BusInfo::kDefaultActive, BusInfo::kDefaultActive);
  EXPECT_FALSE(Utf8(bus.name).empty());
  ASSERT_EQ(c.getBusInfo(kAudio, kInput, 0, bus), kResultOk);
  EXPECT_EQ(bus.channelCount, 2);
  EXPECT_EQ(bus.direction, kInput);
  struct Bus {
    MediaType type;
    BusDirection dir;
    int32 index;
  };
  for (auto [type, dir, index] : {Bus{kAudio, kInput, 1}, Bus{kAudio, kOutput, -1},
                                  Bus{kEvent, kInput, 0}, Bus{kAudio, 7, 0}}) {
    EXPECT_EQ(c.getBusInfo(type, dir, index, bus), kInvalidArgument) << type << dir << index;
    EXPECT_EQ(c.activateBus(type, dir, index, 1), kInvalidArgument);
  }

  IAudioProcessor& p = *plugin.processor;
  SpeakerArrangement mono = SpeakerArr::kMono, stereo = SpeakerArr::kStereo, none = 0;
  EXPECT_EQ(p.setBusArrangements(&stereo, 1, &stereo, 1), kResultTrue);
  EXPECT_EQ(p.setBusArrangements(&mono, 1, &stereo, 1), kResultTrue);
  SpeakerArrangement arr = 0;
  ASSERT_EQ(p.getBusArrangement(kInput, 0, arr), kResultOk);
  EXPECT_EQ(arr, SpeakerArr::kMono);
  ASSERT_EQ(c.getBusInfo(kAudio, kInput, 0, bus), kResultOk);
  EXPECT_EQ(bus.channelCount, 1);
  // What the plug-in cannot do leaves the arrangement as it was.
  EXPECT_EQ(p.setBusArrangements(&stereo, 1, &mono, 1), kResultFalse);
  EXPECT_EQ(p.setBusArrangements(&none, 1, &stereo, 1), kResultFalse);
  EXPECT_EQ(p.setBusArrangements(&stereo, 0, &stereo, 1), kResultFalse);
  EXPECT_EQ(p.setBusArrangements(nullptr, 1, &stereo, 1), kResultFalse);
  ASSERT_EQ(p.getBusArrangement(kInput, 0, arr), kResultOk);
  EXPECT_EQ(arr, SpeakerArr::kMono);
  ASSERT_EQ(p.getBusArrangement(kOutput, 0, arr), kResultOk);
  EXPECT_EQ(arr, SpeakerArr::kStereo);
  EXPECT_EQ(p.getBusArrangement(kOutput, 1, arr), kInvalidArgument);
  EXPECT_EQ(p.canProcessSampleSize(kSample32), kResultTrue);
  EXPECT_EQ(p.canProcessSampleSize(kSample64), kResultTrue);
  EXPECT_EQ(p.canProcessSampleSize(2), kResultFalse);
  EXPECT_EQ(p.getLatencySamples(), 0u);
  EXPECT_EQ(p.getTailSamples(), 0u);
}

TEST(Vst3Parameters, InformationFollowsTheParameterTable) {
  Vst3Instance plugin;
  ASSERT_TRUE(plugin.Valid());
  IEditController& e = *plugin.controller;
  ASSERT_EQ(e.getParameterCount(), kParamTable.Count() + 1);
  for (int i = 0; i < kParamTable.Count(); ++i) {
    const ParamDefinition& row = *kParamTable.Row(i);
    ParameterInfo info{};
    ASSERT_EQ(e.getParameterInfo(i, info), kResultOk);
    EXPECT_EQ(info.id, static_cast<ParamID>(i)) << row.identifier;
    EXPECT_EQ(Utf8(info.title), row.name);
    EXPECT_EQ(Utf8(info.units), row.unit);
    const int steps = row.kind == kParamBool ? 1 : row.kind == kParamEnum ? 2 : 0;
    EXPECT_EQ(info.stepCount, steps) << row.identifier;
    EXPECT_EQ((info.flags & ParameterInfo::kIsList) != 0, row.kind == kParamEnum);
    EXPECT_NE(info.flags & ParameterInfo::kCanAutomate, 0);
    EXPECT_EQ(info.flags & ParameterInfo::kIsBypass, 0);
    // The default maps back to the row's default value, and the parameter starts there.
    EXPECT_NEAR(e.normalizedParamToPlain(info.id, info.defaultNormalizedValue), row.defaultValue,
                1e-9)
        << row.identifier;
    EXPECT_NEAR(e.getParamNormalized(info.id), info.defaultNormalizedValue, 1e-12);
    // Plain and normalised values at the ends of the range.
    EXPECT_NEAR(e.normalizedParamToPlain(info.id, 0.0), row.minValue, 1e-12);
    EXPECT_NEAR(e.normalizedParamToPlain(info.id, 1.0), row.maxValue, 1e-12);
    EXPECT_NEAR(e.plainParamToNormalized(info.id, row.maxValue), 1.0, 1e-12);
    EXPECT_NEAR(e.plainParamToNormalized(info.id, row.minValue - 100.0), 0.0, 1e-12);
  }
  ParameterInfo bypass{};
  ASSERT_EQ(e.getParameterInfo(kParamTable.Count(), bypass), kResultOk);
  EXPECT_EQ(bypass.id, kBypass);
  EXPECT_EQ(bypass.stepCount, 1);
  EXPECT_NE(bypass.flags & ParameterInfo::kIsBypass, 0);
  EXPECT_EQ(e.getParameterInfo(-1, bypass), kInvalidArgument);
  EXPECT_EQ(e.getParameterInfo(kParamTable.Count() + 1, bypass), kInvalidArgument);
}

TEST(Vst3Parameters, ValueTextsAreTheVst2ModulesBothWays) {
  Vst3Instance plugin;
  ASSERT_TRUE(plugin.Valid());
  Instance vst2;
  ASSERT_NE(vst2.effect, nullptr) << Module::Get().Error();
  vst2.Start();
  IEditController& e = *plugin.controller;
  for (int i = 0; i < kParamTable.Count(); ++i) {
    for (float n : {0.0f, 0.1f, 0.25f, 0.46f, 0.5f, 0.74f, 0.9f, 1.0f}) {
      vst2.effect->setParameter(vst2.effect, i, n);
      const std::string expected = vst2.Text(vst2::effGetParamDisplay, i);
      const std::string text = plugin.ValueText(static_cast<ParamID>(i), n);
      EXPECT_EQ(text, expected) << kParamTable.Row(i)->identifier << " at " << n;
      // The text reads back to a value that shows the same text.
      String128 wide{};
      CopyToUtf16(wide, 128, text.c_str());
      ParamValue back = -1.0;
      ASSERT_EQ(e.getParamValueByString(static_cast<ParamID>(i), wide, back), kResultOk) << text;
      EXPECT_EQ(plugin.ValueText(static_cast<ParamID>(i), back), text);
    }
  }
  // Text no parameter takes is refused, the value untouched.
  struct Refused {
    ParamID id;
    const char* text;
  };
  for (const Refused& r : {Refused{kClipperOversample, "8x"},
                           {kSoftClipper, "On"},
                           {kClipperLevel, ""},
                           {kClipperLevel, "loud"},
                           {kLimiterLevel, "nan"},
                           {kReleaseTime, "inf"},
                           {kBypass, "maybe"}}) {
    String128 wide{};
    CopyToUtf16(wide, 128, r.text);
    ParamValue v = 0.123;
    EXPECT_EQ(e.getParamValueByString(r.id, wide, v), kResultFalse) << r.text;
    EXPECT_EQ(v, 0.123);
  }
  ParamValue v = 0.0;
  String128 wide{};
  CopyToUtf16(wide, 128, "12");
  ASSERT_EQ(e.getParamValueByString(kClipperLevel, wide, v), kResultOk);
  EXPECT_NEAR(v, (12.0 + 6.0) / 30.0, 1e-12);
  CopyToUtf16(wide, 128, "on");
  ASSERT_EQ(e.getParamValueByString(kBypass, wide, v), kResultOk);
  EXPECT_EQ(v, 1.0);
  EXPECT_EQ(plugin.ValueText(kBypass, 1.0), "on");
  EXPECT_EQ(e.getParamValueByString(99, wide, v), kInvalidArgument);
  EXPECT_EQ(e.getParamValueByString(kClipperLevel, nullptr, v), kInvalidArgument);
  EXPECT_EQ(plugin.ValueText(99, 0.5), "<refused>");
  EXPECT_EQ(plugin.ValueText(kClipperLevel, std::nan("")), "<refused>");
  EXPECT_EQ(plugin.ValueText(kClipperLevel, 7.0), plugin.ValueText(kClipperLevel, 1.0));
}

TEST(Vst3Parameters, SetNormalizedTakesTheValueAndRefusesUnknownIds) {
  Vst3Instance plugin;
  ASSERT_TRUE(plugin.Valid());
  IEditController& e = *plugin.controller;
  EXPECT_EQ(e.setParamNormalized(kLimiterOversample, 1.0), kResultOk);
  EXPECT_EQ(e.getParamNormalized(kLimiterOversample), 1.0);
  EXPECT_EQ(plugin.ValueText(kLimiterOversample, e.getParamNormalized(kLimiterOversample)), "4x");
  EXPECT_EQ(e.setParamNormalized(kBypass, 1.0), kResultOk);
  EXPECT_EQ(e.getParamNormalized(kBypass), 1.0);
  EXPECT_EQ(e.setParamNormalized(12, 0.5), kInvalidArgument);
  EXPECT_EQ(e.setParamNormalized(0xFFFFFFFFu, 0.5), kInvalidArgument);
  EXPECT_EQ(e.setParamNormalized(kClipperLevel, std::nan("")), kInvalidArgument);
  EXPECT_EQ(e.getParamNormalized(12), 0.0);
  // Values outside 0..1 end inside the range.
  EXPECT_EQ(e.setParamNormalized(kClipperLevel, 5.0), kResultOk);
  EXPECT_EQ(e.getParamNormalized(kClipperLevel), 1.0);
  EXPECT_EQ(e.setParamNormalized(kClipperLevel, -5.0), kResultOk);
  EXPECT_EQ(e.getParamNormalized(kClipperLevel), 0.0);
}

// Settings away from every default, as normalised values a float holds exactly (so the
// VST2 module gets the same ones).
const std::pair<int, float> kSettings[] = {{kClipperLevel, 0.375f},    {kSoftClipper, 1.0f},
                                           {kClipperOversample, 0.5f}, {kLimiterLevel, 0.3125f},
                                           {kReleaseTime, 0.25f},      {kAutoOutType, 1.0f}};

void ApplySettings(IEditController& e) {
  for (auto [index, n] : kSettings) e.setParamNormalized(static_cast<ParamID>(index), n);
}

TEST(Vst3State, ComponentStateIsTheVst2ProgramChunkAndRoundTrips) {
  Vst3Instance plugin;
  ASSERT_TRUE(plugin.Valid());
  plugin.Start();
  ApplySettings(*plugin.controller);
  const std::vector<uint8_t> state = plugin.State();
  ASSERT_FALSE(state.empty());

  // The VST2 module with the same settings gives the same bytes as its program chunk.
  Instance vst2;
  ASSERT_NE(vst2.effect, nullptr);
  vst2.Start();
  for (auto [index, n] : kSettings) vst2.effect->setParameter(vst2.effect, index, n);
  void* chunk = nullptr;
  const intptr_t size = vst2.Dispatch(vst2::effGetChunk, 1, 0, &chunk);
  ASSERT_GT(size, 0);
  const auto* bytes = static_cast<const uint8_t*>(chunk);
  EXPECT_EQ(state, std::vector<uint8_t>(bytes, bytes + size));

  // Restored into a new instance (before or after initialisation); a VST2 chunk loads too.
  Vst3Instance other;
  ASSERT_TRUE(other.Valid());
  EXPECT_EQ(other.SetState(state), kResultOk);
  other.Start();
  EXPECT_EQ(other.State(), state);
  for (ParamID id = 0; id < static_cast<ParamID>(kNumParams); ++id) {
    EXPECT_EQ(other.controller->getParamNormalized(id), plugin.controller->getParamNormalized(id));
  }
  Vst3Instance fromVst2;
  ASSERT_TRUE(fromVst2.Valid());
  EXPECT_EQ(fromVst2.SetState(std::vector<uint8_t>(bytes, bytes + size)), kResultOk);
  EXPECT_EQ(fromVst2.ValueText(kClipperOversample,
                               fromVst2.controller->getParamNormalized(kClipperOversample)),
            "2x");

  // The controller role: its own state is empty; the component state it is handed matches.
  MemoryStream controllerState;
  EXPECT_EQ(plugin.controller->getState(&controllerState), kResultOk);
  EXPECT_TRUE(controllerState.bytes.empty());
  EXPECT_EQ(plugin.controller->setState(&controllerState), kResultOk);
  MemoryStream same(state);
  EXPECT_EQ(plugin.controller->setComponentState(&same), kResultOk);
  MemoryStream restored(other.State());
  Vst3Instance third;
  ASSERT_TRUE(third.Valid());
  EXPECT_EQ(third.controller->setComponentState(&restored), kResultOk);
  EXPECT_EQ(third.State(), state);
}

TEST(Vst3State, DamagedShortAndHostileStreamsAreRefusedAndNothingIsLost) {
  Vst3Instance plugin;
  ASSERT_TRUE(plugin.Valid());
  plugin.Start();
  ApplySettings(*plugin.controller);
  const std::vector<uint8_t> good = plugin.State();
  auto withMagic = [&](uint8_t first) {
    std::vector<uint8_t> b = good;
    b[0] = first;
    return b;
  };
  std::vector<std::vector<uint8_t>> damaged = {{}, {0x74}, withMagic(0), withMagic(0x75)};
  for (size_t cut : {size_t{4}, size_t{8}, size_t{11}, size_t{12}, size_t{20}, good.size() - 1}) {
    damaged.emplace_back(good.begin(), good.begin() + static_cast<long>(cut));
  }
  for (const std::vector<uint8_t>& bytes : damaged) {
    EXPECT_EQ(plugin.SetState(bytes), kResultFalse) << bytes.size() << " bytes";
    EXPECT_EQ(plugin.State(), good) << "after " << bytes.size() << " bytes";
    MemoryStream stream(bytes);
    EXPECT_EQ(plugin.controller->setComponentState(&stream), kResultFalse);
    EXPECT_EQ(plugin.State(), good);
  }
  // A stream that fails, one that trickles a byte at a time, one far too long.
  MemoryStream failing(good);
  failing.failReads = true;
  EXPECT_EQ(plugin.component->setState(&failing), kResultFalse);
  EXPECT_EQ(plugin.State(), good);
  MemoryStream trickle(good);
  trickle.readLimit = 1;
  EXPECT_EQ(plugin.component->setState(&trickle), kResultOk);
  EXPECT_EQ(plugin.State(), good);
  std::vector<uint8_t> huge = good;
  huge.resize((size_t{16} << 20) + 1);
  EXPECT_EQ(plugin.SetState(huge), kResultFalse);
  EXPECT_EQ(plugin.State(), good);
  EXPECT_EQ(plugin.component->setState(nullptr), kInvalidArgument);
  EXPECT_EQ(plugin.component->getState(nullptr), kInvalidArgument);
  EXPECT_EQ(plugin.controller->setComponentState(nullptr), kInvalidArgument);
  MemoryStream full;
  full.failWrites = true;
  EXPECT_EQ(plugin.component->getState(&full), kResultFalse);
  // A state read from the middle of a host's stream starts where the stream stands.
  std::vector<uint8_t> prefixed = {1, 2, 3};
  prefixed.insert(prefixed.end(), good.begin(), good.end());
  MemoryStream atThree(prefixed);
  atThree.position = 3;
  Vst3Instance other;
  ASSERT_TRUE(other.Valid());
  EXPECT_EQ(other.component->setState(&atThree), kResultOk);
  EXPECT_EQ(other.State(), good);
}

TEST(Vst3Lifecycle, UnusualCallOrdersAreAnswered) {
  Vst3Instance plugin;
  ASSERT_TRUE(plugin.Valid());
  IComponent& c = *plugin.component;
  IAudioProcessor& p = *plugin.processor;
  // State and parameters before initialisation.
  EXPECT_FALSE(plugin.State().empty());
  EXPECT_EQ(plugin.controller->setParamNormalized(kClipperLevel, 0.5), kResultOk);
  // Processing before activation: refused, the output silent.
  std::vector<double> in(64, 0.5), outL(64, 9.0), outR(64, 9.0);
  EXPECT_EQ(plugin.Process<double>({in.data(), in.data()}, {outL.data(), outR.data()}, 64),
            kNotInitialized);
  EXPECT_EQ(outL, std::vector<double>(64, 0.0));
  EXPECT_EQ(p.setProcessing(1), kNotInitialized);

  ASSERT_EQ(c.initialize(&plugin.app), kResultOk);
  EXPECT_EQ(c.initialize(&plugin.app), kResultOk) << "the controller role of the same object";
  HostApplication otherHost;
  EXPECT_EQ(c.initialize(&otherHost), kResultFalse);
  TUID controllerId{};
  EXPECT_EQ(c.getControllerClassId(controllerId), kNotImplemented);
  EXPECT_EQ(c.setIoMode(kAdvanced), kNotImplemented);
  RoutingInfo a{}, b{};
  EXPECT_EQ(c.getRoutingInfo(a, b), kNotImplemented);

  ProcessSetup bad{kRealtime, kSample64, 512, 0.0};
  EXPECT_EQ(p.setupProcessing(bad), kInvalidArgument);
  bad = {kRealtime, kSample64, 0, 48000.0};
  EXPECT_EQ(p.setupProcessing(bad), kInvalidArgument);
  bad = {kRealtime, 7, 512, 48000.0};
  EXPECT_EQ(p.setupProcessing(bad), kResultFalse);
  ProcessSetup setup{kRealtime, kSample64, 512, 48000.0};
  EXPECT_EQ(p.setupProcessing(setup), kResultOk);
  EXPECT_EQ(c.setActive(0), kResultOk) << "deactivating what is not active";
  EXPECT_EQ(c.setActive(1), kResultOk);
  EXPECT_EQ(c.setActive(1), kResultOk);
  SpeakerArrangement stereo = SpeakerArr::kStereo;
  EXPECT_EQ(p.setBusArrangements(&stereo, 1, &stereo, 1), kResultFalse) << "while active";
  EXPECT_EQ(plugin.Process<double>({in.data(), in.data()}, {outL.data(), outR.data()}, 64),
            kResultOk);
  EXPECT_EQ(plugin.Process<double>({in.data(), in.data()}, {outL.data(), outR.data()}, -1),
            kInvalidArgument);
  EXPECT_EQ(c.setActive(0), kResultOk);
  EXPECT_EQ(c.terminate(), kResultOk);
  EXPECT_EQ(c.terminate(), kResultOk);
  EXPECT_EQ(plugin.Process<double>({in.data(), in.data()}, {outL.data(), outR.data()}, 64),
            kNotInitialized);
  // And again from the start.
  EXPECT_EQ(c.initialize(&plugin.app), kResultOk);
  EXPECT_EQ(c.setActive(1), kResultOk);
  EXPECT_EQ(plugin.Process<double>({in.data(), in.data()}, {outL.data(), outR.data()}, 64),
            kResultOk);
  EXPECT_EQ(c.setActive(0), kResultOk);
  EXPECT_EQ(c.terminate(), kResultOk);

  EXPECT_EQ(plugin.controller->createView("unknown"), nullptr);
  EXPECT_EQ(plugin.controller->createView(nullptr), nullptr);
  EXPECT_EQ(plugin.controller->setComponentHandler(nullptr), kResultOk);
}

}  // namespace
}  // namespace qd::testing
