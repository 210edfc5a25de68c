// Run-time filters. Filter is the polymorphic interface an owner creates, configures with
// applyParams and runs with processBlock; DesignedFilter binds a design to it and
// ChannelFilter adds the per-channel run state.
//
// Threads: one thread at a time per object. applyParams, creation and deletion must not
// overlap processBlock (the owner serialises them). processBlock is real-time safe: it
// allocates nothing, takes no lock and never throws. applyParams allocates nothing;
// describeParam and poleZeroSections do (setup and inspection only).
#pragma once

#include <cstdint>
#include <limits>
#include <type_traits>
#include <vector>

#include "dsp/filters/Layout.h"
#include "dsp/filters/Params.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Iir {

// Direct-form-II state of one second-order stage: the stage's internal signal one and two
// samples ago.
struct DirectForm2 {
  double d1 = 0.0;
  double d2 = 0.0;

  void reset() { d1 = d2 = 0.0; }

  // One sample through the stage; `offset` is added to the internal signal.
  double process(double in, const BiquadStage& s, double offset) {
    const double w = in - s.a1 * d1 - s.a2 * d2 + offset;
    const double out = s.b0 * w + s.b1 * d1 + s.b2 * d2;
    d2 = d1;
    d1 = w;
    return out;
  }
  double process(double in, const BiquadStage& s) {
    const double w = in - s.a1 * d1 - s.a2 * d2;
    const double out = s.b0 * w + s.b1 * d1 + s.b2 * d2;
    d2 = d1;
    d1 = w;
    return out;
  }
};

// Run state of one channel. The offset alternates sign every sample and is added to the
// first stage's internal signal, so recursive state never decays into denormal numbers;
// both zeros of every stage sit at z = -1, which cancels this half-sample-rate signal.
template <class State, int MaxStages>
struct ChannelState {
  double offset = 1e-8;
  State stages[MaxStages] = {};
};

class Filter {
 public:
  virtual ~Filter() = default;
  virtual int kind() const = 0;  // 0 = low pass
  virtual const char* displayName() const = 0;
  virtual int paramCount() const = 0;
  // Throws std::logic_error("no such filter parameter") for an unknown index.
  virtual ParamDescription describeParam(int index) const = 0;
  virtual std::vector<PoleZeroSection> poleZeroSections() const = 0;
  virtual complex_t responseAt(double normalisedFrequency) const = 0;
  virtual int channelCount() const = 0;
  // Zeroes every stage state; the anti-denormal offsets keep their phase.
  virtual void clearState() = 0;
  // Returns the run state to that of a newly created filter (zero stages, offsets at their
  // starting phase), so a filter reused after a redesign runs exactly as a new one would.
  virtual void resetState() = 0;
  // Filters numSamples samples of each of channelCount() channels in place. numSamples <= 0,
  // a null pointer array or a null channel pointer processes nothing for that channel.
  virtual void processBlock(int numSamples, double* const* channels) = 0;
  // The same on float buffers; the arithmetic is double precision.
  virtual void processBlock(int numSamples, float* const* channels) = 0;

  // Stores the block and redesigns. Run state is kept, so processing continues smoothly.
  void applyParams(const FilterParams& values) {
    params_ = values;
    designFromParams(values);
  }
  const FilterParams& params() const { return params_; }

 protected:
  virtual void designFromParams(const FilterParams& values) = 0;

 private:
  FilterParams params_;
};

template <class Design>
class DesignedFilter : public Filter {
 public:
  int kind() const override { return Design::kKind; }
  const char* displayName() const override { return Design::displayName(); }
  int paramCount() const override { return Design::paramCount(); }
  ParamDescription describeParam(int index) const override { return Design::describeParam(index); }
  std::vector<PoleZeroSection> poleZeroSections() const override {
    const auto& layout = design_.digitalLayout();
    return std::vector<PoleZeroSection>(layout.sections, layout.sections + layout.numSections());
  }
  complex_t responseAt(double normalisedFrequency) const override {
    return design_.cascade().response(normalisedFrequency);
  }
  const Design& design() const { return design_; }

 protected:
  void designFromParams(const FilterParams& values) override { design_.designFromParams(values); }
  Design design_;
};

template <class Design, int Channels, class State>
class ChannelFilter : public DesignedFilter<Design> {
  static_assert(Channels >= 1);

 public:
  static constexpr int kChannels = Channels;
  using StateType = ChannelState<State, Design::maxStages>;

  int channelCount() const override { return Channels; }

  void clearState() override {
    for (StateType& channel : states_) {
      for (State& stage : channel.stages) stage.reset();
    }
  }

  void resetState() override {
    for (StateType& channel : states_) channel = StateType{};
  }

  void processBlock(int numSamples, double* const* channels) override {
    if (numSamples <= 0 || channels == nullptr) return;
    if constexpr (Channels == 2 && std::is_same_v<State, DirectForm2>) {
      if (stereoPathApplies(numSamples, channels)) {
        processStereo(numSamples, channels[0], channels[1]);
        return;
      }
    }
    processEachChannel(numSamples, channels);
  }

  void processBlock(int numSamples, float* const* channels) override {
    if (numSamples <= 0 || channels == nullptr) return;
    processEachChannel(numSamples, channels);
  }

