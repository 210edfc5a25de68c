// Cost of the oversampler's filters and of the oversampling processor, in nanoseconds per
// frame (one sample of each of two channels). Run: build/<dir>/bench/filters_bench
#include <benchmark/benchmark.h>

#include <vector>

#include "dsp/filters/BlockForm.h"
#include "dsp/filters/LowPass.h"
#include "dsp/oversampling/AudioProcessor.h"

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

// One stage's interpolation and decimation at factor F, per base-rate stereo frame: the
// reference (zero-stuffing, the per-channel loop, picking every F-th sample) against the
// block form with each kernel (0 plain, 1 SSE2, 2 AVX2 + FMA where the processor has it).
void BM_InterpolateAndDecimate(benchmark::State& state) {
  const int factor = static_cast<int>(state.range(0));
  const auto isa = static_cast<Iir::Isa>(state.range(1));
  if (!Iir::IsaAvailable(isa)) {
    state.SkipWithError("this processor lacks the instruction set");
    return;
  }
  Iir::LegendreLowPassFilter<2> up, down;
  up.applyParams(OversamplerParams(factor));
  down.applyParams(OversamplerParams(factor));
  Iir::BlockForm upForm, downForm;
  upForm.Design(up, factor);
  downForm.Design(down, factor);
  upForm.UseIsa(isa);
  downForm.UseIsa(isa);
  const int frames = 256;
  std::vector<double> left(frames), right(frames);
  FillSignal(left, right);
  std::vector<double> workL(frames * factor), workR(frames * factor);
  for (auto _ : state) {
    upForm.Interpolate(up, left.data(), right.data(), 1.0, factor, workL.data(), workR.data(),
                       frames);
    downForm.Decimate(down, workL.data(), workR.data(), 1.0, left.data(), right.data(), frames);
    benchmark::DoNotOptimize(left.data());
    benchmark::ClobberMemory();
  }
  ReportPerFrame(state, frames);
}
BENCHMARK(BM_InterpolateAndDecimate)->ArgsProduct({{2, 4}, {0, 1, 2}})->ArgNames({"factor", "isa"});

class IdleStage : public qd::AudioProcessor {
 public:
  void ProcessOversampled(double**, int) override {}
  void OnRateChange() override {}
};

// AudioProcessor::Process with a stage that does nothing, through the reference loop (gain,
// zero-stuffing, processBlock's stereo register path, picking; fast:0) or the fast forms
// (fast:1); frames are base-rate frames.
void BM_AudioProcessorProcess(benchmark::State& state) {
  IdleStage stage;
  stage.SetOversampling(static_cast<int>(state.range(0)));
  stage.UseReferenceForm(state.range(1) == 0);
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
BENCHMARK(BM_AudioProcessorProcess)->ArgsProduct({{1, 2, 4}, {0, 1}})->ArgNames({"factor", "fast"});

}  // namespace
