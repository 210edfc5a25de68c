// The validator driver for the AAX module: instances made by the simulated host (mono or
// stereo, chosen per pair), float buffers through the render procedure, automation delivered
// after every block as the host does.
#pragma once

#include <memory>
#include <utility>

#include "tests/validator/Driver.h"
#include "tests/validator/aax/AaxHarness.h"

namespace qd::validator {

struct AaxDriver {
  using Sample = float;

  struct Instance {
    std::unique_ptr<sim::Instance> instance;
    int channels = 2;

    int Channels() const { return channels; }
    void SetParam(int index, double normalized) {
      instance->Params()->UpdateParameterNormalizedValue(AaxParamId(index).c_str(), normalized, 0);
    }
    void Process(std::vector<float> (&in)[2], std::vector<float> (&out)[2], int n) {
      float* inputs[2] = {in[0].data(), in[1].data()};
      float* outputs[2] = {out[0].data(), out[1].data()};
      instance->Render(inputs, outputs, n);
    }
    void AfterBlock() { instance->DeliverAutomation(); }
    double Ceiling() { return validator::Ceiling(); }
    void ExpectParamsValid() { validator::ExpectParamsValid(*instance); }
  };

  // The test fixture that owns the loaded module.
  explicit AaxDriver(AaxValidator& fixture) : fixture_(fixture) {}

  std::pair<std::unique_ptr<Instance>, std::unique_ptr<Instance>> CreatePair(Seeded& s, double rate,
                                                                             int) {
    const int component = s.Int(0, 1);
    auto a = std::make_unique<Instance>();
    auto b = std::make_unique<Instance>();
    a->instance = fixture_.CreateInstance(component, rate);
    b->instance = fixture_.CreateInstance(component, rate);
    if (!a->instance || !b->instance) return {};
    a->channels = b->channels = component + 1;
    return {std::move(a), std::move(b)};
  }

 private:
  AaxValidator& fixture_;
};

}  // namespace qd::validator
