#include "effect/Loudness.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qd {

std::unique_ptr<LoudnessState> LoudnessState::Create(int mode, unsigned sampleRate) {
  ebur128_state* state = ebur128_init(2, sampleRate, mode);
  if (!state) return nullptr;
  ebur128_set_channel(state, 0, EBUR128_LEFT);
  ebur128_set_channel(state, 1, EBUR128_RIGHT);
  return std::unique_ptr<LoudnessState>(new LoudnessState(state, sampleRate));
}

LoudnessState::LoudnessState(void* state, unsigned sampleRate)
    : state_(state),
      framesPer100ms_((static_cast<int64_t>(sampleRate) + 5) / 10),
      pending_(std::make_unique<double[]>(static_cast<size_t>(2 * framesPer100ms_))) {}

namespace {
ebur128_state* Native(void* state) {
  return static_cast<ebur128_state*>(state);
}
}  // namespace

LoudnessState::~LoudnessState() {
  ebur128_state* state = Native(state_);
  ebur128_destroy(&state);
}

void LoudnessState::AddFrames(const double* interleaved, int frames) {
  if (frames <= 0) return;
  ebur128_add_frames_double(Native(state_), interleaved, static_cast<size_t>(frames));
  framesFed_ += frames;
}

void LoudnessState::AddFramesInSteps(const double* x, int frames) {
  if (frames <= 0) return;
  ebur128_state* state = Native(state_);
  const int64_t step = framesPer100ms_;
  framesFed_ += frames;
  int64_t left = frames;
  if (pendingFrames_ > 0) {
    // Complete the waiting step first.
    const int64_t take = std::min(left, step - pendingFrames_);
    std::copy(x, x + 2 * take, pending_.get() + 2 * pendingFrames_);
    pendingFrames_ += take;
    x += 2 * take;
    left -= take;
    if (pendingFrames_ < step) return;
    ebur128_add_frames_double(state, pending_.get(), static_cast<size_t>(step));
    pendingFrames_ = 0;
  }
  // Whole steps straight from the caller's frames, the rest waits.
  const int64_t whole = left - left % step;
  if (whole > 0) ebur128_add_frames_double(state, x, static_cast<size_t>(whole));
  pendingFrames_ = left - whole;
  std::copy(x + 2 * whole, x + 2 * left, pending_.get());
}

double LoudnessState::Momentary() const {
  double v = -HUGE_VAL;
  ebur128_loudness_momentary(Native(state_), &v);
  return v;
}

double LoudnessState::Integrated() const {
  double v = -HUGE_VAL;
  ebur128_loudness_global(Native(state_), &v);
  return v;
}

double LoudnessState::Range() const {
  double v = 0.0;
  ebur128_loudness_range(Native(state_), &v);
  return v;
}

