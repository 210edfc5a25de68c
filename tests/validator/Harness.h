// The validator suite's VST2 side: a host-side renderer that drives the built module
// through the VST2 records at any block size, and the checks every rendered block must pass
// (finite samples, the output ceiling). Random choices and bounds are in Random.h.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "tests/formats/vst2/TestHost.h"
#include "tests/validator/Random.h"

namespace qd::validator {

using qd::testing::Instance;
using namespace qd::vst2;

inline double CeilingFor(Instance&) {
  return kOutputCeiling;
}

// Stereo audio the host owns, with the channel pointers a process call takes.
struct HostBuffers {
  std::vector<double> in[2], out[2];
  std::vector<float> inF[2], outF[2];

  void Resize(int n) {
    for (int c = 0; c < 2; ++c) {
      in[c].assign(static_cast<size_t>(n) + 1, 0.0);  // never empty, so data() is valid
      out[c].assign(static_cast<size_t>(n) + 1, 0.0);
      inF[c].assign(static_cast<size_t>(n) + 1, 0.0f);
      outF[c].assign(static_cast<size_t>(n) + 1, 0.0f);
    }
  }
};

enum class Precision { kDouble, kFloat };

// Runs `n` frames of the input through the double or float entry; `out` receives the
// output as doubles either way.
inline void ProcessBlock(Instance& plugin, HostBuffers& b, int n, Precision precision) {
  if (precision == Precision::kDouble) {
    double* ip[2] = {b.in[0].data(), b.in[1].data()};
    double* op[2] = {b.out[0].data(), b.out[1].data()};
    plugin.effect->processDoubleReplacing(plugin.effect, ip, op, n);
  } else {
    for (int c = 0; c < 2; ++c) {
      for (int k = 0; k < n; ++k) b.inF[c][k] = static_cast<float>(b.in[c][k]);
    }
    float* ip[2] = {b.inF[0].data(), b.inF[1].data()};
    float* op[2] = {b.outF[0].data(), b.outF[1].data()};
    plugin.effect->processReplacing(plugin.effect, ip, op, n);
    for (int c = 0; c < 2; ++c) {
      for (int k = 0; k < n; ++k) b.out[c][k] = b.outF[c][k];
    }
  }
}

// Fills `n` frames of the host's input from the program.
inline void Fill(Program& program, HostBuffers& b, int n, double rate) {
  for (int k = 0; k < n; ++k) program.Next(rate, b.in[0][k], b.in[1][k]);
}

// The first output sample of the block that is not finite or exceeds `ceiling`, as text;
// empty when the block is sound.
inline std::string CheckBlock(const HostBuffers& b, int n, double ceiling) {
  return CheckSamples(b.out, 2, n, ceiling);
}

// Every parameter's normalised value as the host reads it.
inline std::vector<float> ReadParams(Instance& plugin) {
  std::vector<float> v(kParamCount);
  for (int i = 0; i < kParamCount; ++i) v[i] = plugin.effect->getParameter(plugin.effect, i);
  return v;
}

inline void ExpectParamsValid(Instance& plugin) {
  for (int i = 0; i < kParamCount; ++i) {
    const float v = plugin.effect->getParameter(plugin.effect, i);
    ASSERT_TRUE(std::isfinite(v) && v >= 0.0f && v <= 1.0f) << "parameter " << i << " reads " << v;
  }
}

// A chunk the plug-in hands out, copied (the plug-in's buffer changes on the next call).
inline std::vector<uint8_t> GetChunk(Instance& plugin, bool program) {
  void* data = nullptr;
  const intptr_t size = plugin.Dispatch(effGetChunk, program ? 1 : 0, 0, &data);
  if (size <= 0 || !data) return {};
  const auto* bytes = static_cast<const uint8_t*>(data);
  return std::vector<uint8_t>(bytes, bytes + size);
}

inline intptr_t SetChunk(Instance& plugin, bool program, std::vector<uint8_t> bytes) {
  return plugin.Dispatch(effSetChunk, program ? 1 : 0, static_cast<intptr_t>(bytes.size()),
                         bytes.empty() ? nullptr : bytes.data());
}

}  // namespace qd::validator
