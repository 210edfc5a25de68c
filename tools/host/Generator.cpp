#include "tools/host/Generator.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace qd::host {

namespace {

constexpr double kTwoPi = 6.283185307179586;

// Deterministic white noise in -1..1 (xorshift).
class Noise {
 public:
  double Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return static_cast<double>(state_ >> 11) * (2.0 / 9007199254740992.0) - 1.0;
  }

 private:
  uint64_t state_ = 0x9E3779B97F4A7C15ull;
};

double NoteHz(int midi) {
  return 440.0 * std::pow(2.0, (midi - 69) / 12.0);
}

// A band-limited sawtooth of a few harmonics.
double Saw(double phase, int harmonics) {
  double v = 0.0;
  for (int h = 1; h <= harmonics; ++h) v += std::sin(phase * h) / h;
  return v * 0.6;
}

}  // namespace

std::vector<double> GenerateMusic(int sampleRate, double seconds, double peakDb) {
  const double rate = sampleRate;
  const int64_t frames = std::max<int64_t>(1, static_cast<int64_t>(seconds * rate));
  std::vector<double> out(static_cast<size_t>(frames) * 2, 0.0);
  const double beat = 0.5;  // seconds per beat at 120 BPM
  // Am - F - C - G, one chord per bar.
  const int roots[4] = {57, 53, 48, 55};
  const int thirds[4] = {3, 4, 4, 4};
  Noise noise;
  double hatState = 0.0;
  for (int64_t i = 0; i < frames; ++i) {
    const double t = i / rate;
    const double beatPos = t / beat;
    const int beatIndex = static_cast<int>(beatPos);
    const double sinceBeat = (beatPos - beatIndex) * beat;
    const int bar = (beatIndex / 4) % 4;
    const double eighth = std::fmod(t, beat / 2.0);
    const double n = noise.Next();

    // Kick on every beat: a falling sine.
    const double kickHz = 45.0 + 75.0 * std::exp(-sinceBeat / 0.03);
    const double kick = std::sin(kTwoPi * kickHz * sinceBeat) * std::exp(-sinceBeat / 0.12);
    // Snare on beats 2 and 4: noise and a tone.
    const bool snareBeat = beatIndex % 2 == 1;
    const double snare = snareBeat ? (0.6 * n + 0.4 * std::sin(kTwoPi * 185.0 * sinceBeat)) *
                                         std::exp(-sinceBeat / 0.09)
                                   : 0.0;
    // Hi-hat on eighths: noise minus its own smoothed copy (a crude high-pass).
    hatState += 0.3 * (n - hatState);
    const double hat = (n - hatState) * std::exp(-eighth / 0.025);
    // Bass on eighths, the bar's root an octave down.
    const double bassHz = NoteHz(roots[bar] - 12);
    const double bass = Saw(kTwoPi * bassHz * t, 6) * std::exp(-eighth / 0.18);
    // Pad: root, third and fifth, slightly detuned between the channels.
    double padL = 0.0, padR = 0.0;
    for (int interval : {0, thirds[bar] == 3 ? 3 : 4, 7}) {
      const double hz = NoteHz(roots[bar] + 12 + interval);
      padL += Saw(kTwoPi * hz * 1.002 * t, 4);
      padR += Saw(kTwoPi * hz * 0.998 * t + 0.7, 4);
    }
    const double swell = 0.7 + 0.3 * std::sin(kTwoPi * t / 8.0);

    // Sections of four bars: a quieter breakdown without kick, then the full groove.
    const bool breakdown = (beatIndex / 16) % 2 == 0;
    const double section = breakdown ? 0.45 : 1.0;
    const double centre = (breakdown ? 0.0 : 0.9 * kick) + 0.45 * snare + 0.5 * bass;
    out[2 * i] = section * (centre + 0.18 * hat * 0.8 + 0.12 * swell * padL);
    out[2 * i + 1] = section * (centre + 0.18 * hat * 1.2 + 0.12 * swell * padR);
  }
  double peak = 0.0;
  for (double v : out) peak = std::max(peak, std::fabs(v));
  if (peak > 0.0) {
    const double gain = std::pow(10.0, peakDb / 20.0) / peak;
    for (double& v : out) v *= gain;
  }
  return out;
}

}  // namespace qd::host
