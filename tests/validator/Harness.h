// Shared machinery of the validator suite: the run's seed and size, a host-side renderer
// that drives the built module through the VST2 records at any block size, and the physical
// checks every rendered block must pass (finite samples, the output ceiling).
//
// Every test seeds its own generator from the run seed and its own name, and reports the
// run seed on failure, so a failing run is replayed with
//   QD_VALIDATOR_SEED=<seed> ctest -R <test>
// QD_VALIDATOR_SCALE multiplies every iteration count (CI runs scale 1).
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

namespace qd::validator {

using qd::testing::Instance;
using namespace qd::vst2;

// Parameter indices, as hosts see them.
enum Param {
  kClipperLevel = 0,
  kSoftClipper,
  kClipperOversample,
  kLimiterLevel,
  kAutoRelease,
  kReleaseTime,
  kLimiterOversample,
  kOutputLevel,
  kAutoOutputLevel,
  kAutoOutputTarget,
  kAutoOutType,
  kResetMeters,
  kParamCount
};

inline uint64_t RunSeed() {
  static const uint64_t seed = []() -> uint64_t {
    if (const char* s = std::getenv("QD_VALIDATOR_SEED")) return std::strtoull(s, nullptr, 0);
    return (static_cast<uint64_t>(std::random_device{}()) << 32) ^ std::random_device{}();
  }();
  return seed;
}

inline int Scale() {
  const char* s = std::getenv("QD_VALIDATOR_SCALE");
  const int v = s ? std::atoi(s) : 1;
  return std::max(v, 1);
}

inline int Iterations(int ciCount) {
  return ciCount * Scale();
}

// A generator for one test, with the seed in every failure message of the test.
class Seeded {
 public:
  Seeded() : trace_(__FILE__, __LINE__, Describe()) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string name = std::string(info->test_suite_name()) + "." + info->name();
    rng.seed(RunSeed() ^ std::hash<std::string>{}(name));
  }
  std::mt19937_64 rng;

  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
  double Real(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); }
  bool Chance(double p) { return Real(0.0, 1.0) < p; }
  template <typename T>
  const T& Pick(const std::vector<T>& v) {
    return v[static_cast<size_t>(Int(0, static_cast<int>(v.size()) - 1))];
  }

 private:
  static std::string Describe() {
    return "replay with QD_VALIDATOR_SEED=" + std::to_string(RunSeed()) +
           " QD_VALIDATOR_SCALE=" + std::to_string(Scale());
  }
  ::testing::ScopedTrace trace_;
};

inline const std::vector<float>& HostRates() {
  static const std::vector<float> rates = {22050.0f, 32000.0f, 44100.0f,  48000.0f,
                                           88200.0f, 96000.0f, 176400.0f, 192000.0f};
  return rates;
}

// A block size as hosts send them: mostly powers of two and common buffer sizes, often odd
// sizes, sometimes 0 or the extremes.
inline int RandomBlockSize(Seeded& s, int largest = 16384) {
  switch (s.Int(0, 5)) {
    case 0:
      return 1 << s.Int(0, 14);
    case 1:
      return s.Int(0, 3);
    case 2:
      return s.Pick(std::vector<int>{0, 1, 64, 128, 256, 441, 480, 512, 1000, 1024, 16384});
    default:
      return s.Int(0, largest);
  }
}

// A value a host might send through setParameter: in range, just outside, or not a number.
inline float RandomHostValue(Seeded& s) {
  switch (s.Int(0, 9)) {
    case 0:
      return std::numeric_limits<float>::quiet_NaN();
    case 1:
      return std::numeric_limits<float>::infinity();
    case 2:
      return -std::numeric_limits<float>::infinity();
    case 3:
      return static_cast<float>(s.Real(-1e6, 1e6));
    case 4:
      return static_cast<float>(s.Real(-0.5, 1.5));
    case 5:
      return s.Chance(0.5) ? 0.0f : 1.0f;
    default:
      return static_cast<float>(s.Real(0.0, 1.0));
  }
}

// The bound on output samples. The limiter holds the stereo-linked peak at 1.0 at its
// processing rate and "Output Level" never raises the gain, so at limiter factor 1 the output
// stays within 1.0 (up to rounding). At factors 2 and 4 the limited signal then passes the
// decimation low-pass, which rings past the ceiling on sharp gain changes and clipped edges
// (up to about 1 dB on full-scale squares). The bound there is the largest output the filter
// can give from input bounded by 1.0: the sum of the magnitudes of its impulse response,
// 1.719 (+4.7 dB) at 2x and 1.495 (+3.5 dB) at 4x.
constexpr double kCeilingFactor1 = 1.0 + 1e-12;
constexpr double kCeiling2x = 1.72;
constexpr double kCeiling4x = 1.50;

inline double CeilingFor(Instance& plugin) {
  char text[64] = {};
  plugin.Dispatch(effGetParamDisplay, kLimiterOversample, 0, text);
  const std::string factor = text;
  if (factor == "2x") return kCeiling2x;
  if (factor == "4x") return kCeiling4x;
  return kCeilingFactor1;
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

// Music-like test input: two tones, a noise burst now and then, up to `peak`.
struct Program {
  double phase = 0.0;
  uint32_t noise = 12345;
  double peak = 2.0;

  void Fill(HostBuffers& b, int n, double rate) {
    for (int k = 0; k < n; ++k) {
      phase += 2.0 * M_PI / rate;
      noise = noise * 1664525u + 1013904223u;
      const double hiss = (static_cast<double>(noise >> 8) / 8388608.0 - 1.0) * 0.2;
      const double l = 0.6 * std::sin(97.0 * phase) + 0.3 * std::sin(1553.0 * phase) + hiss;
      const double r = 0.6 * std::sin(101.0 * phase + 0.4) + 0.3 * std::sin(2011.0 * phase) - hiss;
      b.in[0][k] = peak * l;
      b.in[1][k] = peak * r;
    }
    if (phase > 2.0 * M_PI * 1000.0) phase -= 2.0 * M_PI * 1000.0;
  }
};

// The first output sample of the block that is not finite or exceeds `ceiling`, as text;
// empty when the block is sound.
inline std::string CheckBlock(const HostBuffers& b, int n, double ceiling) {
  for (int c = 0; c < 2; ++c) {
    for (int k = 0; k < n; ++k) {
      const double v = b.out[c][k];
      if (!std::isfinite(v) || std::fabs(v) > ceiling) {
        return "channel " + std::to_string(c) + " frame " + std::to_string(k) + " of " +
               std::to_string(n) + " is " + std::to_string(v) + " (ceiling " +
               std::to_string(ceiling) + ")";
      }
    }
  }
  return {};
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
