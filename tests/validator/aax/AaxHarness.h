// The validator suite's AAX side: the built AAX module loaded by the simulated host, float
// buffers as the render procedure takes them, and the checks every rendered block must
// pass. Random choices and bounds are shared with the VST2 side (Random.h).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "SimHost.h"
#include "tests/validator/Random.h"

namespace qd::validator {

// The binding's parameter IDs: the plug-in's index plus one, as text, and the bypass.
inline std::string AaxParamId(int index) {
  return std::to_string(index + 1);
}
constexpr const char* kAaxBypassId = "MasterBypassID";

// Every test gets the module started and registered, and checks at the end that every
// instance, every plug-in object and every reference to a host object is gone.
class AaxValidator : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(module.Loaded()) << QD_AAX_MODULE_PATH;
    ASSERT_EQ(module.StartAndRegister(), aax::kSuccess);
    hostObjectsBefore = sim::HostObjectsAlive();
  }
  void TearDown() override {
    EXPECT_EQ(module.Api().canUnloadNow(), 0) << "plug-in objects left alive";
    EXPECT_EQ(sim::HostObjectsAlive(), hostObjectsBefore) << "host objects still referenced";
  }

 public:
  // For a driver that makes the instances a shared suite runs on (see AaxDriver.h).
  std::unique_ptr<sim::Instance> CreateInstance(int component, double rate) {
    return Create(component, rate);
  }
  sim::ModuleHost& Module() { return module; }

 protected:
  // A new instance, mono (component 0) or stereo (1), at `rate`.
  std::unique_ptr<sim::Instance> Create(int component, double rate) {
    auto instance = module.CreateInstance(component, rate);
    EXPECT_NE(instance, nullptr);
    if (instance) {
      EXPECT_EQ(instance->InitializeResult(), aax::kSuccess);
    }
    return instance;
  }

  sim::ModuleHost module{QD_AAX_MODULE_PATH};
  int hostObjectsBefore = 0;
};

// Stereo float audio the host owns, with the channel pointers the render procedure takes.
// A mono instance reads and writes the first channel only.
struct FloatBuffers {
  std::vector<float> in[2], out[2];
  float* inputs[2] = {};
  float* outputs[2] = {};

  void Resize(int n) {
    for (int c = 0; c < 2; ++c) {
      in[c].assign(static_cast<size_t>(n) + 1, 0.0f);  // never empty, so data() is valid
      out[c].assign(static_cast<size_t>(n) + 1, 0.0f);
      inputs[c] = in[c].data();
      outputs[c] = out[c].data();
    }
  }
  void Render(sim::Instance& instance, int n) { instance.Render(inputs, outputs, n); }
};

inline double Normalized(sim::Instance& instance, const std::string& id) {
  double v = -1.0;
  instance.Params()->GetParameterNormalizedValue(id.c_str(), &v);
  return v;
}

inline bool Bypassed(sim::Instance& instance) {
  return Normalized(instance, kAaxBypassId) >= 0.5;
}

// The bound on output samples (see Random.h): the same at every factor.
inline double Ceiling() {
  return kOutputCeiling;
}

// Every parameter's normalised value (bypass last) as the host reads it.
inline std::vector<double> ReadParams(sim::Instance& instance) {
  std::vector<double> v;
  for (int i = 0; i < kParamCount; ++i) v.push_back(Normalized(instance, AaxParamId(i)));
  v.push_back(Normalized(instance, kAaxBypassId));
  return v;
}

inline void ExpectParamsValid(sim::Instance& instance) {
  const std::vector<double> v = ReadParams(instance);
  for (size_t i = 0; i < v.size(); ++i) {
    ASSERT_TRUE(std::isfinite(v[i]) && v[i] >= 0.0 && v[i] <= 1.0)
        << "parameter " << i << " reads " << v[i];
  }
}

}  // namespace qd::validator
