// The validator suite's random choices and physical bounds, shared by the runs through
// every format: the run's seed and size, the seeded generator of one test, host rates,
// block sizes and parameter values as hosts send them, and the output ceiling.
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
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace qd::validator {

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

// The run's size: a multiple of the CI run (1), above 1 for longer runs, below 1 for runs
// under a slow tool; every count stays at least 1.
inline double Scale() {
  static const double scale = [] {
    const char* s = std::getenv("QD_VALIDATOR_SCALE");
    const double v = s ? std::atof(s) : 1.0;
    return v > 0.0 && v <= 1e6 ? v : 1.0;
  }();
  return scale;
}

inline std::string ScaleText() {
  char text[32];
  std::snprintf(text, sizeof(text), "%g", Scale());
  return text;
}

inline int Iterations(int ciCount) {
  return std::max(1, static_cast<int>(std::lround(ciCount * Scale())));
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
           " QD_VALIDATOR_SCALE=" + ScaleText();
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
// processing rate, its base-rate ceiling stage holds what the decimation filter rings past
// it, and "Output Level" never raises the gain: so no output sample exceeds 1.0, at every
// oversampling factor.
constexpr double kOutputCeiling = 1.0;

// Input no host should send but some do.
enum class Bad { kNaN, kPosInf, kNegInf, kMixed, kDenormal, kSquare, kLargest };

inline const char* Name(Bad bad) {
  switch (bad) {
    case Bad::kNaN:
      return "NaN";
    case Bad::kPosInf:
      return "+inf";
    case Bad::kNegInf:
      return "-inf";
    case Bad::kMixed:
      return "mixed";
    case Bad::kDenormal:
      return "denormal";
    case Bad::kSquare:
      return "square";
    case Bad::kLargest:
      return "largest finite";
  }
  return "";
}

// Writes the bad signal over a random part of the first `n` frames of both channels;
// returns true when the samples written are ones the engine treats as silence (not finite).
template <typename Sample>
bool Spoil(std::vector<Sample> (&channels)[2], int n, Bad bad, Seeded& s) {
  using Limits = std::numeric_limits<Sample>;
  const Sample nan = Limits::quiet_NaN();
  const Sample inf = Limits::infinity();
  const int from = s.Int(0, std::max(n - 1, 0));
  const int to = s.Int(from, n);
  for (auto& channel : channels) {
    for (int k = from; k < to; ++k) {
      Sample& v = channel[static_cast<size_t>(k)];
      const Sample sign = (k & 1) ? Sample(1) : Sample(-1);
      switch (bad) {
        case Bad::kNaN:
          v = nan;
          break;
        case Bad::kPosInf:
          v = inf;
          break;
        case Bad::kNegInf:
          v = -inf;
          break;
        case Bad::kMixed:
          v = (k % 3 == 0) ? nan : (k % 3 == 1 ? inf : -inf);
          break;
        case Bad::kDenormal:
          v = sign * Limits::denorm_min() * static_cast<Sample>(1 + k % 1000);
          break;
        case Bad::kSquare:
          v = ((k / 50) & 1) ? Sample(1) : Sample(-1);
          break;
        case Bad::kLargest:
          v = ((k / 7) & 1) ? Limits::max() : Limits::lowest();
          break;
      }
    }
  }
  return bad == Bad::kNaN || bad == Bad::kPosInf || bad == Bad::kNegInf || bad == Bad::kMixed;
}

// The first of the first `n` output samples of the first `channelCount` channels that is
// not finite or exceeds `ceiling`, as text; empty when the block is sound.
template <typename Sample>
std::string CheckSamples(const std::vector<Sample> (&channels)[2], int channelCount, int n,
                         double ceiling) {
  for (int c = 0; c < channelCount; ++c) {
    for (int k = 0; k < n; ++k) {
      const double v = channels[c][static_cast<size_t>(k)];
      if (!std::isfinite(v) || std::fabs(v) > ceiling) {
        return "channel " + std::to_string(c) + " frame " + std::to_string(k) + " of " +
               std::to_string(n) + " is " + std::to_string(v) + " (ceiling " +
               std::to_string(ceiling) + ")";
      }
    }
  }
  return {};
}

// The first of the first `n` float output samples of the first `channelCount` channels
// that is subnormal (non-zero and below the smallest normal float in magnitude), as text;
// empty when there is none.
inline std::string FindSubnormal(const std::vector<float> (&channels)[2], int channelCount, int n) {
  for (int c = 0; c < channelCount; ++c) {
    for (int k = 0; k < n; ++k) {
      const float v = channels[c][static_cast<size_t>(k)];
      if (v != 0.0f && std::fabs(v) < std::numeric_limits<float>::min()) {
        return "channel " + std::to_string(c) + " frame " + std::to_string(k) + " of " +
               std::to_string(n) + " is subnormal (" + std::to_string(v * 1e38f) + "e-38)";
      }
    }
  }
  return {};
}

// Music-like test input: two tones, a noise burst now and then, up to `peak`.
struct Program {
  double phase = 0.0;
  uint32_t noise = 12345;
  double peak = 2.0;

  // The next frame at `rate`.
  void Next(double rate, double& left, double& right) {
    phase += 2.0 * M_PI / rate;
    noise = noise * 1664525u + 1013904223u;
    const double hiss = (static_cast<double>(noise >> 8) / 8388608.0 - 1.0) * 0.2;
    left = peak * (0.6 * std::sin(97.0 * phase) + 0.3 * std::sin(1553.0 * phase) + hiss);
    right = peak * (0.6 * std::sin(101.0 * phase + 0.4) + 0.3 * std::sin(2011.0 * phase) - hiss);
    if (phase > 2.0 * M_PI * 1000.0) phase -= 2.0 * M_PI * 1000.0;
  }
};

// Loud audio, then a tail fading into silence as a fade or a reverb ahead of the plug-in
// leaves it: the program up to `loudFrames`, then its left channel on both channels, falling
// by e^-0.026 per frame (through the whole float range to 0 within 4000 frames). `frame`
// counts from the start of the sequence.
inline void LoudThenFading(Program& program, double rate, int frame, int loudFrames, float& left,
                           float& right) {
  double l = 0.0, r = 0.0;
  program.Next(rate, l, r);
  const int tail = frame - loudFrames;
  if (tail > 0) l = r = l * std::exp(-0.026 * tail);
  left = static_cast<float>(l);
  right = static_cast<float>(r);
}

}  // namespace qd::validator
