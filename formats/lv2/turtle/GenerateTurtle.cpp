// Build-time program: writes manifest.ttl and the plug-in's description into the bundle
// folder from the plug-in's parameter table, so that identifiers, names, ranges, defaults,
// units, steps and display texts are written nowhere else.
//   qd_lv2_turtle <bundle folder> <DSP binary file name> <UI binary file name>
#include <cstdio>
#include <fstream>
#include <iostream>

#include "effect/Parameters.h"
#include "formats/lv2/Lv2Ports.h"
#include "formats/lv2/turtle/TurtleWriter.h"

namespace {

std::vector<qd::lv2::ParamRow> Rows() {
  std::vector<qd::lv2::ParamRow> rows;
  for (const qd::ParamDefinition& param : qd::kParamTable.Rows()) {
    qd::lv2::ParamRow row;
    row.symbol = param.identifier;
    row.name = param.name;
    row.kind = param.kind == qd::kParamBool   ? qd::lv2::ParamRow::kToggle
               : param.kind == qd::kParamEnum ? qd::lv2::ParamRow::kChoice
                                              : qd::lv2::ParamRow::kNumber;
    row.defaultValue = param.defaultValue;
    row.minimum = param.minValue;
    row.maximum = param.maxValue;
    row.step = param.step;
    row.unit = param.unit;
    if (row.kind == qd::lv2::ParamRow::kChoice) {
      for (const char* text : param.texts) {
        if (text) row.choices.push_back(text);
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
