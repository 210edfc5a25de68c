// Cost of one block of the whole chain, in nanoseconds per frame, across block sizes,
// oversampling factors and automatic-level modes, with and without the editor's meter work.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "effect/QuarloDorvantix.h"

namespace {

using qd::QuarloDorvantix;

// args: block size, oversampling (0 off, 1 = 2x, 2 = 4x), auto mode (-1 off, 0..2), meters read
void BM_ProcessAudio(benchmark::State& state) {
  const int block = static_cast<int>(state.range(0));
  const int oversample = static_cast<int>(state.range(1));
  const int autoMode = static_cast<int>(state.range(2));
  const bool meters = state.range(3) != 0;
  auto p = std::make_unique<QuarloDorvantix>(qd::PortLabels::kPerChannel);
  p->SetInputConnections(0, 2, true);
  p->SetOutputConnections(0, 2, true);
  p->SetSampleRate(48000);
  p->SetMaxBlockSize(block);
  p->ResetProcessing();
  auto set = [&](int index, double value) {
    p->GetParam(index)->SetClamped(value);
    p->ParamChanged(index, qd::kSourceHost);
  };
  set(qd::kClipperOversample, oversample);
  set(qd::kLimiterOversample, oversample);
  set(qd::kClipperLevel, 6);
  set(qd::kLimiterLevel, 6);
  if (autoMode >= 0) {
    set(qd::kAutoOutType, autoMode);
    set(qd::kAutoOutputLevel, 1);
  }
  // A second of music-like audio, cycled.
  const int total = 48000;
  std::vector<double> l(total), r(total);
  for (int i = 0; i < total; ++i) {
    l[i] = 0.4 * std::sin(0.013 * i) + 0.2 * std::sin(0.31 * i) * std::sin(0.0007 * i);
    r[i] = 0.4 * std::sin(0.011 * i) + 0.2 * std::sin(0.27 * i);
  }
  std::vector<double> inL(block), inR(block), outL(block), outR(block);
  int pos = 0;
  for (auto _ : state) {
    for (int k = 0; k < block; ++k) {
      inL[k] = l[(pos + k) % total];
      inR[k] = r[(pos + k) % total];
    }
    pos = (pos + block) % total;
    double* ins[] = {inL.data(), inR.data()};
    double* outs[] = {outL.data(), outR.data()};
    p->ProcessAudio(ins, outs, block);
    if (meters) benchmark::DoNotOptimize(p->ReadMeters());
    benchmark::DoNotOptimize(outL.data());
  }
  // Seconds per frame (shown with an SI prefix: "25n" is 25 ns per frame).
  state.counters["per_frame"] = benchmark::Counter(
      block, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void Configurations(benchmark::internal::Benchmark* b) {
  for (int block : {32, 256, 4096}) {
    for (int oversample : {0, 1, 2}) {
      for (int mode : {-1, 0, 1, 2}) b->Args({block, oversample, mode, 0});
      b->Args({block, oversample, -1, 1});
    }
  }
}

BENCHMARK(BM_ProcessAudio)->Apply(Configurations)->ArgNames({"block", "os", "auto", "meters"});

}  // namespace

namespace {

// The loudness measurement must cost the same per frame however long the session has run:
// feed `minutes` of audio first, then time 256-frame blocks.
void BM_LoudnessAfterLongSession(benchmark::State& state) {
  const int minutes = static_cast<int>(state.range(0));
  const int block = 256;
  auto p = std::make_unique<QuarloDorvantix>(qd::PortLabels::kPerChannel);
  p->SetInputConnections(0, 2, true);
  p->SetOutputConnections(0, 2, true);
  p->SetSampleRate(48000);
  p->SetMaxBlockSize(4096);
  p->ResetProcessing();
  std::vector<double> l(4096), r(4096), ol(4096), orr(4096);
  for (int i = 0; i < 4096; ++i) {
    l[i] = 0.3 * std::sin(0.02 * i);
    r[i] = 0.3 * std::sin(0.015 * i);
  }
  double* ins[] = {l.data(), r.data()};
  double* outs[] = {ol.data(), orr.data()};
  const long prefeed = static_cast<long>(minutes) * 60 * 48000 / 4096;
  for (long b = 0; b < prefeed; ++b) p->ProcessAudio(ins, outs, 4096);
  for (auto _ : state) {
    p->ProcessAudio(ins, outs, block);
    benchmark::DoNotOptimize(ol.data());
  }
  state.counters["per_frame"] = benchmark::Counter(
      block, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_LoudnessAfterLongSession)->Arg(0)->Arg(10)->Arg(60)->ArgName("minutes");

}  // namespace
