#include "formats/lv2/turtle/TurtleWriter.h"

#include <charconv>
#include <cmath>
#include <sstream>

#include "formats/lv2/Lv2Ports.h"

namespace qd::lv2 {

namespace {

constexpr const char* kPrefixes =
    "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
    "@prefix bufsz: <http://lv2plug.in/ns/ext/buf-size#> .\n"
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix opts: <http://lv2plug.in/ns/ext/options#> .\n"
    "@prefix pg: <http://lv2plug.in/ns/ext/port-groups#> .\n"
    "@prefix pprops: <http://lv2plug.in/ns/ext/port-props#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
    "@prefix time: <http://lv2plug.in/ns/ext/time#> .\n"
    "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n"
    "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
    "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n"
    "@prefix work: <http://lv2plug.in/ns/ext/worker#> .\n\n";

// A Turtle decimal or double literal: the shortest text that reads back as the same double,
// with a decimal point so that it is never read as an integer.
std::string Number(double v) {
  if (v == 0.0) v = 0.0;  // no "-0.0" for a host to puzzle over
  char text[64];
  const auto result = std::to_chars(text, text + sizeof(text), v);
  std::string s(text, result.ptr);
  if (s.find_first_of(".e") == std::string::npos) s += ".0";
  if (s.find('e') != std::string::npos && s.find('.') == std::string::npos) {
    s.insert(s.find('e'), ".0");
  }
  return s;
}

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string Uri(const char* uri) {
  return std::string("<") + uri + ">";
}

// The units extension has dB and ms; loudness units are described in place.
std::string UnitFor(const std::string& unit) {
  if (unit == "dB" || unit == "db") return "units:db";
  if (unit == "ms") return "units:ms";
  if (unit == "lufs") {
    return "[ a units:Unit ; rdfs:label \"loudness units full scale\" ; "
           "units:symbol \"LUFS\" ; units:render \"%f LUFS\" ]";
  }
  if (unit == "lu") {
    return "[ a units:Unit ; rdfs:label \"loudness units\" ; units:symbol \"LU\" ; "
           "units:render \"%f LU\" ]";
  }
  return "";
}

void ParamPort(std::ostringstream& out, uint32_t index, const ParamRow& p) {
  out << "  [\n"
      << "    a lv2:InputPort, lv2:ControlPort ;\n"
      << "    lv2:index " << index << " ;\n"
      << "    lv2:symbol " << Quoted(p.symbol) << " ;\n"
      << "    lv2:name " << Quoted(p.name) << " ;\n"
      << "    lv2:default " << Number(p.defaultValue) << " ;\n"
      << "    lv2:minimum " << Number(p.minimum) << " ;\n"
      << "    lv2:maximum " << Number(p.maximum) << " ;\n";
  switch (p.kind) {
    case ParamRow::kToggle:
      out << "    lv2:portProperty lv2:toggled, lv2:integer ;\n";
      break;
    case ParamRow::kChoice:
      out << "    lv2:portProperty lv2:integer, lv2:enumeration ;\n";
      for (size_t i = 0; i < p.choices.size(); ++i) {
        out << "    lv2:scalePoint [ rdfs:label " << Quoted(p.choices[i]) << " ; rdf:value "
            << Number(static_cast<double>(i)) << " ] ;\n";
      }
      break;
    case ParamRow::kNumber:
      if (p.step > 0.0) {
        const long steps = std::lround((p.maximum - p.minimum) / p.step) + 1;
        out << "    pprops:rangeSteps " << steps << " ;\n";
      }
      break;
  }
  if (const std::string unit = UnitFor(p.unit); !unit.empty()) {
    out << "    units:unit " << unit << " ;\n";
  }
  out << "  ]";
}

void AudioPortText(std::ostringstream& out, uint32_t index, const AudioPort& p) {
  out << "  [\n"
      << "    a lv2:" << (p.input ? "InputPort" : "OutputPort") << ", lv2:AudioPort ;\n"
      << "    lv2:index " << index << " ;\n"
      << "    lv2:symbol " << Quoted(p.symbol) << " ;\n"
      << "    lv2:name " << Quoted(p.name) << " ;\n"
      << "    pg:group " << Uri(p.input ? kInputGroupUri : kOutputGroupUri) << " ;\n"
      << "    lv2:designation pg:" << (p.left ? "left" : "right") << " ;\n"
      << "  ]";
}

void TimePort(std::ostringstream& out) {
  out << "  [\n"
      << "    a lv2:InputPort, atom:AtomPort ;\n"
      << "    lv2:index " << kTimePort << " ;\n"
      << "    lv2:symbol \"time\" ;\n"
      << "    lv2:name \"Time Position\" ;\n"
      << "    atom:bufferType atom:Sequence ;\n"
      << "    atom:supports time:Position ;\n"
      << "    lv2:designation lv2:control ;\n"
      << "  ]";
}

void MeterPortText(std::ostringstream& out, uint32_t index, const MeterPort& m) {
  out << "  [\n"
      << "    a lv2:OutputPort, lv2:ControlPort ;\n"
      << "    lv2:index " << index << " ;\n"
      << "    lv2:symbol " << Quoted(m.symbol) << " ;\n"
      << "    lv2:name " << Quoted(m.name) << " ;\n"
      << "    lv2:default " << Number(m.minimum) << " ;\n"
      << "    lv2:minimum " << Number(m.minimum) << " ;\n"
      << "    lv2:maximum " << Number(m.maximum) << " ;\n"
      << "    units:unit " << UnitFor(m.unit) << " ;\n"
      << "  ]";
}

void LatencyPort(std::ostringstream& out) {
  out << "  [\n"
      << "    a lv2:OutputPort, lv2:ControlPort ;\n"
      << "    lv2:index " << kLatencyPort << " ;\n"
      << "    lv2:symbol \"latency\" ;\n"
      << "    lv2:name \"Latency\" ;\n"
      << "    lv2:designation lv2:latency ;\n"
      << "    lv2:portProperty lv2:reportsLatency, lv2:integer ;\n"
      << "    lv2:default 0 ;\n"
      << "    lv2:minimum 0 ;\n"
      << "    lv2:maximum 8192 ;\n"
      << "    units:unit units:frame ;\n"
      << "  ]";
}

void Ui(std::ostringstream& out, const std::vector<ParamRow>& params) {
  out << Uri(kUiUri) << "\n"
      << "  a ui:X11UI ;\n"
      << "  lv2:requiredFeature ui:parent ;\n"
      << "  lv2:optionalFeature ui:idleInterface, ui:resize, ui:touch, ui:noUserResize ;\n"
      << "  lv2:extensionData ui:idleInterface ;\n";
  // The editor draws parameters and meters from port notifications alone.
  std::vector<std::string> symbols;
  for (const ParamRow& p : params) symbols.push_back(p.symbol);
  for (const MeterPort& m : kMeterPorts) symbols.push_back(m.symbol);
  for (size_t i = 0; i < symbols.size(); ++i) {
    out << (i == 0 ? "  ui:portNotification\n" : ",\n") << "    [ ui:plugin " << Uri(kPluginUri)
        << " ; lv2:symbol " << Quoted(symbols[i]) << " ; ui:notifyType ui:floatProtocol ]";
  }
  out << " .\n";
}

}  // namespace

std::string ManifestTurtle(const BundleFiles& files) {
  std::ostringstream out;
  out << "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
      << "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
      << "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n\n"
      << Uri(kPluginUri) << "\n"
      << "  a lv2:Plugin ;\n"
      << "  lv2:binary <" << files.dspBinary << "> ;\n"
      << "  rdfs:seeAlso <" << kPluginTurtle << "> .\n\n"
      << Uri(kUiUri) << "\n"
      << "  a ui:X11UI ;\n"
      << "  ui:binary <" << files.uiBinary << "> ;\n"
      << "  rdfs:seeAlso <" << kPluginTurtle << "> .\n";
  return out.str();
}

std::string PluginTurtle(const std::vector<ParamRow>& params, int version) {
  std::ostringstream out;
  out << kPrefixes << "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n\n";
  out << Uri(kInputGroupUri) << "\n  a pg:InputGroup, pg:StereoGroup ;\n"
      << "  lv2:symbol \"main_input\" ;\n  rdfs:label \"Main Input\" .\n\n"
      << Uri(kOutputGroupUri) << "\n  a pg:OutputGroup, pg:StereoGroup ;\n"
      << "  lv2:symbol \"main_output\" ;\n  rdfs:label \"Output\" .\n\n";

  // Version 0xMMmmpp: LV2 carries the minor and micro numbers.
  out << Uri(kPluginUri) << "\n"
      << "  a lv2:Plugin, lv2:LimiterPlugin, doap:Project ;\n"
      << "  doap:name \"" << kEffectName << "\" ;\n"
      << "  doap:maintainer [ foaf:name \"" << kMakerName << "\" ] ;\n"
      << "  lv2:minorVersion " << ((version >> 8) & 0xFF) << " ;\n"
      << "  lv2:microVersion " << (version & 0xFF) << " ;\n"
      << "  lv2:requiredFeature urid:map ;\n"
      << "  lv2:optionalFeature lv2:hardRTCapable, opts:options, bufsz:boundedBlockLength,\n"
      << "    work:schedule ;\n"
      << "  lv2:extensionData work:interface, state:interface ;\n"
      << "  opts:supportedOption bufsz:maxBlockLength, bufsz:nominalBlockLength ;\n"
      << "  pg:mainInput " << Uri(kInputGroupUri) << " ;\n"
      << "  pg:mainOutput " << Uri(kOutputGroupUri) << " ;\n"
      << "  ui:ui " << Uri(kUiUri) << " ;\n"
      << "  lv2:port\n";
  for (size_t i = 0; i < params.size(); ++i) {
    ParamPort(out, static_cast<uint32_t>(i), params[i]);
    out << ",\n";
  }
  for (uint32_t i = 0; i < 4; ++i) {
    AudioPortText(out, kInputLeftPort + i, kAudioPorts[i]);
    out << ",\n";
  }
  TimePort(out);
  out << ",\n";
  for (uint32_t i = 0; i < kMeterCount; ++i) {
    MeterPortText(out, kFirstMeterPort + i, kMeterPorts[i]);
    out << ",\n";
  }
  LatencyPort(out);
  out << " .\n\n";
  Ui(out, params);
  return out.str();
}

}  // namespace qd::lv2
