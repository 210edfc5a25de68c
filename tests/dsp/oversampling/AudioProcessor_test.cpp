#include "dsp/oversampling/AudioProcessor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>
#include <random>
#include <vector>

#include "tests/support/AllocationCounter.h"

namespace qd {
namespace {

// A stage that records how it is driven and does one of a few simple things to the signal.
class TestStage : public AudioProcessor {
 public:
  enum class Action { Nothing, Negate, Silence, Clip };
  Action action = Action::Nothing;
  int rateChanges = 0;
  int calls = 0;
  int largestPass = 0;

  void ProcessOversampled(double** channels, int nSamples) override {
    ++calls;
    largestPass = std::max(largestPass, nSamples);
    if (action == Action::Nothing) return;
    for (int c = 0; c < kMaxChannels; ++c) {
      for (int i = 0; i < nSamples; ++i) {
        double& x = channels[c][i];
        x = action == Action::Negate ? -x
            : action == Action::Clip ? std::clamp(2.0 * x, -1.0, 1.0)
                                     : 0.0;
      }
    }
  }
  void OnRateChange() override { ++rateChanges; }
};

struct Stereo {
  std::vector<double> left, right;
  explicit Stereo(int n = 0) : left(n), right(n) {}
  double* ptrs[2];
  double** io() {
    ptrs[0] = left.data();
    ptrs[1] = right.data();
    return ptrs;
  }
  bool operator==(const Stereo& o) const { return left == o.left && right == o.right; }
};

Stereo Noise(int n, unsigned seed) {
  Stereo s(n);
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  for (int i = 0; i < n; ++i) {
    s.left[i] = dist(rng);
    s.right[i] = dist(rng);
  }
  return s;
}

Stereo Sine(int n, double hz, double rate) {
  Stereo s(n);
  for (int i = 0; i < n; ++i) {
    s.left[i] = 0.5 * std::sin(2.0 * M_PI * hz * i / rate);
    s.right[i] = 0.5 * std::cos(2.0 * M_PI * hz * i / rate);
  }
  return s;
}

// Runs the whole signal through in blocks of `block` frames.
Stereo Processed(AudioProcessor& p, Stereo s, int block) {
  const int n = static_cast<int>(s.left.size());
  for (int start = 0; start < n; start += block) {
    double* io[2] = {s.left.data() + start, s.right.data() + start};
    p.Process(io, std::min(block, n - start));
  }
  return s;
}

double Rms(const std::vector<double>& x, size_t from) {
  double sum = 0.0;
  for (size_t i = from; i < x.size(); ++i) sum += x[i] * x[i];
  return std::sqrt(sum / static_cast<double>(x.size() - from));
}

double GainDb(const Stereo& in, const Stereo& out, size_t from) {
  return 20.0 * std::log10(Rms(out.left, from) / Rms(in.left, from));
}

TEST(AudioProcessor, FactorOnePassesTheSignalThroughTheStageUnfiltered) {
  const Stereo x = Noise(3000, 1);
  TestStage nothing;
  EXPECT_EQ(Processed(nothing, x, 512), x);

  TestStage negate;
  negate.action = TestStage::Action::Negate;
  const Stereo y = Processed(negate, x, 700);
  for (size_t i = 0; i < x.left.size(); ++i) {
    ASSERT_EQ(y.left[i], -x.left[i]) << i;
    ASSERT_EQ(y.right[i], -x.right[i]) << i;
  }
}

TEST(AudioProcessor, PassBandComesBackAtUnityGain) {
  struct Case {
    int rate, factor, block;
  } cases[] = {{44100, 2, 512},  {44100, 4, 512},  {48000, 2, 37},
               {48000, 4, 4096}, {96000, 4, 1000}, {44100, 2, 8192}};
  for (const Case& c : cases) {
    TestStage stage;
    stage.SetSampleRate(c.rate);
    stage.SetOversampling(c.factor);
    const Stereo x = Sine(c.rate, 1000.0, c.rate);  // one second, well below rate / 4
    const Stereo y = Processed(stage, x, c.block);
    const double gain = GainDb(x, y, c.rate / 4);  // after the transient
    EXPECT_NEAR(gain, 0.0, 0.05) << "rate " << c.rate << " factor " << c.factor << " block "
                                 << c.block;
    EXPECT_NEAR(20.0 * std::log10(Rms(y.right, c.rate / 4) / Rms(x.right, c.rate / 4)), 0.0, 0.05);
  }
}

TEST(AudioProcessor, ContentNearTheBaseNyquistIsAttenuated) {
  for (int factor : {2, 4}) {
    TestStage stage;
    stage.SetOversampling(factor);
    const Stereo x = Sine(44100, 21000.0, 44100.0);
    const Stereo y = Processed(stage, x, 512);
    // About -5 dB at factor 2 and -6 dB at factor 4; one filter alone would give about half.
    EXPECT_LT(GainDb(x, y, 11025), -4.5) << "factor " << factor;
  }
}

TEST(AudioProcessor, OversamplingBelowOneMeansOne) {
  const Stereo x = Noise(1000, 2);
  for (int factor : {0, -4, -2147483647 - 1}) {
    TestStage stage;
    stage.SetOversampling(4);
    stage.SetOversampling(factor);
    EXPECT_EQ(stage.Oversampling(), 1) << factor;
    EXPECT_EQ(stage.UpFilter()->params()[0], 44100.0);
    EXPECT_EQ(Processed(stage, x, 256), x) << factor;
  }
  TestStage huge;
  huge.SetOversampling(1 << 30);
  EXPECT_EQ(huge.Oversampling(), AudioProcessor::kMaxOversampling);
  EXPECT_EQ(huge.MaxFramesPerPass() * huge.Oversampling(), AudioProcessor::kBufferSamples);
}

TEST(AudioProcessor, SettingTheFactorRestartsBothFiltersFromZero) {
  const Stereo before = Noise(777, 3);
  const Stereo after = Noise(512, 4);
  struct Case {
    int from, to;
  } cases[] = {{2, 4}, {4, 2}, {2, 2}, {1, 4}};
  for (const Case& c : cases) {
    TestStage changed;
    changed.SetOversampling(c.from);
    Processed(changed, before, 256);
    const int rateChanges = changed.rateChanges;
    changed.SetOversampling(c.to);
    EXPECT_EQ(changed.rateChanges, rateChanges + 1);
    EXPECT_EQ(changed.UpFilter()->params()[0], 44100.0 * c.to);
    EXPECT_EQ(changed.DownFilter()->params()[2], 22050.0);

    TestStage fresh;
    fresh.SetOversampling(c.to);
    EXPECT_EQ(Processed(changed, after, 512), Processed(fresh, after, 512))
        << c.from << " -> " << c.to;
  }
}

TEST(AudioProcessor, SampleRateAloneChangesNoFilter) {
  const Stereo first = Noise(600, 5);
  const Stereo second = Noise(600, 6);
  TestStage changed, untouched;
  changed.SetOversampling(2);
  untouched.SetOversampling(2);
  const Iir::Filter* up = changed.UpFilter();
  Processed(changed, first, 300);
  Processed(untouched, first, 300);
  changed.SetSampleRate(96000);
  EXPECT_EQ(changed.UpFilter(), up);
  EXPECT_EQ(changed.UpFilter()->params()[0], 88200.0);
  EXPECT_EQ(Processed(changed, second, 300), Processed(untouched, second, 300));
  EXPECT_EQ(changed.ProcessingRate(), 192000.0);
  changed.SetOversampling(2);  // the next factor setting designs at the new rate
  EXPECT_EQ(changed.UpFilter()->params()[0], 192000.0);
  EXPECT_EQ(changed.UpFilter()->params()[2], 48000.0);
}

TEST(AudioProcessor, RateNotYetSetStillDesignsFiniteFilters) {
  // Regression: a rate of 0 used to design the filters from 0 / 0 and turn all audio to NaN.
  for (int rate : {0, -48000}) {
    TestStage stage;
    stage.SetSampleRate(rate);
    stage.SetOversampling(2);
    EXPECT_NEAR(std::abs(stage.UpFilter()->responseAt(0.0)), 1.0, 1e-12) << rate;
    const Stereo x = Sine(44100, 1000.0, 44100.0);
    EXPECT_NEAR(GainDb(x, Processed(stage, x, 512), 11025), 0.0, 0.05) << rate;
  }
}

TEST(AudioProcessor, BlocksBeyondTheBuffersRunInPasses) {
  for (int factor : {1, 2, 4}) {
    const Stereo x = Noise(20000, 7);
    TestStage whole, sliced;
    whole.action = sliced.action = TestStage::Action::Negate;
    whole.SetOversampling(factor);
    sliced.SetOversampling(factor);
    const Stereo a = Processed(whole, x, 20000);
    const Stereo b = Processed(sliced, x, sliced.MaxFramesPerPass());
    EXPECT_EQ(a, b) << "factor " << factor;
    EXPECT_EQ(whole.largestPass, AudioProcessor::kBufferSamples) << "factor " << factor;
  }
}

TEST(AudioProcessor, DegenerateCallsDoNothing) {
  TestStage stage;
  stage.SetOversampling(2);
  Stereo x = Noise(16, 8);
  const Stereo original = x;
  stage.Process(x.io(), 0);
  stage.Process(x.io(), -100);
  stage.Process(nullptr, 16);
  double* half[2] = {x.left.data(), nullptr};
  stage.Process(half, 16);
  EXPECT_EQ(x, original);
  EXPECT_EQ(stage.calls, 0);
}

TEST(AudioProcessor, OneChannelTouchesOnlyTheFirstArray) {
  TestStage stage;
  stage.SetChannelCount(1);
  stage.SetOversampling(2);
  EXPECT_EQ(stage.UpFilter()->channelCount(), 1);
  const Stereo x = Sine(4410, 1000.0, 44100.0);
  std::vector<double> mono = x.left;
  double* io[2] = {mono.data(), nullptr};
  stage.Process(io, 4410);
  EXPECT_NE(mono, x.left);
  stage.SetChannelCount(7);
  EXPECT_EQ(stage.ChannelCount(), 2);
  EXPECT_EQ(stage.UpFilter()->channelCount(), 2);
}

TEST(AudioProcessor, MixAndGains) {
  // The stage silences its input, so the output is the dry share of the gained input.
  TestStage stage;
  stage.action = TestStage::Action::Silence;
  stage.SetMix(0.25);
  stage.SetInputGain(6.0);
  stage.SetOutputGain(-12.0);
  const Stereo x = Noise(100, 9);
  const Stereo y = Processed(stage, x, 100);
  const double expected =
      std::exp(6.0 * 0.1151292546497) * 0.75 * std::exp(-12.0 * 0.1151292546497);
  for (int i = 0; i < 100; ++i) EXPECT_NEAR(y.left[i], x.left[i] * expected, 1e-15) << i;
  EXPECT_NEAR(stage.OutputGain(), 0.251188643150958, 1e-12);
}

// The block form against the plain reference loop through the whole pass (gains, a clipping
// stage, the mix), with every kernel the processor runs, over a minute of audio at the
// plug-in's factors and in blocks of changing length. Factors without a kernel, one channel
// and factor 1 run the reference loop itself: bit for bit.
TEST(AudioProcessor, BlockFormAgreesWithTheReferenceLoop) {
  struct Case {
    int factor, channels, seconds;
    double mix, inDb, outDb, tolerance;
  } cases[] = {
      {4, 2, 60, 1.0, 0.0, 0.0, 1e-12}, {2, 2, 60, 1.0, 3.0, -1.5, 1e-12},
      {4, 2, 5, 0.3, -2.0, 4.0, 1e-12}, {16, 2, 2, 1.0, 0.0, 0.0, 1e-12},
      {3, 2, 2, 1.0, 1.0, 1.0, 0.0},    {1, 2, 2, 0.5, 2.0, -2.0, 0.0},
      {4, 1, 2, 1.0, 0.0, 0.0, 0.0},
  };
  std::vector<Iir::Isa> isas;
  for (Iir::Isa isa : {Iir::Isa::kSse2, Iir::Isa::kAvx2Fma}) {
    if (Iir::IsaAvailable(isa)) isas.push_back(isa);
  }
  for (Iir::Isa isa : isas) {
    for (const Case& c : cases) {
      TestStage fast, reference;
      for (TestStage* s : {&fast, &reference}) {
        s->action = TestStage::Action::Clip;
        s->SetSampleRate(48000);
        s->SetChannelCount(c.channels);
        s->SetOversampling(c.factor);
        s->SetMix(c.mix);
        s->SetInputGain(c.inDb);
        s->SetOutputGain(c.outDb);
      }
      fast.UseIsa(isa);
      reference.UseReferenceForm(true);
      const int frames = 48000 * c.seconds;
      Stereo a = Noise(frames, 21), b = a;
      std::mt19937 rng(c.factor);
      std::uniform_int_distribution<int> length(1, 1500);
      double largest = 0.0;
      for (int start = 0; start < frames;) {
        const int n = std::min(length(rng), frames - start);
        double* pa[2] = {a.left.data() + start, a.right.data() + start};
        double* pb[2] = {b.left.data() + start, b.right.data() + start};
        fast.Process(pa, n);
        reference.Process(pb, n);
        for (int i = start; i < start + n; ++i) {
          largest = std::max(
              {largest, std::fabs(a.left[i] - b.left[i]), std::fabs(a.right[i] - b.right[i])});
        }
        start += n;
      }
      EXPECT_LE(largest, c.tolerance) << "factor " << c.factor << " channels " << c.channels
                                      << " mix " << c.mix << " kernel " << static_cast<int>(isa);
    }
  }
}

TEST(AudioProcessor, ProcessAllocatesNothing) {
  for (int factor : {1, 2, 4}) {
    TestStage stage;
    stage.SetOversampling(factor);
    stage.SetMix(0.5);
    stage.SetOutputGain(-1.0);
    Stereo x = Noise(9000, 10);
    testing::CountAllocations(true);
    stage.Process(x.io(), 9000);
    stage.Process(x.io(), 64);
    EXPECT_EQ(testing::CountAllocations(false), 0) << "factor " << factor;
  }
}

}  // namespace
}  // namespace qd
