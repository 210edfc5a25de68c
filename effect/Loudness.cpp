#include "effect/Loudness.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <iterator>
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

void KWeighting::Design(double sampleRate) {
  const double fs = sampleRate > 0.0 ? sampleRate : 48000.0;
  // Both stages from their analogue prototypes by the bilinear transform with the centre
  // prewarped.
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
  Clear();
}

void KWeighting::Clear() {
  for (auto& stage : z_) {
    for (auto& delay : stage) std::fill(std::begin(delay), std::end(delay), 0.0);
  }
}

void KWeighting::FlushTinyState() {
  // Once a signal has died away the filters' state would decay through the slow denormal
  // range; a state this small contributes nothing measurable, so it becomes 0. A state that
  // is no longer finite (a non-finite sample went in) would spoil every later reading, so
  // the filters start afresh.
  bool finite = true;
  for (auto& stage : z_) {
    for (auto& delay : stage) {
      for (double& z : delay) {
        finite = finite && std::isfinite(z);
        z = std::fabs(z) < 1e-150 ? 0.0 : z;
      }
    }
  }
  if (!finite) Clear();
}

template <bool kStore>
double KWeighting::Run(const double* in, double* out, int frames) {
  constexpr int kChunk = 256;
  double energy = 0.0;
  for (int start = 0; start < frames; start += kChunk) {
    const int n = std::min(kChunk, frames - start);
    const double* x = in + 2 * start;
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
    __m128d sum = _mm_setzero_pd();
    for (int i = 0; i < n; ++i) {
      __m128d y = _mm_loadu_pd(x + 2 * i);
      for (int s = 0; s < 2; ++s) {
        const __m128d w =
            _mm_sub_pd(_mm_sub_pd(y, _mm_mul_pd(c[s][3], d[s][0])), _mm_mul_pd(c[s][4], d[s][1]));
        y = _mm_add_pd(_mm_add_pd(_mm_mul_pd(c[s][0], w), _mm_mul_pd(c[s][1], d[s][0])),
                       _mm_mul_pd(c[s][2], d[s][1]));
        d[s][1] = d[s][0];
        d[s][0] = w;
      }
      if constexpr (kStore) {
        _mm_storeu_pd(out + 2 * (start + i), y);
      } else {
        sum = _mm_add_pd(sum, _mm_mul_pd(y, y));
      }
    }
    for (int s = 0; s < 2; ++s) {
      for (int k = 0; k < 2; ++k) _mm_storeu_pd(z_[s][k], d[s][k]);
    }
    energy += _mm_cvtsd_f64(sum) + _mm_cvtsd_f64(_mm_unpackhi_pd(sum, sum));
#else
    const Stage* stages[2] = {&shelf_, &highPass_};
    double sum[2] = {0.0, 0.0};
    for (int i = 0; i < n; ++i) {
      for (int ch = 0; ch < 2; ++ch) {
        double y = x[2 * i + ch];
        for (int s = 0; s < 2; ++s) {
          const Stage& st = *stages[s];
          const double w = y - st.a1 * z_[s][0][ch] - st.a2 * z_[s][1][ch];
          y = st.b0 * w + st.b1 * z_[s][0][ch] + st.b2 * z_[s][1][ch];
          z_[s][1][ch] = z_[s][0][ch];
          z_[s][0][ch] = w;
        }
        if constexpr (kStore) {
          out[2 * (start + i) + ch] = y;
        } else {
          sum[ch] += y * y;
        }
      }
    }
    energy += sum[0] + sum[1];
#endif
    FlushTinyState();
  }
  return energy;
}

void KWeighting::Process(const double* in, double* out, int frames) {
  Run<true>(in, out, frames);
}

double KWeighting::Energy(const double* in, int frames) {
  return Run<false>(in, nullptr, frames);
}

GatedLoudness::GatedLoudness() {
  for (int i = 0; i < kBins; ++i) {
    centreEnergy_[static_cast<size_t>(i)] =
        std::pow(10.0, ((-70.0 + 0.1 * i + 0.05) + 0.691) / 10.0);
  }
}

bool GatedLoudness::Prepare(int sampleRate) {
  if (!RateSupported(sampleRate)) {
    framesPer100ms_ = 0;
    Reset();
    return false;
  }
  weighting_.Design(sampleRate);
  framesPer100ms_ = (static_cast<int64_t>(sampleRate) + 5) / 10;
  Reset();
  return true;
}

void GatedLoudness::Reset() {
  weighting_.Clear();
  framesFed_ = 0;
  stepFramesLeft_ = framesPer100ms_;
  stepEnergy_ = 0.0;
  steps_ = 0;
  recentSteps_.fill(0.0);
  blocks_.fill(0);
  shortTerm_.fill(0);
}

