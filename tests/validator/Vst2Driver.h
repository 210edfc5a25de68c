// The validator driver for the VST2 module: instances through the VST2 records, processed
// through the double or the float entry (chosen per pair).
#pragma once

#include <memory>
#include <utility>

#include "tests/validator/Driver.h"
#include "tests/validator/Harness.h"

namespace qd::validator {

struct Vst2Driver {
  using Sample = double;

  struct Instance {
    qd::testing::Instance plugin;
    Precision precision = Precision::kDouble;
    HostBuffers buffers;

    int Channels() const { return 2; }
    void SetParam(int index, double normalized) {
      plugin.effect->setParameter(plugin.effect, index, static_cast<float>(normalized));
    }
    void Process(std::vector<double> (&in)[2], std::vector<double> (&out)[2], int n) {
      buffers.Resize(n);
      for (int c = 0; c < 2; ++c)
        std::copy(in[c].begin(), in[c].begin() + n, buffers.in[c].begin());
      ProcessBlock(plugin, buffers, n, precision);
      for (int c = 0; c < 2; ++c) {
        std::copy(buffers.out[c].begin(), buffers.out[c].begin() + n, out[c].begin());
      }
    }
    void AfterBlock() {}
    double Ceiling() { return CeilingFor(plugin); }
    void ExpectParamsValid() { validator::ExpectParamsValid(plugin); }
  };

  std::pair<std::unique_ptr<Instance>, std::unique_ptr<Instance>> CreatePair(Seeded& s, double rate,
                                                                             int block) {
    auto a = std::make_unique<Instance>();
    auto b = std::make_unique<Instance>();
    a->plugin.Start(static_cast<float>(rate), block);
    b->plugin.Start(static_cast<float>(rate), block);
    a->precision = b->precision = s.Chance(0.5) ? Precision::kDouble : Precision::kFloat;
    return {std::move(a), std::move(b)};
  }
};

}  // namespace qd::validator
