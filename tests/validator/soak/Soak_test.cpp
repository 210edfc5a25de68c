// A long render at the heaviest settings (both stages 4x oversampled, soft clipper, drives
// high, automatic output on) in each automatic-output mode, faster than real time. Checks:
// the processor's floating-point mode stays as the host set it, no subnormal number comes
// out, the meter readouts agree with a fresh measurement of the same output, the 64-bit
// long-term RMS count keeps counting, and the resident memory stays flat.
//
// QD_SOAK_SECONDS sets the audio length per mode (CI: 60 s; scripts/soak.sh: an hour).
#include <ebur128.h>
#include <gtest/gtest.h>
#include <xmmintrin.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "effect/QuarloDorvantix.h"
#include "tests/effect/EngineTestSupport.h"

namespace qd {
namespace {

long ResidentKilobytes() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * 4;
}

double SoakSeconds() {
  const char* s = std::getenv("QD_SOAK_SECONDS");
  return s ? std::max(1.0, std::atof(s)) : 60.0;
}

struct Mode {
  int type;
  const char* name;
};

class Soak : public ::testing::TestWithParam<std::tuple<Mode, bool>> {};

TEST_P(Soak, HourLongRenderKeepsModeMetersAndMemory) {
  const auto [mode, flushToZero] = GetParam();
  // Only the control bits: the low six are sticky exception flags that any arithmetic sets.
  constexpr unsigned int kControlBits = 0xFFC0u;
  const unsigned int hostMode = _mm_getcsr();
  // The host's choice of floating-point mode: default, or flush-to-zero and denormals-are-zero.
  const unsigned int wanted = flushToZero ? (hostMode | 0x8040u) : (hostMode & ~0x8040u);
  _mm_setcsr(wanted);

  const double rate = 48000.0;
  const int block = 512;
  auto p = testing::MakePlugin(rate, block);
  testing::SetParam(*p, kClipperOversample, 2);
  testing::SetParam(*p, kLimiterOversample, 2);
  testing::SetParam(*p, kSoftClipper, 1);
  testing::SetParam(*p, kClipperLevel, 12);
  testing::SetParam(*p, kLimiterLevel, 12);
  testing::SetParam(*p, kAutoOutputLevel, 1);
  testing::SetParam(*p, kAutoOutType, mode.type);
  testing::SetParam(*p, kAutoOutputTarget, -14);

  // Measured the way the plug-in measures: gated, with the histogram.
  ebur128_state* fresh = ebur128_init(2, static_cast<unsigned long>(rate),
                                      EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_HISTOGRAM);
  ASSERT_NE(fresh, nullptr);
  long double sumSquares = 0.0L;
  int64_t samples = 0;

  const int64_t blocks = static_cast<int64_t>(SoakSeconds() * rate / block);
  std::vector<double> inL(block), inR(block), outL(block), outR(block), frames(2 * block);
  double phase = 0.0;
  uint32_t noise = 1;
  long residentAfterWarmUp = 0;
  int64_t subnormals = 0, modeChanges = 0;
  for (int64_t b = 0; b < blocks; ++b) {
    // Ten seconds of music-like sound, then five of silence, so filters and followers
    // decay towards the subnormal range again and again.
    const double t = static_cast<double>(b * block) / rate;
    const bool sound = std::fmod(t, 15.0) < 10.0;
    for (int k = 0; k < block; ++k) {
      phase += 2.0 * M_PI / rate;
      noise = noise * 1664525u + 1013904223u;
      const double hiss = (static_cast<double>(noise >> 8) / 8388608.0 - 1.0) * 0.1;
      const double swell = 0.6 + 0.4 * std::sin(0.37 * phase);
      inL[k] = sound
                   ? swell * (0.7 * std::sin(55.0 * phase) + 0.2 * std::sin(1250.0 * phase) + hiss)
                   : 0.0;
      inR[k] = sound
                   ? swell * (0.7 * std::sin(56.0 * phase) + 0.2 * std::sin(1830.0 * phase) - hiss)
                   : 0.0;
    }
    if (phase > 2.0 * M_PI * 1e4) phase -= 2.0 * M_PI * 1e4;
    double* ins[2] = {inL.data(), inR.data()};
    double* outs[2] = {outL.data(), outR.data()};
    p->ProcessAudio(ins, outs, block);
    if ((_mm_getcsr() & kControlBits) != (wanted & kControlBits)) ++modeChanges;
    for (int k = 0; k < block; ++k) {
      for (double v : {outL[k], outR[k]}) {
        if (v != 0.0 && std::fabs(v) < DBL_MIN) ++subnormals;
        sumSquares += static_cast<long double>(v) * v;
      }
      frames[2 * k] = outL[k];
      frames[2 * k + 1] = outR[k];
    }
    samples += 2 * block;
    ebur128_add_frames_double(fresh, frames.data(), static_cast<size_t>(block));
    if (b == blocks / 10) residentAfterWarmUp = ResidentKilobytes();
  }
  _mm_setcsr(hostMode);

  EXPECT_EQ(modeChanges, 0) << "the plug-in changed the floating-point mode";
  EXPECT_EQ(subnormals, 0) << "subnormal output samples";
  EXPECT_EQ(p->LongTermCount(), samples);

  const MeterReadings m = p->ReadMeters();
  double integrated = 0.0, range = 0.0;
  ebur128_loudness_global(fresh, &integrated);
  ebur128_loudness_range(fresh, &range);
  ebur128_destroy(&fresh);
  const double rmsDb = 10.0 * std::log10(static_cast<double>(sumSquares / samples));
  char expected[32];
  std::snprintf(expected, sizeof(expected), "%.2f LUFS", integrated);
  EXPECT_STREQ(m.integratedText, expected) << mode.name;
  std::snprintf(expected, sizeof(expected), "%.2f LU", range);
  EXPECT_STREQ(m.rangeText, expected) << mode.name;
  // The readout is rounded to 0.01 dB; the reference sum is in extended precision.
  EXPECT_NEAR(std::atof(m.rmsText), rmsDb, 0.0051) << mode.name << ": " << m.rmsText;
  const long grown = ResidentKilobytes() - residentAfterWarmUp;
  EXPECT_LT(grown, 1024) << "kilobytes of resident memory added after the warm-up";
  std::printf("soak %s%s: %.0f s of audio, %lld blocks, %s, %s, %s\n", mode.name,
              flushToZero ? " (FTZ/DAZ)" : "", SoakSeconds(), static_cast<long long>(blocks),
              m.integratedText, m.rangeText, m.rmsText);
}

INSTANTIATE_TEST_SUITE_P(EveryAutomaticMode, Soak,
                         ::testing::Combine(::testing::Values(Mode{0, "dBFS"}, Mode{1, "RMS"},
                                                              Mode{2, "LUFS"}),
                                            ::testing::Values(false, true)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) ? "_FlushToZero" : "_DefaultMode");
                         });

}  // namespace
}  // namespace qd
