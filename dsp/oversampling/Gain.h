// Conversions between decibels and linear gain, used by the stages and the engine. Pure
// functions; real-time safe.
#pragma once

#include <cmath>

namespace qd {

// 10^(dB / 20), as exp(dB x ln 10 / 20).
inline double DbToGain(double db) {
  return std::exp(db * 0.1151292546497);
}
// 20 log10 |gain|, as ln |gain| x 20 / ln 10.
inline double GainToDb(double gain) {
  return std::log(std::fabs(gain)) * 8.685889638065037;
}

}  // namespace qd
