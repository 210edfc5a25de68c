#include "tools/host/StateFile.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "tools/host/HostError.h"
#include "tools/host/PluginHost.h"

namespace qd::host {

namespace {

constexpr const char* kMagic = "qdhost-state 1";

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

void SaveStateFile(HostedPlugin& plugin, const std::string& path) {
  std::ostringstream out;
  out << kMagic << "\n";
  out << "plugin-id " << plugin.Effect().uniqueID << "\n";
  out << "plugin-name " << plugin.EffectName() << "\n";
  for (int i = 0; i < plugin.ParamCount(); ++i) {
    char value[64];
    std::snprintf(value, sizeof(value), "%.9g", static_cast<double>(plugin.GetParam(i)));
    out << "param " << i << " " << value << "  # " << plugin.ParamName(i) << " = "
        << plugin.ParamDisplay(i);
    const std::string label = plugin.ParamLabel(i);
    if (!label.empty()) out << " " << label;
    out << "\n";
  }
  const std::vector<uint8_t> chunk = plugin.GetProgramChunk();
  if (!chunk.empty()) {
    out << "chunk ";
    char hex[3];
    for (uint8_t b : chunk) {
      std::snprintf(hex, sizeof(hex), "%02x", b);
      out << hex;
    }
    out << "\n";
  }
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) throw HostError("cannot write state file '" + path + "'");
  file << out.str();
  file.close();
  if (!file) throw HostError("writing state file '" + path + "' failed");
}

void LoadStateFile(HostedPlugin& plugin, const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw HostError("cannot read state file '" + path + "'");
  std::string line;
  if (!std::getline(file, line) || line != kMagic) {
    throw HostError("'" + path + "' is not a state file of this host");
  }
  std::vector<std::pair<int, float>> params;
  std::vector<uint8_t> chunk;
  bool idSeen = false;
  int lineNumber = 1;
  auto malformed = [&](const char* what) {
    return HostError("state file '" + path + "', line " + std::to_string(lineNumber) + ": " + what);
  };
  while (std::getline(file, line)) {
    ++lineNumber;
    std::istringstream fields(line);
    std::string key;
    fields >> key;
    if (key.empty() || key[0] == '#' || key == "plugin-name") continue;
    if (key == "plugin-id") {
      long long id = 0;
      if (!(fields >> id)) throw malformed("no plug-in id");
      if (id != plugin.Effect().uniqueID) {
        throw HostError("state file '" + path + "' was saved from another plug-in (id " +
                        std::to_string(id) + ", this one is " +
                        std::to_string(plugin.Effect().uniqueID) + ")");
      }
      idSeen = true;
    } else if (key == "param") {
      int index = -1;
      double value = 0.0;
      if (!(fields >> index >> value)) throw malformed("a parameter needs an index and a value");
      if (index < 0 || index >= plugin.ParamCount()) throw malformed("no such parameter index");
      if (!(value >= 0.0 && value <= 1.0)) throw malformed("a value outside 0..1");
      params.emplace_back(index, static_cast<float>(value));
    } else if (key == "chunk") {
      std::string hex;
      fields >> hex;
      if (hex.size() % 2 != 0) throw malformed("an odd number of hex digits");
      chunk.clear();
      for (size_t i = 0; i < hex.size(); i += 2) {
        const int hi = HexDigit(hex[i]), lo = HexDigit(hex[i + 1]);
        if (hi < 0 || lo < 0) throw malformed("a character that is no hex digit");
        chunk.push_back(static_cast<uint8_t>(hi * 16 + lo));
      }
    } else {
      throw malformed("unknown entry");
    }
  }
  if (!idSeen) throw HostError("state file '" + path + "' names no plug-in id");
  if (plugin.UsesChunks() && !chunk.empty()) {
    if (!plugin.SetProgramChunk(chunk)) {
      throw HostError("the plug-in refused the state in '" + path + "'");
    }
    return;
  }
  for (const auto& [index, value] : params) plugin.SetParam(index, value);
}

}  // namespace qd::host
