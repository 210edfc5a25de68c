// The host's loudness and true-peak figures against an independent meter: ffmpeg's ebur128
// filter with peak=true, on generated files of known level, inter-sample-peak signals and
// music, read back from the JSON of `qdhost measure`.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/tools/host/HostTest.h"
#include "tools/host/Generator.h"

namespace qd::host {
namespace {

double JsonNumber(const std::string& json, const std::string& key) {
  const size_t at = json.find("\"" + key + "\": ");
  if (at == std::string::npos) return NAN;
  return std::strtod(json.c_str() + at + key.size() + 4, nullptr);
}

// A sine at `peak` (linear) in every channel, of `hz`, starting at `phase` radians, faded
// in and out over 100 ms: an abrupt start would itself overshoot between the samples.
std::vector<double> Sine(int channels, int rate, double seconds, double hz, double peak,
                         double phase) {
  const int frames = static_cast<int>(rate * seconds);
  const int fade = rate / 10;
  std::vector<double> out(static_cast<size_t>(frames) * channels);
  for (int i = 0; i < frames; ++i) {
    const int edge = std::min(i, frames - 1 - i);
    const double ramp = edge < fade ? 0.5 - 0.5 * std::cos(M_PI * edge / fade) : 1.0;
    const double v = ramp * peak * std::sin(2.0 * M_PI * hz * i / rate + phase);
    for (int c = 0; c < channels; ++c) out[static_cast<size_t>(i) * channels + c] = v;
  }
  return out;
}

using Loudness = HostFiles;

TEST_F(Loudness, AgreesWithAnIndependentMeter) {
  ASSERT_EQ(std::system("ffmpeg -version > /dev/null 2>&1"), 0)
      << "ffmpeg is needed (scripts/install-deps.sh installs it)";
  struct Case {
    const char* name;
    std::vector<double> frames;
    int channels, rate;
    double lufs, truePeakDb;  // known figures, NaN where only the meters' agreement counts
  };
  const double halfScale = std::pow(10.0, -6.0 / 20.0);
  const std::vector<Case> cases = {
      // A 997 Hz sine reads its peak level in LUFS (K-weighting and offset cancel there).
      {"sine-997-20.wav", Sine(2, 48000, 10, 997, 0.1, 0), 2, 48000, -20.0, -20.0},
      {"sine-997-mono.wav", Sine(1, 44100, 10, 997, halfScale, 0), 1, 44100, -9.01, -6.0},
      // A quarter of the rate at 45 degrees: every sample 3.01 dB under the waveform's peak.
      {"isp-quarter.wav", Sine(2, 48000, 10, 12000, halfScale, M_PI / 4), 2, 48000, NAN, -6.0},
      // A sixth of the rate: the samples fall 1.25 dB under the peak.
      {"isp-sixth.wav", Sine(2, 44100, 10, 7350, 1.0, 0), 2, 44100, NAN, 0.0},
      {"music.wav", GenerateMusic(44100, 15, -1.0), 2, 44100, NAN, NAN},
  };
  for (const Case& c : cases) {
    const std::string path = Written(c.name, c.frames, c.channels, c.rate);
    const Result r = Qdhost({"measure", path, "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const double lufs = JsonNumber(r.out, "integrated_lufs");
    const double truePeak = JsonNumber(r.out, "true_peak_dbtp");
    const Figures ffmpeg = Ffmpeg(path, File(std::string(c.name) + ".log"));
    EXPECT_NEAR(lufs, ffmpeg.lufs, 0.1) << c.name;
    EXPECT_NEAR(truePeak, ffmpeg.truePeakDb, 0.2) << c.name;
    if (!std::isnan(c.lufs)) {
      EXPECT_NEAR(lufs, c.lufs, 0.1) << c.name;
    }
    if (!std::isnan(c.truePeakDb)) {
      EXPECT_NEAR(truePeak, c.truePeakDb, 0.2) << c.name;
    }
  }
}

TEST_F(Loudness, MeasureReportsEveryFigure) {
  // A tone of 3 s: momentary and short-term windows reach the same level as the whole.
  const std::string path = Written("tone.wav", Sine(2, 44100, 4, 997, 0.1, 0), 2, 44100);
  const Result json = Qdhost({"measure", path, "--json"});
  ASSERT_EQ(json.status, 0) << json.err;
  EXPECT_NEAR(JsonNumber(json.out, "max_momentary_lufs"), -20.0, 0.1) << json.out;
  EXPECT_NEAR(JsonNumber(json.out, "max_short_term_lufs"), -20.0, 0.1) << json.out;
  EXPECT_NEAR(JsonNumber(json.out, "plr_db"), 0.0, 0.1) << json.out;
  // Normalised to -14 LUFS a service turns it up by 6 dB: its true peak then lands at -14.
  EXPECT_NEAR(JsonNumber(json.out, "gain_db"), 6.0, 0.1) << json.out;
  EXPECT_NEAR(JsonNumber(json.out, "true_peak_after_dbtp"), -14.0, 0.1) << json.out;
  const Result text = Qdhost({"measure", path});
  for (const char* heading : {"LUFS", "max M", "max S", "dBTP", "PLR"}) {
    EXPECT_NE(text.out.find(heading), std::string::npos) << heading << "\n" << text.out;
  }
}

}  // namespace
}  // namespace qd::host
