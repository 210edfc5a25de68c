// Writes the bundle's two Turtle files from rows describing the plug-in's parameters.
// Used by the build-time generator only; nothing here runs in a host.
#pragma once

#include <string>
#include <vector>

namespace qd::lv2 {

struct ParamRow {
  enum Kind { kToggle, kChoice, kNumber };
  std::string symbol;
  std::string name;
  Kind kind = kNumber;
  double defaultValue = 0.0;
  double minimum = 0.0;
  double maximum = 1.0;
  double step = 0.0;
  std::string unit;                  // the parameter's label: "dB", "ms" or empty
  std::vector<std::string> choices;  // display texts of values 0, 1, ...
};

struct BundleFiles {
  std::string dspBinary;  // file names inside the bundle
  std::string uiBinary;
};

std::string ManifestTurtle(const BundleFiles& files);
std::string PluginTurtle(const std::vector<ParamRow>& params, int version);

}  // namespace qd::lv2
