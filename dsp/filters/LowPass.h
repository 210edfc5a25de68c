// The filters the oversampler uses: order-4 Legendre low-pass designs with direct-form-II
// state for 1 to 6 channels. Creation allocates; call it on a setup path, never while the
// filter it replaces may be processing.
#pragma once

#include <memory>

#include "dsp/filters/Filter.h"
#include "dsp/filters/Legendre.h"

namespace Iir {

constexpr int kLowPassMaxOrder = 4;
constexpr int kLowPassMaxChannels = 6;

using LegendreLowPass = LegendreLowPassDesign<kLowPassMaxOrder>;

template <int Channels>
using LegendreLowPassFilter = ChannelFilter<LegendreLowPass, Channels, DirectForm2>;

// A new, undesigned filter with zero state for `channels` (1..6); nullptr for other counts.
std::unique_ptr<Filter> createLegendreLowPass(int channels);

extern template class ChannelFilter<LegendreLowPass, 1, DirectForm2>;
extern template class ChannelFilter<LegendreLowPass, 2, DirectForm2>;
extern template class ChannelFilter<LegendreLowPass, 3, DirectForm2>;
extern template class ChannelFilter<LegendreLowPass, 4, DirectForm2>;
extern template class ChannelFilter<LegendreLowPass, 5, DirectForm2>;
extern template class ChannelFilter<LegendreLowPass, 6, DirectForm2>;

}  // namespace Iir