void GatedLoudness::AddFrames(const double* x, int frames) {
  if (frames <= 0 || x == nullptr || framesPer100ms_ <= 0) return;
  framesFed_ += frames;
  int64_t left = frames;
  while (left > 0) {
    const int n = static_cast<int>(std::min(left, stepFramesLeft_));
    stepEnergy_ += weighting_.Energy(x, n);
    x += 2 * static_cast<int64_t>(n);
    left -= n;
    stepFramesLeft_ -= n;
    if (stepFramesLeft_ == 0) {
      CompleteStep(stepEnergy_);
      stepEnergy_ = 0.0;
      stepFramesLeft_ = framesPer100ms_;
    }
  }
}

void GatedLoudness::CompleteStep(double energy) {
  recentSteps_[static_cast<size_t>(steps_ % kShortTermSteps)] =
      std::isfinite(energy) ? energy : 0.0;
  ++steps_;
  // A 400 ms block ends with every step from the fourth on.
  if (steps_ >= 4) {
    double sum = 0.0;
    for (int64_t k = steps_ - 4; k < steps_; ++k)
      sum += recentSteps_[static_cast<size_t>(k % kShortTermSteps)];
    AddToHistogram(blocks_, sum / static_cast<double>(4 * framesPer100ms_));
  }
  // A 3 s short-term block ends every second from the third second on.
  if (steps_ >= kShortTermSteps && (steps_ - kShortTermSteps) % 10 == 0) {
    double sum = 0.0;
    for (double e : recentSteps_) sum += e;
    AddToHistogram(shortTerm_, sum / static_cast<double>(kShortTermSteps * framesPer100ms_));
  }
}

void GatedLoudness::AddToHistogram(std::array<int64_t, kBins>& histogram, double meanEnergy) {
  const double loudness = -0.691 + 10.0 * std::log10(meanEnergy);
  // Blocks below the absolute gate (silence and NaN included) never count; the top bin
  // takes everything above +30 LUFS.
  if (!(loudness >= -70.0)) return;
  const double bin = std::floor((loudness + 70.0) / 0.1);
  histogram[bin >= kBins - 1 ? kBins - 1 : static_cast<size_t>(bin)] += 1;
}

int GatedLoudness::FirstGatedBin(const std::array<int64_t, kBins>& histogram, double factor) const {
  int64_t count = 0;
  double sum = 0.0;
  for (size_t i = 0; i < kBins; ++i) {
    count += histogram[i];
    sum += static_cast<double>(histogram[i]) * centreEnergy_[i];
  }
  if (count == 0) return kBins;
  const double gate = sum / static_cast<double>(count) * factor;
  int first = 0;
  while (first < kBins && centreEnergy_[static_cast<size_t>(first)] < gate) ++first;
  return first;
}

double GatedLoudness::Integrated() const {
  // The relative gate is 10 LU below the mean of the blocks above the absolute gate.
  const int first = FirstGatedBin(blocks_, 0.1);
  int64_t count = 0;
  double sum = 0.0;
  for (size_t i = static_cast<size_t>(first); i < kBins; ++i) {
    count += blocks_[i];
    sum += static_cast<double>(blocks_[i]) * centreEnergy_[i];
  }
  if (count == 0) return -HUGE_VAL;
  return -0.691 + 10.0 * std::log10(sum / static_cast<double>(count));
}

double GatedLoudness::Range() const {
  // The relative gate is 20 LU below the mean of the short-term blocks above the absolute
  // gate; the range is the distance from the 10th to the 95th percentile of those above it.
  const int first = FirstGatedBin(shortTerm_, 0.01);
  int64_t count = 0;
  for (size_t i = static_cast<size_t>(first); i < kBins; ++i) count += shortTerm_[i];
  if (count == 0) return 0.0;
  const auto rankOf = [count](double fraction) {
    return static_cast<int64_t>(std::llround(static_cast<double>(count - 1) * fraction));
  };
  const auto binOfRank = [&](int64_t rank) {
    int64_t seen = 0;
    for (int i = first; i < kBins; ++i) {
      seen += shortTerm_[static_cast<size_t>(i)];
      if (seen > rank) return i;
    }
    return kBins - 1;
  };
  const auto centre = [](int bin) { return -70.0 + 0.1 * bin + 0.05; };
  return centre(binOfRank(rankOf(0.95))) - centre(binOfRank(rankOf(0.10)));
}

void MomentaryLoudness::Prepare(int sampleRate) {
  const double fs = sampleRate > 0 ? sampleRate : 48000.0;
  weighting_.Design(fs);
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
    weighting_.Process(interleaved + 2 * start, filtered, n);
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
