#include "effect/Loudness.h"

#include <ebur128.h>

#include <cmath>

namespace qd {

std::unique_ptr<LoudnessState> LoudnessState::Create(int mode, unsigned sampleRate) {
  ebur128_state* state = ebur128_init(2, sampleRate, mode);
  if (!state) return nullptr;
  ebur128_set_channel(state, 0, EBUR128_LEFT);
  ebur128_set_channel(state, 1, EBUR128_RIGHT);
  return std::unique_ptr<LoudnessState>(new LoudnessState(state, sampleRate));
}

LoudnessState::LoudnessState(void* state, unsigned sampleRate)
    : state_(state), framesPer100ms_((static_cast<int64_t>(sampleRate) + 5) / 10) {}

namespace {
ebur128_state* Native(void* state) { return static_cast<ebur128_state*>(state); }
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

}  // namespace qd
