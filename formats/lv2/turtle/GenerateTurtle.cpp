// Build-time program: writes manifest.ttl and the plug-in's description into the bundle
// folder, reading every parameter row from the plug-in itself so that names, ranges,
// defaults, units, steps and display texts are written nowhere else.
//   qd_lv2_turtle <bundle folder> <DSP binary file name> <UI binary file name>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>

#include "effect/QuarloDorvantix.h"
#include "formats/lv2/Lv2Ports.h"
#include "formats/lv2/turtle/TurtleWriter.h"

namespace {

// The stable identifiers hosts store sessions and presets by, in parameter order.
constexpr const char* kSymbols[qd::kNumParams] = {
    "clipper_level", "soft_clipper", "clipper_oversample", "limiter_level",
    "auto_release",  "release_time", "limiter_oversample", "output_level",
    "auto_output",   "auto_target",  "auto_type",          "reset_meters",
};

std::vector<qd::lv2::ParamRow> Rows() {
  auto plugin = std::make_unique<qd::QuarloDorvantix>(qd::kFormatAax);
  std::vector<qd::lv2::ParamRow> rows;
  for (int i = 0; i < plugin->ParamCount(); ++i) {
    const qd::PluginParam& p = *plugin->GetParam(i);
    qd::lv2::ParamRow row;
    row.symbol = kSymbols[i];
    row.name = p.Name();
    row.kind = p.Kind() == qd::kParamBool   ? qd::lv2::ParamRow::kToggle
               : p.Kind() == qd::kParamEnum ? qd::lv2::ParamRow::kChoice
                                            : qd::lv2::ParamRow::kNumber;
    row.defaultValue = p.DefaultValue();
    row.minimum = p.MinValue();
    row.maximum = p.MaxValue();
    row.step = p.Step();
    row.unit = p.Label();
    if (row.kind == qd::lv2::ParamRow::kChoice) {
      for (int v = 0; v <= static_cast<int>(p.MaxValue()); ++v) {
        row.choices.push_back(p.DisplayTextFor(v));
      }
    }
    rows.push_back(row);
  }
  return rows;
}

bool Write(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) std::cerr << "qd_lv2_turtle: cannot write " << path << "\n";
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: qd_lv2_turtle <bundle folder> <DSP binary> <UI binary>\n";
    return 2;
  }
  const std::string folder = argv[1];
  const std::vector<qd::lv2::ParamRow> rows = Rows();
  if (rows.size() != qd::lv2::kParamPorts) {
    std::cerr << "qd_lv2_turtle: " << rows.size() << " parameters, the port layout has "
              << qd::lv2::kParamPorts << "\n";
    return 1;
  }
  const bool ok =
      Write(folder + "/manifest.ttl", qd::lv2::ManifestTurtle({argv[2], argv[3]})) &&
      Write(folder + "/" + qd::lv2::kPluginTurtle, qd::lv2::PluginTurtle(rows, qd::kPluginVersion));
  return ok ? 0 : 1;
}
