// What the fuzz targets share: one plug-in instance per process behind the VST2 binding,
// returned to its default state before every input so that each input is replayed alone,
// and the checks that turn a silent fault (a NaN stored, a value out of range, unsound
// audio) into a crash libFuzzer reports.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "effect/QuarloDorvantix.h"
#include "formats/vst2/PluginVst2.h"

namespace qd::fuzz {

[[noreturn]] inline void Fail(const char* what, int index, double value) {
  std::fprintf(stderr, "fuzz check failed: %s (index %d, value %g)\n", what, index, value);
  std::abort();
}

class Vst2Fixture {
 public:
  static Vst2Fixture& Get() {
    static Vst2Fixture fixture;
    return fixture;
  }

  vst2::AEffect* Effect() { return binding_->Effect(); }
  PluginBase& Plugin() { return binding_->Plugin(); }
  intptr_t Dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                    float opt = 0.0f) {
    return Effect()->dispatcher(Effect(), opcode, index, value, ptr, opt);
  }

  // Puts the defaults back, as a freshly created instance has them.
  void Restore() {
    Dispatch(vst2::effSetChunk, 0, static_cast<intptr_t>(defaults_.size()), defaults_.data());
  }

  // Every parameter finite and inside its range; a block of audio comes out finite.
  void CheckSound() {
    PluginBase& p = Plugin();
    for (int i = 0; i < p.ParamCount(); ++i) {
      const PluginParam* param = p.GetParam(i);
      const double v = param->Value();
      if (!std::isfinite(v) || v < param->MinValue() || v > param->MaxValue()) {
        Fail("parameter outside its range", i, v);
      }
      const float n = Effect()->getParameter(Effect(), i);
      if (!std::isfinite(n) || n < 0.0f || n > 1.0f) Fail("normalised value outside 0..1", i, n);
    }
    double* in[2] = {input_[0].data(), input_[1].data()};
    double* out[2] = {output_[0].data(), output_[1].data()};
    Effect()->processDoubleReplacing(Effect(), in, out, kFrames);
    for (int c = 0; c < 2; ++c) {
      for (double v : output_[c]) {
        if (!std::isfinite(v) || std::fabs(v) > kCeiling) Fail("unsound output sample", c, v);
      }
    }
  }

 private:
  static constexpr int kFrames = 64;
  // The loosest output bound of the engine: the limiter holds 1.0 at its processing rate and
  // the 2x decimation filter can raise that by at most the sum of its impulse response's
  // magnitudes (1.719).
  static constexpr double kCeiling = 1.72;

  Vst2Fixture() {
    binding_ = std::make_unique<PluginVst2>(
        nullptr, std::make_unique<QuarloDorvantix>(PortLabels::kPerChannel));
    binding_->FinishCreation();
    Dispatch(vst2::effOpen);
    Dispatch(vst2::effSetSampleRate, 0, 0, nullptr, 48000.0f);
    Dispatch(vst2::effSetBlockSize, 0, kFrames);
    Dispatch(vst2::effMainsChanged, 0, 1);
    void* data = nullptr;
    const intptr_t size = Dispatch(vst2::effGetChunk, 1, 0, &data);
    const auto* bytes = static_cast<const uint8_t*>(data);
    defaults_.assign(bytes, bytes + size);
    for (int c = 0; c < 2; ++c) {
      input_[c].resize(kFrames);
      output_[c].resize(kFrames);
      for (int k = 0; k < kFrames; ++k) input_[c][k] = 1.5 * std::sin(0.3 * k + c);
    }
  }

  std::unique_ptr<PluginVst2> binding_;
  std::vector<uint8_t> defaults_;
  std::vector<double> input_[2], output_[2];
};

}  // namespace qd::fuzz
