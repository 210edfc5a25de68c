// Cost of the oversampler's filters and of the oversampling processor, in nanoseconds per
// frame (one sample of each of two channels). Run: build/<dir>/bench/filters_bench
#include <benchmark/benchmark.h>

#include <vector>

#include "dsp/filters/LowPass.h"
#include "effect/AudioProcessor.h"

namespace {

constexpr int kFrames = 4096;

Iir::FilterParams OversamplerParams(int factor) {
  Iir::FilterParams p;
  p[0] = 44100.0 * factor;
  p[1] = 4;
  p[2] = 22050.0;
  return p;
}

void FillSignal(std::vector<double>& left, std::vector<double>& right) {
  for (size_t i = 0; i < left.size(); ++i) {
    left[i] = (static_cast<double>(i % 97) - 48.0) / 64.0;
    right[i] = (static_cast<double>(i % 89) - 44.0) / 64.0;
  }
}

// Adds "frame_s": seconds per frame, shown with an SI prefix (for example 5.2n = 5.2 ns).
void ReportPerFrame(benchmark::State& state, int framesPerIteration) {
  state.counters["frame_s"] = benchmark::Counter(
      static_cast<double>(framesPerIteration),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Order 4, two channels: the stereo register path that processBlock takes.
void BM_ProcessBlockStereo(benchmark::State& state) {
  Iir::LegendreLowPassFilter<2> filter;
  filter.applyParams(OversamplerParams(2));
  std::vector<double> left(kFrames), right(kFrames);
  FillSignal(left, right);
  double* channels[2] = {left.data(), right.data()};
  for (auto _ : state) {
    filter.processBlock(kFrames, channels);
    benchmark::DoNotOptimize(left.data());
    benchmark::ClobberMemory();
  }
  ReportPerFrame(state, kFrames);
}
BENCHMARK(BM_ProcessBlockStereo);

// The same filter through the straightforward per-channel loop, for comparison.
void BM_ProcessBlockPerChannel(benchmark::State& state) {
  Iir::LegendreLowPassFilter<2> filter;
  filter.applyParams(OversamplerParams(2));
  std::vector<double> left(kFrames), right(kFrames);
  FillSignal(left, right);
  double* channels[2] = {left.data(), right.data()};
  for (auto _ : state) {
    filter.processEachChannel(kFrames, channels);
    benchmark::DoNotOptimize(left.data());
    benchmark::ClobberMemory();
  }
  ReportPerFrame(state, kFrames);
}
BENCHMARK(BM_ProcessBlockPerChannel);

class IdleStage : public qd::AudioProcessor {
 public:
  void ProcessOversampled(double**, int) override {}
  void OnRateChange() override {}
};

// AudioProcessor::Process with a stage that does nothing; frames are base-rate frames.
void BM_AudioProcessorProcess(benchmark::State& state) {
  IdleStage stage;
  stage.SetOversampling(static_cast<int>(state.range(0)));
  const int frames = 512;
  std::vector<double> left(frames), right(frames);
  FillSignal(left, right);
  double* io[2] = {left.data(), right.data()};
  for (auto _ : state) {
    stage.Process(io, frames);
    benchmark::DoNotOptimize(left.data());
    benchmark::ClobberMemory();
  }
  ReportPerFrame(state, frames);
}
BENCHMARK(BM_AudioProcessorProcess)->Arg(1)->Arg(2)->Arg(4)->ArgName("factor");

}  // namespace
