// `qdhost master`: renders each input through a plug-in and searches its drive so that the
// output lands on a loudness target with its true peak under a limit, then writes the file
// in the asked sample format (dithered where it has fewer bits than the engine), the
// settings found as a state file beside it, and a report. Several inputs are rendered on
// worker threads, one plug-in instance each; a file that fails is reported and the others
// are still done. Called from the command line on the main thread.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "tools/host/PluginHost.h"
#include "tools/host/Quantizer.h"

namespace qd::host {

enum class DriveSearch { kLimiter, kClipper, kBoth };

struct MasterOptions {
  std::vector<std::string> inputs;
  std::string plugin;  // empty: the QuarloDorvantix module built beside qdhost
  double targetLufs = -14.0;
  double truePeakDb = -1.0;
  std::string outDir;  // empty: beside each input, as NAME-master.EXT
  std::string bits;    // "16", "24", "32f"; empty: the input's
  bool dither = true;
  DriveSearch drive = DriveSearch::kLimiter;
  int jobs = 0;        // 0: one per core, at most one per file
  std::string report;  // a PNG path (one input) or a folder (several)
  bool json = false;
  bool quiet = false;
  int block = 512;
  double tempo = 120.0;
  Precision precision = Precision::kBest;
  // The user's settings (saved state, --set), applied to every fresh instance.
  std::function<void(HostedPlugin&)> applySettings;
};

// Returns kExitOk when every file met the target, kExitTargetMissed when some file could not
// (its closest result is written), kExitFailure when some file failed.
int Master(const MasterOptions& options, std::ostream& out, std::ostream& err);

// The QuarloDorvantix module of the build or installation qdhost runs from; empty when none
// is found.
std::string DefaultPluginPath();

}  // namespace qd::host
