// Cost of one editor tick while audio plays: processing marks every control dirty at every
// block, so a tick redraws the whole panel (here without the copy to a window).
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "effect/QuarloDorvantix.h"
#include "graphics/Graphics.h"

namespace {

void BM_EditorTickWhilePlaying(benchmark::State& state) {
  auto p = std::make_unique<qd::QuarloDorvantix>(qd::PortLabels::kPerChannel);
  p->SetInputConnections(0, 2, true);
  p->SetOutputConnections(0, 2, true);
  p->SetSampleRate(48000);
  p->SetMaxBlockSize(512);
  p->ResetProcessing();
  auto* graphics = static_cast<qd::Graphics*>(p->Editor());
  std::vector<double> l(512), r(512), ol(512), orr(512);
  double phase = 0;
  for (auto _ : state) {
    state.PauseTiming();
    for (int k = 0; k < 512; ++k, phase += 0.03) l[k] = r[k] = 0.8 * std::sin(phase);
    double* ins[] = {l.data(), r.data()};
    double* outs[] = {ol.data(), orr.data()};
    p->ProcessAudio(ins, outs, 512);  // one block: new meter values, everything dirty
    state.ResumeTiming();
    qd::Bounds dirty{};
    if (graphics->NeedsRedraw(&dirty)) graphics->Draw(dirty);
  }
}
BENCHMARK(BM_EditorTickWhilePlaying)->Unit(benchmark::kMicrosecond);

}  // namespace