void MomentaryLoudness::Prepare(int sampleRate) {
  const double fs = sampleRate > 0 ? sampleRate : 48000.0;
  // K-weighting: a high shelf of about +4 dB above 1.5 kHz, then a high pass at 38 Hz, both
  // from their analogue prototypes by the bilinear transform with the centre prewarped.
  {
    const double f0 = 1681.974450955533, gainDb = 3.999843853973347, q = 0.7071752369554196;
    const double k = std::tan(std::numbers::pi * f0 / fs);
    const double vh = std::pow(10.0, gainDb / 20.0);
    const double vb = std::pow(vh, 0.4996667741545416);
    const double a0 = 1.0 + k / q + k * k;
    shelf_ = {(vh + vb * k / q + k * k) / a0, 2.0 * (k * k - vh) / a0,
              (vh - vb * k / q + k * k) / a0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
  }
  {
    const double f0 = 38.13547087602444, q = 0.5003270373238773;
    const double k = std::tan(std::numbers::pi * f0 / fs);
    const double a0 = 1.0 + k / q + k * k;
    highPass_ = {1.0, -2.0, 1.0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
  }
  std::fill(&z_[0][0][0], &z_[0][0][0] + 8, 0.0);
  // 400 ms of frames, two samples each (at a "rate" of one sample per ms the window's length
  // in ms is its length in samples).
  windowFrames_ = static_cast<int>(std::lround(fs * 0.4));
  window_.SetSampleRate(1000);
  window_.Resize(2.0 * windowFrames_);
  framesFed_ = 0;
}

void MomentaryLoudness::AddFrames(const double* interleaved, int frames) {
  if (frames <= 0 || interleaved == nullptr || windowFrames_ <= 0) return;
  constexpr int kChunk = 256;
  double filtered[2 * kChunk];
  for (int start = 0; start < frames; start += kChunk) {
    const int n = std::min(kChunk, frames - start);
    const double* in = interleaved + 2 * start;
#if defined(__SSE2__)
    // Both channels in one register; a frame is (left, right) in memory already.
    __m128d d[2][2];
    for (int s = 0; s < 2; ++s) {
      for (int k = 0; k < 2; ++k) d[s][k] = _mm_loadu_pd(z_[s][k]);
    }
    const Stage* stages[2] = {&shelf_, &highPass_};
    __m128d c[2][5];
    for (int s = 0; s < 2; ++s) {
      c[s][0] = _mm_set1_pd(stages[s]->b0);
      c[s][1] = _mm_set1_pd(stages[s]->b1);
      c[s][2] = _mm_set1_pd(stages[s]->b2);
      c[s][3] = _mm_set1_pd(stages[s]->a1);
      c[s][4] = _mm_set1_pd(stages[s]->a2);
    }
    for (int i = 0; i < n; ++i) {
      __m128d y = _mm_loadu_pd(in + 2 * i);
      for (int s = 0; s < 2; ++s) {
        const __m128d w =
            _mm_sub_pd(_mm_sub_pd(y, _mm_mul_pd(c[s][3], d[s][0])), _mm_mul_pd(c[s][4], d[s][1]));
        y = _mm_add_pd(_mm_add_pd(_mm_mul_pd(c[s][0], w), _mm_mul_pd(c[s][1], d[s][0])),
                       _mm_mul_pd(c[s][2], d[s][1]));
        d[s][1] = d[s][0];
        d[s][0] = w;
      }
      _mm_storeu_pd(filtered + 2 * i, y);
    }
    for (int s = 0; s < 2; ++s) {
      for (int k = 0; k < 2; ++k) _mm_storeu_pd(z_[s][k], d[s][k]);
    }
#else
    const Stage* stages[2] = {&shelf_, &highPass_};
    for (int i = 0; i < n; ++i) {
      for (int ch = 0; ch < 2; ++ch) {
        double y = in[2 * i + ch];
        for (int s = 0; s < 2; ++s) {
          const Stage& st = *stages[s];
          const double w = y - st.a1 * z_[s][0][ch] - st.a2 * z_[s][1][ch];
          y = st.b0 * w + st.b1 * z_[s][0][ch] + st.b2 * z_[s][1][ch];
          z_[s][1][ch] = z_[s][0][ch];
          z_[s][0][ch] = w;
        }
        filtered[2 * i + ch] = y;
      }
    }
#endif
    // Once a signal has died away the filters' state would decay through the slow denormal
    // range; a state this small contributes nothing measurable, so it becomes 0.
    for (double& z : z_[0][0]) z = std::fabs(z) < 1e-150 ? 0.0 : z;
    for (double& z : z_[0][1]) z = std::fabs(z) < 1e-150 ? 0.0 : z;
    for (double& z : z_[1][0]) z = std::fabs(z) < 1e-150 ? 0.0 : z;
    for (double& z : z_[1][1]) z = std::fabs(z) < 1e-150 ? 0.0 : z;
    window_.Push(filtered, 2 * n);
  }
  framesFed_ += frames;
}

double MomentaryLoudness::Momentary() const {
  const double power = windowFrames_ > 0 ? window_.SumOfSquares() / windowFrames_ : 0.0;
  if (!(power > 0.0)) return -HUGE_VAL;
  return -0.691 + 10.0 * std::log10(power);
}

}  // namespace qd
