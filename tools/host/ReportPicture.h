// The report as a picture: short-term loudness of the input and the output over time, the
// target line, the 100 ms steps whose true peak exceeds the limit marked along the top, and
// the report's figures in a legend. Drawn with cairo into a PNG file.
#pragma once

#include <string>

#include "tools/host/Meter.h"

namespace qd::host {

struct PictureInfo {
  std::string title;              // e.g. "song.wav -> out/song.wav"
  double targetLufs = NAN;        // no target line when NaN
  double truePeakLimitDb = -1.0;  // overs are marked above this
  std::string verdict;            // one line under the title, may be empty
};

// "song.wav -> master/song.wav": the files' names with the output's folder, short enough
// for the title and free of the folders above it.
std::string PictureTitle(const std::string& input, const std::string& output);

// Throws HostError when the file cannot be written.
void WriteReportPicture(const std::string& path, const Measurement& in, const Measurement& out,
                        const PictureInfo& info);

}  // namespace qd::host
