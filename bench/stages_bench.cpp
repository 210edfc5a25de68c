// Cost of the nonlinear stages at the raised rate against their plain reference loops, in
// nanoseconds per base-rate stereo frame at 4x (four samples of each channel), and of the
// engine's base-rate passes against theirs.
// Run: build/<dir>/bench/stages_bench
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "dsp/math/Tanh.h"
#include "dsp/math/TanhKernels.h"
#include "effect/Clipper.h"
#include "effect/EnginePasses.h"
#include "effect/EnvelopeFollower.h"
#include "effect/Limiter.h"
#include "effect/LimiterKernels.h"
#include "effect/Loudness.h"
#include "effect/RMSBuffer.h"
#include "effect/RMSKernels.h"

namespace {

constexpr int kFactor = 4;
constexpr int kFrames = 256;
constexpr int kSamples = kFrames * kFactor;

void Fill(std::vector<double>& x, double phase) {
  for (size_t i = 0; i < x.size(); ++i) x[i] = 1.3 * std::sin(0.013 * i + phase);
}

void ReportPerFrame(benchmark::State& state) {
  state.counters["frame_s"] = benchmark::Counter(
      static_cast<double>(kFrames),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Clipper: range(0) 0 hard / 1 soft, range(1) 0 reference loop / 1 vector form.
void BM_Clipper(benchmark::State& state) {
  qd::Clipper clipper;
  clipper.soft = state.range(0) != 0;
  clipper.drive = 2.0;
  std::vector<double> left(kSamples), right(kSamples), l(kSamples), r(kSamples);
  Fill(left, 0.0);
  Fill(right, 1.0);
  double* ch[2] = {l.data(), r.data()};
  for (auto _ : state) {
    l = left;
    r = right;
    if (state.range(1) != 0) {
      clipper.ProcessOversampled(ch, kSamples);
    } else {
      clipper.ProcessReference(ch, kSamples);
    }
    benchmark::DoNotOptimize(clipper.readout);
    benchmark::ClobberMemory();
  }
  ReportPerFrame(state);
}
BENCHMARK(BM_Clipper)->ArgsProduct({{0, 1}, {0, 1}})->ArgNames({"soft", "vector"});

// Limiter at 4x: range(0) 0 reference loop / 1 chunked form.
void BM_Limiter(benchmark::State& state) {
  qd::Limiter limiter;
  limiter.SetSampleRate(48000);
  limiter.SetOversampling(kFactor);
  limiter.drive = 2.0;
  std::vector<double> left(kSamples), right(kSamples), l(kSamples), r(kSamples);
  Fill(left, 0.0);
  Fill(right, 1.0);
  double* ch[2] = {l.data(), r.data()};
  for (auto _ : state) {
    l = left;
    r = right;
    if (state.range(0) != 0) {
      limiter.ProcessOversampled(ch, kSamples);
    } else {
      limiter.ProcessReference(ch, kSamples);
    }
    benchmark::DoNotOptimize(limiter.readout);
    benchmark::ClobberMemory();
  }
  ReportPerFrame(state);
}
BENCHMARK(BM_Limiter)->Arg(0)->Arg(1)->ArgName("chunked");

// The limiter's follower loop alone over one 4x frame's worth of peaks: range(0) 0 the
// scalar form / 1 the AVX2 form (the scalar form again where the build or processor lacks it).
void BM_LimiterFollowers(benchmark::State& state) {
  const bool avx2 = state.range(0) != 0;
  qd::detail::FollowerCoefficients c{};
  for (int f = 0; f < 3; ++f) {
    c.up[f] = 1.0;
    c.downKeep[f] = 0.999 - 0.001 * f;
    c.down[f] = 1.0 - c.downKeep[f];
  }
  std::vector<double> x(kSamples), peaks(kSamples);
  Fill(x, 0.0);
  for (double& v : x) v = std::fabs(v);
  double env[3] = {};
  for (auto _ : state) {
    peaks = x;
    if (avx2) {
      qd::detail::FollowPeaksAvx2(c, env, peaks.data(), kSamples);
    } else {
      qd::detail::FollowPeaksScalar(c, env, peaks.data(), kSamples);
    }
    benchmark::DoNotOptimize(peaks.data());
    benchmark::ClobberMemory();
  }
  ReportPerFrame(state);
}
BENCHMARK(BM_LimiterFollowers)->Arg(0)->Arg(1)->ArgName("avx2");

// tanh alone over one 4x stereo frame's worth of samples: range(0) 0 the C library / 1 ours
// (the widest form the processor runs) / 2 ours in its SSE2 form.
void BM_Tanh(benchmark::State& state) {
  std::vector<double> x(2 * kSamples), y(2 * kSamples);
  Fill(x, 0.5);
  const int form = static_cast<int>(state.range(0));
  for (auto _ : state) {
    if (form == 1) {
      qd::TanhArray(x.data(), y.data(), 2 * kSamples);
    } else if (form == 2) {
      qd::detail::TanhPairsSse2(x.data(), y.data(), 2 * kSamples);
    } else {
      for (int i = 0; i < 2 * kSamples; ++i) y[i] = std::tanh(x[i]);
    }
    benchmark::DoNotOptimize(y.data());
    benchmark::ClobberMemory();
  }
  ReportPerFrame(state);
}
BENCHMARK(BM_Tanh)->Arg(0)->Arg(1)->Arg(2)->ArgName("form");

// The 600 ms window the automatic level reads, fed interleaved stereo at 48 kHz, per frame.
void BM_RmsWindowPush(benchmark::State& state) {
  qd::RMSBuffer window;
  window.SetSampleRate(48000);
  window.Resize(2 * 600.0);
  std::vector<double> x(2 * kFrames);
  Fill(x, 0.25);
  for (auto _ : state) {
    window.Push(x.data(), 2 * kFrames);
    benchmark::DoNotOptimize(window.UpdateRms());
  }
  ReportPerFrame(state);
}
BENCHMARK(BM_RmsWindowPush);

// The window's inner loop over a second of interleaved stereo at 48 kHz, per frame:
// range(0) 0 the SSE2 form / 1 the AVX2 form (the SSE2 form again where the build or the
// processor lacks AVX2).
void BM_RmsKernel(benchmark::State& state) {
  const bool avx2 = state.range(0) != 0;
  std::vector<double> x(2 * 48000), items(2 * 48000);
  Fill(x, 0.25);
  double lanes[4][4] = {};
  const qd::detail::LaneSums sums{lanes[0], lanes[1], lanes[2], lanes[3]};
  const int rounds = static_cast<int>(x.size() / 4);
  for (auto _ : state) {
    const int counted = avx2 ? qd::detail::PushRoundsAvx2(sums, x.data(), items.data(), rounds)
                             : qd::detail::PushRoundsSse2(sums, x.data(), items.data(), rounds);
    benchmark::DoNotOptimize(counted);
    benchmark::ClobberMemory();
  }
  state.counters["frame_s"] = benchmark::Counter(
      static_cast<double>(x.size() / 2),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_RmsKernel)->Arg(0)->Arg(1)->ArgName("avx2");

}  // namespace

// The engine's block ends at the base rate, per stereo frame of a 256-frame block:
// range(0) 0 the per-sample reference forms / 1 the one-pass forms.
void BM_EngineBlockEnds(benchmark::State& state) {
  const bool fast = state.range(0) != 0;
  std::vector<double> in(2 * kFrames), l(kFrames), r(kFrames), copied(kFrames);
  Fill(in, 0.5);
  qd::OutputPeaks peaks;
  for (int c = 0; c < 2; ++c) {
    peaks.attack[c] = qd::FortyDbFallCoefficient(48000, 1.0);
    peaks.release[c] = qd::FortyDbFallCoefficient(48000, 300.0);
  }
  for (auto _ : state) {
    if (fast) {
      qd::CopyInputSafely(in.data(), kFrames, 1e6, copied.data());
      qd::CopyInputSafely(in.data() + kFrames, kFrames, 1e6, copied.data());
      benchmark::DoNotOptimize(
          qd::SplitAndMeasureOutput(in.data(), kFrames, l.data(), r.data(), peaks));
    } else {
      qd::CopyInputSafelyReference(in.data(), kFrames, 1e6, copied.data());
      qd::CopyInputSafelyReference(in.data() + kFrames, kFrames, 1e6, copied.data());
      benchmark::DoNotOptimize(
          qd::SplitAndMeasureOutputReference(in.data(), kFrames, l.data(), r.data(), peaks));
    }
    benchmark::DoNotOptimize(copied.data());
    benchmark::ClobberMemory();
  }
  ReportPerFrame(state);
}
BENCHMARK(BM_EngineBlockEnds)->Arg(0)->Arg(1)->ArgName("onepass");

// The integrated-loudness and range state fed 32-frame blocks, per stereo frame:
// range(0) 0 every block handed to the library / 1 handed over in whole 100 ms steps.
void BM_LoudnessFeed(benchmark::State& state) {
  const bool steps = state.range(0) != 0;
  auto loudness = qd::LoudnessState::Create(
      qd::kLoudnessIntegrated | qd::kLoudnessRange | qd::kLoudnessHistogram, 48000);
  constexpr int kBlock = 32;
  std::vector<double> in(2 * kBlock * 150);  // 100 ms
  Fill(in, 0.2);
  for (auto _ : state) {
    for (size_t i = 0; i < in.size(); i += 2 * kBlock) {
      if (steps) {
        loudness->AddFramesInSteps(in.data() + i, kBlock);
      } else {
        loudness->AddFrames(in.data() + i, kBlock);
      }
    }
  }
  state.counters["frame_s"] = benchmark::Counter(
      static_cast<double>(in.size() / 2),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_LoudnessFeed)->Arg(0)->Arg(1)->ArgName("steps");

// Integrated loudness and range fed 32-frame blocks and read at every 100 ms step, as the
// engine does, per stereo frame: range(0) 0 the library's state (the reference) / 1 the
// engine's own gated measurement.
void BM_GatedLoudness(benchmark::State& state) {
  const bool ours = state.range(0) != 0;
  auto library = qd::LoudnessState::Create(
      qd::kLoudnessIntegrated | qd::kLoudnessRange | qd::kLoudnessHistogram, 48000);
  qd::GatedLoudness gated;
  gated.Prepare(48000);
  constexpr int kBlock = 32;
  std::vector<double> in(2 * kBlock * 150);  // 100 ms
  Fill(in, 0.2);
  double reading = 0.0;
  for (auto _ : state) {
    for (size_t i = 0; i < in.size(); i += 2 * kBlock) {
      if (ours) {
        gated.AddFrames(in.data() + i, kBlock);
      } else {
        library->AddFramesInSteps(in.data() + i, kBlock);
      }
    }
    reading += ours ? gated.Integrated() + gated.Range() : library->Integrated() + library->Range();
  }
  benchmark::DoNotOptimize(reading);
  state.counters["frame_s"] = benchmark::Counter(
      static_cast<double>(in.size() / 2),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_GatedLoudness)->Arg(0)->Arg(1)->ArgName("ours");
