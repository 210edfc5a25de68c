// A music-like stereo test signal made from nothing but arithmetic: drums (kick, snare,
// hi-hat), a bass line and a chord pad at 120 BPM, scaled to a chosen sample peak. The
// same arguments always give the same samples.
#pragma once

#include <vector>

namespace qd::host {

// Interleaved stereo frames.
std::vector<double> GenerateMusic(int sampleRate, double seconds, double peakDb);

}  // namespace qd::host
