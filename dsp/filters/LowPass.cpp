#include "dsp/filters/LowPass.h"

namespace Iir {

template class ChannelFilter<LegendreLowPass, 1, DirectForm2>;
template class ChannelFilter<LegendreLowPass, 2, DirectForm2>;
template class ChannelFilter<LegendreLowPass, 3, DirectForm2>;
template class ChannelFilter<LegendreLowPass, 4, DirectForm2>;
template class ChannelFilter<LegendreLowPass, 5, DirectForm2>;
template class ChannelFilter<LegendreLowPass, 6, DirectForm2>;

std::unique_ptr<Filter> createLegendreLowPass(int channels) {
  switch (channels) {
    case 1:
      return std::make_unique<LegendreLowPassFilter<1>>();
    case 2:
      return std::make_unique<LegendreLowPassFilter<2>>();
    case 3:
      return std::make_unique<LegendreLowPassFilter<3>>();
    case 4:
      return std::make_unique<LegendreLowPassFilter<4>>();
    case 5:
      return std::make_unique<LegendreLowPassFilter<5>>();
    case 6:
      return std::make_unique<LegendreLowPassFilter<6>>();
    default:
      return nullptr;
  }
}

}  // namespace Iir