  // The straightforward per-channel loop, whatever the channel count. processBlock gives
  // bit-identical results; this entry exists so that can be checked and measured.
  template <class Sample>
  void processEachChannel(int numSamples, Sample* const* channels) {
    if (numSamples <= 0 || channels == nullptr) return;
    const auto& cascade = this->design_.cascade();
    for (int c = 0; c < Channels; ++c) {
      if (channels[c] != nullptr) {
        processChannel(states_[c], cascade.stages, cascade.numStages, channels[c], numSamples);
      }
    }
  }

  const StateType& channelState(int channel) const { return states_[channel]; }
  // For block forms that advance the same state (BlockForm); same threading as processBlock.
  StateType& channelState(int channel) { return states_[channel]; }

 private:
  template <class Sample>
  static void processChannel(StateType& state, const BiquadStage* stages, int numStages,
                             Sample* samples, int numSamples) {
    double offset = state.offset;
    for (int i = 0; i < numSamples; ++i) {
      offset = -offset;
      double y = static_cast<double>(samples[i]);
      if (numStages > 0) {
        y = state.stages[0].process(y, stages[0], offset);
        for (int s = 1; s < numStages; ++s) y = state.stages[s].process(y, stages[s]);
      }
      samples[i] = narrow<Sample>(y);
    }
    state.offset = offset;
  }

  // Stores a result into the buffer's type. For float, a finite value beyond the float range
  // becomes the infinity of its sign (what the conversion does in hardware, without relying
  // on an out-of-range conversion).
  template <class Sample>
  static Sample narrow(double y) {
    if constexpr (std::is_same_v<Sample, float>) {
      constexpr double kFloatMax = static_cast<double>(std::numeric_limits<float>::max());
      if (y > kFloatMax) return std::numeric_limits<float>::infinity();
      if (y < -kFloatMax) return -std::numeric_limits<float>::infinity();
      return static_cast<float>(y);
    } else {
      return static_cast<Sample>(y);
    }
  }

  // Both channels in one register: the same operations in the same order as the per-channel
  // loop, so the output is bit-identical. Only for two distinct, non-overlapping buffers.
  bool stereoPathApplies(int numSamples, double* const* channels) const {
#if defined(__SSE2__)
    const auto left = reinterpret_cast<std::uintptr_t>(channels[0]);
    const auto right = reinterpret_cast<std::uintptr_t>(channels[1]);
    if (left == 0 || right == 0) return false;
    const std::uintptr_t bytes = static_cast<std::uintptr_t>(numSamples) * sizeof(double);
    return left + bytes <= right || right + bytes <= left;
#else
    (void)numSamples;
    (void)channels;
    return false;
#endif
  }

  void processStereo(int numSamples, double* left, double* right) {
#if defined(__SSE2__)
    const auto& cascade = this->design_.cascade();
    const int numStages = cascade.numStages;
    __m128d d1[Design::maxStages];
    __m128d d2[Design::maxStages];
    __m128d a1[Design::maxStages], a2[Design::maxStages];
    __m128d b0[Design::maxStages], b1[Design::maxStages], b2[Design::maxStages];
    for (int s = 0; s < numStages; ++s) {
      d1[s] = _mm_set_pd(states_[1].stages[s].d1, states_[0].stages[s].d1);
      d2[s] = _mm_set_pd(states_[1].stages[s].d2, states_[0].stages[s].d2);
      const BiquadStage& st = cascade.stages[s];
      a1[s] = _mm_set1_pd(st.a1);
      a2[s] = _mm_set1_pd(st.a2);
      b0[s] = _mm_set1_pd(st.b0);
      b1[s] = _mm_set1_pd(st.b1);
      b2[s] = _mm_set1_pd(st.b2);
    }
    const __m128d negate = _mm_set1_pd(-0.0);
    __m128d offset = _mm_set_pd(states_[1].offset, states_[0].offset);
    for (int i = 0; i < numSamples; ++i) {
      offset = _mm_xor_pd(offset, negate);
      __m128d y = _mm_set_pd(right[i], left[i]);
      for (int s = 0; s < numStages; ++s) {
        __m128d w = _mm_sub_pd(_mm_sub_pd(y, _mm_mul_pd(a1[s], d1[s])), _mm_mul_pd(a2[s], d2[s]));
        if (s == 0) w = _mm_add_pd(w, offset);
        y = _mm_add_pd(_mm_add_pd(_mm_mul_pd(b0[s], w), _mm_mul_pd(b1[s], d1[s])),
                       _mm_mul_pd(b2[s], d2[s]));
        d2[s] = d1[s];
        d1[s] = w;
      }
      _mm_storel_pd(&left[i], y);
      _mm_storeh_pd(&right[i], y);
    }
    for (int s = 0; s < numStages; ++s) {
      _mm_storel_pd(&states_[0].stages[s].d1, d1[s]);
      _mm_storeh_pd(&states_[1].stages[s].d1, d1[s]);
      _mm_storel_pd(&states_[0].stages[s].d2, d2[s]);
      _mm_storeh_pd(&states_[1].stages[s].d2, d2[s]);
    }
    _mm_storel_pd(&states_[0].offset, offset);
    _mm_storeh_pd(&states_[1].offset, offset);
#else
    double* channels[2] = {left, right};
    processEachChannel(numSamples, channels);
#endif
  }

  StateType states_[Channels];
};

}  // namespace Iir
