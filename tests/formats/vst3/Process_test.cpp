// The audio processor through the built bundle: 32- and 64-bit processing against the VST2
// module on the same audio and settings, block lengths from 0 to the set maximum with null
// buffers, silence flags, parameter queues with sample offsets, tempo from the process
// context, bypass, and the automatic "Output Level" reaching the host on its run loop.
#include <gtest/gtest.h>

#include <cmath>

#include "effect/Parameters.h"
#include "formats/vst3/Vst3Plugin.h"
#include "tests/formats/vst2/TestHost.h"
#include "tests/formats/vst3/Vst3TestHost.h"

namespace qd::testing {
namespace {

using Audio = std::vector<std::vector<double>>;

// A stereo signal loud enough to drive both stages: two detuned tones with a slow swell.
Audio Signal(int frames, double peak, double rate) {
  Audio s(2, std::vector<double>(static_cast<size_t>(frames)));
  for (int i = 0; i < frames; ++i) {
    const double t = i / rate;
    const double swell = 0.75 + 0.25 * std::sin(2.0 * M_PI * 0.7 * t);
    s[0][i] = peak * swell *
              (0.6 * std::sin(2.0 * M_PI * 110.0 * t) + 0.4 * std::sin(2.0 * M_PI * 553.0 * t));
    s[1][i] =
        peak * swell *
        (0.6 * std::sin(2.0 * M_PI * 111.0 * t + 0.5) + 0.4 * std::sin(2.0 * M_PI * 557.0 * t));
  }
  return s;
}

double MaxDifference(const Audio& a, const Audio& b) {
  double worst = 0.0;
  for (size_t c = 0; c < a.size(); ++c) {
    for (size_t i = 0; i < a[c].size(); ++i) worst = std::max(worst, std::fabs(a[c][i] - b[c][i]));
  }
  return worst;
}

// Block lengths that vary, as hosts' do, up to `max`.
int BlockAt(int n, int max) {
  return std::min(max, 1 + (n * 389) % max);
}

// Runs `in` through the VST3 instance in `Sample` precision, blocks from BlockAt.
template <typename Sample>
Audio RunVst3(Vst3Instance& plugin, const Audio& in, int maxBlock,
              ProcessContext* context = nullptr) {
  const int frames = static_cast<int>(in[0].size());
  Audio out(2, std::vector<double>(static_cast<size_t>(frames)));
  std::vector<Sample> i0, i1, o0, o1;
  for (int pos = 0, n = 0; pos < frames; ++n) {
    const int len = std::min(BlockAt(n, maxBlock), frames - pos);
    i0.assign(in[0].begin() + pos, in[0].begin() + pos + len);
    i1.assign(in[1].begin() + pos, in[1].begin() + pos + len);
    o0.assign(static_cast<size_t>(len), Sample(0));
    o1.assign(static_cast<size_t>(len), Sample(0));
    EXPECT_EQ(plugin.Process<Sample>({i0.data(), i1.data()}, {o0.data(), o1.data()}, len, nullptr,
                                     context),
              kResultOk);
    std::copy(o0.begin(), o0.end(), out[0].begin() + pos);
    std::copy(o1.begin(), o1.end(), out[1].begin() + pos);
    pos += len;
  }
  return out;
}

// The same through the VST2 module's float or double entry, in the same blocks.
Audio RunVst2(Instance& plugin, const Audio& in, int maxBlock, bool floats) {
  const int frames = static_cast<int>(in[0].size());
  Audio out(2, std::vector<double>(static_cast<size_t>(frames)));
  std::vector<double> d0, d1, e0, e1;
  std::vector<float> f0, f1, g0, g1;
  for (int pos = 0, n = 0; pos < frames; ++n) {
    const int len = std::min(BlockAt(n, maxBlock), frames - pos);
    if (floats) {
      f0.assign(in[0].begin() + pos, in[0].begin() + pos + len);
      f1.assign(in[1].begin() + pos, in[1].begin() + pos + len);
      g0.assign(static_cast<size_t>(len), 0.0f);
      g1.assign(static_cast<size_t>(len), 0.0f);
      float* ip[2] = {f0.data(), f1.data()};
      float* op[2] = {g0.data(), g1.data()};
      plugin.effect->processReplacing(plugin.effect, ip, op, len);
      std::copy(g0.begin(), g0.end(), out[0].begin() + pos);
      std::copy(g1.begin(), g1.end(), out[1].begin() + pos);
    } else {
      d0.assign(in[0].begin() + pos, in[0].begin() + pos + len);
      d1.assign(in[1].begin() + pos, in[1].begin() + pos + len);
      e0.assign(static_cast<size_t>(len), 0.0);
      e1.assign(static_cast<size_t>(len), 0.0);
      double* ip[2] = {d0.data(), d1.data()};
      double* op[2] = {e0.data(), e1.data()};
      plugin.effect->processDoubleReplacing(plugin.effect, ip, op, len);
      std::copy(e0.begin(), e0.end(), out[0].begin() + pos);
      std::copy(e1.begin(), e1.end(), out[1].begin() + pos);
    }
    pos += len;
  }
  return out;
}

// Normalised settings that switch every stage on (float-exact, so both formats get the
// same value).
const std::vector<std::pair<int, float>> kHeavySettings = {
    {kClipperLevel, 0.4f},      {kClipperOversample, 1.0f}, {kLimiterLevel, 0.5f},
    {kLimiterOversample, 0.5f}, {kAutoOutputLevel, 1.0f},   {kAutoOutType, 1.0f},
    {kAutoOutputTarget, 0.75f}, {kSoftClipper, 1.0f}};

void Apply(Vst3Instance& a, Instance& b, const std::vector<std::pair<int, float>>& settings) {
  for (auto [index, n] : settings) {
    a.controller->setParamNormalized(static_cast<ParamID>(index), n);
    b.effect->setParameter(b.effect, index, n);
  }
}

TEST(Vst3Process, EqualsTheVst2ModuleIn32And64Bits) {
  struct Case {
    double rate;
    int maxBlock;
    bool heavy;
  };
  for (const Case& k :
       {Case{44100.0, 512, false}, Case{48000.0, 1024, true}, Case{96000.0, 333, true}}) {
    for (bool floats : {true, false}) {
      Vst3Instance vst3;
      ASSERT_TRUE(vst3.Valid());
      vst3.Start(k.rate, k.maxBlock, floats ? kSample32 : kSample64);
      Instance vst2;
      ASSERT_NE(vst2.effect, nullptr) << Module::Get().Error();
      vst2.Start(static_cast<float>(k.rate), k.maxBlock);
      if (k.heavy) Apply(vst3, vst2, kHeavySettings);
      const Audio in = Signal(static_cast<int>(k.rate), 1.4, k.rate);
      const Audio a =
          floats ? RunVst3<float>(vst3, in, k.maxBlock) : RunVst3<double>(vst3, in, k.maxBlock);
      const Audio b = RunVst2(vst2, in, k.maxBlock, floats);
      const double tolerance = floats ? 1e-6 : 1e-12;
      EXPECT_LE(MaxDifference(a, b), tolerance)
          << k.rate << " Hz, blocks up to " << k.maxBlock << (floats ? ", 32" : ", 64") << " bit";
      EXPECT_GT(MaxDifference(a, Audio(2, std::vector<double>(in[0].size()))), 0.1)
          << "the output is not silence";
    }
  }
}

TEST(Vst3Process, EveryBlockLengthUpToTheMaximumAndNullBuffersAreSafe) {
  Vst3Instance plugin;
  ASSERT_TRUE(plugin.Valid());
  plugin.Start(48000.0, 256, kSample32);
  std::vector<float> l(600, 0.25f), r(600, -0.25f), ol(600), orr(600);
  for (int frames : {0, 1, 2, 255, 256, 257, 600}) {
    EXPECT_EQ(plugin.Process<float>({l.data(), r.data()}, {ol.data(), orr.data()}, frames),
              kResultOk)
        << frames;
  }
  // No buffers at all, null channel pointers, no input bus, no output bus.
  EXPECT_EQ(plugin.Process<float>({}, {}, 0), kResultOk);
  EXPECT_EQ(plugin.Process<float>({}, {}, 128), kResultOk);
  EXPECT_EQ(plugin.Process<float>({nullptr, nullptr}, {nullptr, nullptr}, 128), kResultOk);
  EXPECT_EQ(plugin.Process<float>({l.data(), nullptr}, {ol.data(), nullptr}, 128), kResultOk);
  EXPECT_EQ(plugin.Process<float>({}, {ol.data(), orr.data()}, 128), kResultOk);
  ProcessData data{};
  data.symbolicSampleSize = kSample32;
  data.numSamples = 64;
  data.numInputs = 3;  // a count with no array
  data.numOutputs = 2;
  EXPECT_EQ(plugin.processor->process(data), kResultOk);
  data.symbolicSampleSize = 5;
  EXPECT_EQ(plugin.processor->process(data), kInvalidArgument);
}

TEST(Vst3Process, SilenceFlagsMarkSilentOutputs) {
  Vst3Instance plugin;
  ASSERT_TRUE(plugin.Valid());
  plugin.Start(44100.0, 512, kSample64);
  std::vector<double> zero(512, 0.0), tone(512), ol(512), orr(512);
  for (int i = 0; i < 512; ++i) tone[i] = 0.5 * std::sin(0.05 * i);
  uint64 flags = 0;
  ASSERT_EQ(plugin.Process<double>({zero.data(), zero.data()}, {ol.data(), orr.data()}, 512,
                                   nullptr, nullptr, &flags),
            kResultOk);
  EXPECT_EQ(flags, 3u);
  ASSERT_EQ(plugin.Process<double>({tone.data(), zero.data()}, {ol.data(), orr.data()}, 512,
                                   nullptr, nullptr, &flags),
            kResultOk);
  EXPECT_EQ(flags & 1u, 0u);
}

TEST(Vst3Process, QueuedChangesTakeEffectAtTheirOffsets) {
  // One block with a change at offset 300 sounds as two blocks split there, with the change
  // at the start of the second; a point past the block takes effect for the next block.
  constexpr int kBlock = 512, kAt = 300;
  const Audio in = Signal(4 * kBlock, 1.2, 44100.0);
  auto run = [&](bool split) {
    Vst3Instance plugin;
    plugin.Start(44100.0, kBlock, kSample64);
    Audio out(2, std::vector<double>(in[0].size()));
    std::vector<double> o0(kBlock), o1(kBlock);
    for (int block = 0; block < 4; ++block) {
      const double* i0 = in[0].data() + block * kBlock;
      const double* i1 = in[1].data() + block * kBlock;
      auto process = [&](int from, int len, IParameterChanges* changes) {
        plugin.Process<double>({const_cast<double*>(i0) + from, const_cast<double*>(i1) + from},
                               {o0.data() + from, o1.data() + from}, len, changes);
      };
      if (block == 2 && split) {
        ParamQueue clipper(kClipperLevel, {{0, 0.7}});
        ParamChanges changes;
        changes.queues = {&clipper};
        process(0, kBlock, &changes);
      } else if (block != 1) {
        process(0, kBlock, nullptr);
      } else if (!split) {
        ParamQueue level(kLimiterLevel, {{0, 0.2}, {kAt, 0.8}});
        ParamQueue clipper(kClipperLevel, {{kBlock + 5, 0.7}});
        ParamQueue unknown(4711, {{0, 1.0}});
        ParamChanges changes;
        changes.queues = {&unknown, &level, &clipper};
        process(0, kBlock, &changes);
      } else {
        ParamQueue first(kLimiterLevel, {{0, 0.2}});
        ParamChanges a;
        a.queues = {&first};
        process(0, kAt, &a);
        ParamQueue second(kLimiterLevel, {{0, 0.8}});
        ParamChanges b;
        b.queues = {&second};
        process(kAt, kBlock - kAt, &b);
      }
      std::copy(o0.begin(), o0.end(), out[0].begin() + block * kBlock);
      std::copy(o1.begin(), o1.end(), out[1].begin() + block * kBlock);
    }
    EXPECT_EQ(plugin.controller->getParamNormalized(kLimiterLevel), 0.8);
    return out;
  };
  const Audio together = run(false);
  const Audio split = run(true);
  EXPECT_EQ(MaxDifference(together, split), 0.0);

  // An empty block (a host's parameter flush) takes every point.
  Vst3Instance plugin;
  plugin.Start();
  ParamQueue level(kClipperLevel, {{0, 0.1}, {40, 0.9}});
  ParamChanges changes;
  changes.queues = {&level};
  EXPECT_EQ(plugin.Process<double>({}, {}, 0, &changes), kResultOk);
  EXPECT_EQ(plugin.controller->getParamNormalized(kClipperLevel), 0.9);
}

TEST(Vst3Process, TempoFromTheProcessContextDrivesTheAutomaticRelease) {
  const Audio in = Signal(44100, 1.5, 44100.0);
  auto vst3At = [&](double tempo, bool valid) {
    Vst3Instance plugin;
    plugin.Start(44100.0, 512, kSample64);
    plugin.controller->setParamNormalized(kLimiterLevel, 0.6);
    ProcessContext context{};
    context.sampleRate = 44100.0;
    context.tempo = tempo;
    context.state = valid ? uint32{ProcessContext::kTempoValid} : uint32{0};
    return RunVst3<double>(plugin, in, 512, &context);
  };
  auto vst2At = [&](double tempo) {
    Instance plugin;
    plugin.host.time.tempo = tempo;
    plugin.host.time.sampleRate = 44100.0;
    plugin.host.time.flags = vst2::kVstTempoValid;
    plugin.Start(44100.0f, 512);
    plugin.effect->setParameter(plugin.effect, kLimiterLevel, 0.6f);
    return RunVst2(plugin, in, 512, false);
  };
  const Audio slow = vst3At(60.0, true);
  EXPECT_LE(MaxDifference(slow, vst2At(60.0)), 1e-12);
  EXPECT_LE(MaxDifference(vst3At(174.0, true), vst2At(174.0)), 1e-12);
  EXPECT_GT(MaxDifference(slow, vst3At(174.0, true)), 1e-4) << "the tempo changed nothing";
  // A tempo the context does not mark valid is no tempo.
  EXPECT_EQ(MaxDifference(vst3At(174.0, false), vst3At(0.0, false)), 0.0);
}

TEST(Vst3Process, BypassPassesTheInputBitForBit) {
  for (bool mono : {false, true}) {
    Vst3Instance plugin;
    ASSERT_TRUE(plugin.Valid());
    SpeakerArrangement in = mono ? SpeakerArr::kMono : SpeakerArr::kStereo;
    SpeakerArrangement out = SpeakerArr::kStereo;
    ASSERT_EQ(plugin.processor->setBusArrangements(&in, 1, &out, 1), kResultTrue);
    plugin.Start(48000.0, 512, kSample32);
    plugin.controller->setParamNormalized(kLimiterLevel, 1.0);
    ASSERT_EQ(plugin.controller->setParamNormalized(vst3::kBypassId, 1.0), kResultOk);
    std::vector<float> l(512), r(512), ol(512), orr(512);
    for (int i = 0; i < 512; ++i) {
      l[i] = 1.7f * std::sin(0.01f * i);  // above full scale: no engine would pass it
      r[i] = -0.3f * std::cos(0.02f * i);
    }
    const auto process = [&](IParameterChanges* changes) {
      return mono ? plugin.Process<float>({l.data()}, {ol.data(), orr.data()}, 512, changes)
                  : plugin.Process<float>({l.data(), r.data()}, {ol.data(), orr.data()}, 512,
                                          changes);
    };
    ASSERT_EQ(process(nullptr), kResultOk);
    EXPECT_EQ(ol, l);
    EXPECT_EQ(orr, mono ? l : r);
    // Switched off in a queue, the engine runs again from that point.
    ParamQueue off(vst3::kBypassId, {{256, 0.0}});
    ParamChanges changes;
    changes.queues = {&off};
    ASSERT_EQ(process(&changes), kResultOk);
    EXPECT_TRUE(std::equal(ol.begin(), ol.begin() + 256, l.begin()));
    EXPECT_FALSE(std::equal(ol.begin() + 256, ol.end(), l.begin() + 256));
    EXPECT_EQ(plugin.controller->getParamNormalized(vst3::kBypassId), 0.0);
  }
}

TEST(Vst3Process, TheAutomaticOutputLevelReachesTheHostOnItsRunLoopNotInProcess) {
  Vst3Instance plugin;
  ASSERT_TRUE(plugin.Valid());
  plugin.Start(44100.0, 512, kSample64);
#ifndef _WIN32
  ASSERT_FALSE(plugin.runLoop.timers.empty()) << "no timer on the handler's run loop";
#endif
  plugin.controller->setParamNormalized(kAutoOutputLevel, 1.0);
  plugin.controller->setParamNormalized(kLimiterLevel, 0.5);
  // Blocks of 512 frames, the host's timer between every third block (about 33 ms).
  const Audio in = Signal(512, 1.2, 44100.0);
  std::vector<double> i0 = in[0], i1 = in[1], o0(512), o1(512);
  for (int block = 0; block < 60; ++block) {
    plugin.Process<double>({i0.data(), i1.data()}, {o0.data(), o1.data()}, 512);
    if (block % 3 == 2) {
      for (int i = 0; i < 100 && plugin.handler.calls.empty(); ++i) {
        plugin.runLoop.RunOnce(i == 0 ? 0 : 10, true);
      }
      plugin.runLoop.RunOnce(0, true);
    }
  }
  for (int i = 0; i < 10; ++i) plugin.runLoop.RunOnce(10, true);
  const ParamID output = kOutputLevel;
  ASSERT_GT(plugin.handler.Count(EditCall::kPerform, output), 0);
  EXPECT_EQ(plugin.handler.Count(EditCall::kBegin, output),
            plugin.handler.Count(EditCall::kEnd, output));
  for (const EditCall& c : plugin.handler.calls) {
    EXPECT_FALSE(c.duringProcess);
    EXPECT_EQ(c.thread, std::this_thread::get_id());
  }
  // The last value the host saw is the parameter's.
  ParamValue last = -1.0;
  for (const EditCall& c : plugin.handler.calls) {
    if (c.kind == EditCall::kPerform && c.id == output) last = c.value;
  }
  EXPECT_EQ(last, plugin.controller->getParamNormalized(output));
  EXPECT_NE(last, plugin.controller->plainParamToNormalized(output, -0.2));
}

}  // namespace
}  // namespace qd::testing
