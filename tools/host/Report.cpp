#include "tools/host/Report.h"

#include <cmath>
#include <cstdio>

namespace qd::host {

const std::vector<DeliveryTarget>& CommonTargets() {
  static const std::vector<DeliveryTarget> targets = {
      {"-14 LUFS, -1 dBTP (streaming)", -14.0, -1.0},
      {"-16 LUFS, -1 dBTP (streaming)", -16.0, -1.0},
      {"-23 LUFS, -1 dBTP (broadcast)", -23.0, -1.0},
      {"-24 LUFS, -2 dBTP (broadcast)", -24.0, -2.0},
  };
  return targets;
}

Normalisation NormaliseTo(const Measurement& m, const DeliveryTarget& target) {
  Normalisation n{};
  if (!std::isfinite(m.integratedLufs)) return {0.0, m.truePeakDb, false};
  n.gainDb = target.lufs - m.integratedLufs;
  n.truePeakAfterDb = m.truePeakDb + n.gainDb;
  // Compared at the precision the report prints.
  n.over = std::round(n.truePeakAfterDb * 100.0) > std::round(target.truePeakDb * 100.0);
  return n;
}

void PrintReport(std::ostream& out, const Measurement& in, const Measurement& result) {
  char line[256];
  auto row = [&](const char* name, double a, double b, const char* unit, bool change) {
    const std::string diff = change ? FormatDb(b - a) : "";
    std::snprintf(line, sizeof(line), "  %-22s %9s %9s %9s  %s\n", name, FormatDb(a).c_str(),
                  FormatDb(b).c_str(), diff.c_str(), unit);
    out << line;
  };
  std::snprintf(line, sizeof(line), "  %-22s %9s %9s %9s\n", "", "input", "output", "change");
  out << line;
  row("Integrated loudness", in.integratedLufs, result.integratedLufs, "LUFS", true);
  row("Loudness range", in.rangeLu, result.rangeLu, "LU", false);
  row("Max momentary", in.maxMomentaryLufs, result.maxMomentaryLufs, "LUFS", true);
  row("Max short-term", in.maxShortTermLufs, result.maxShortTermLufs, "LUFS", true);
  row("True peak", in.truePeakDb, result.truePeakDb, "dBTP", true);
  row("Sample peak", in.samplePeakDb, result.samplePeakDb, "dBFS", true);
  row("Peak-to-loudness ratio", in.PlrDb(), result.PlrDb(), "dB", true);
  row("RMS", in.rmsDb, result.rmsDb, "dBFS", true);
  out << "  The changes are measured by this host (libebur128 and sample statistics) from the\n"
         "  audio going in and coming out; a VST2 plug-in reports no gain reduction to its host.\n";
  if (!std::isfinite(result.integratedLufs)) return;
  out << "  Normalised for delivery, the output would get:\n";
  for (const DeliveryTarget& t : CommonTargets()) {
    const Normalisation n = NormaliseTo(result, t);
    std::snprintf(line, sizeof(line), "    %-32s gain %7s dB, true peak %7s dBTP%s\n", t.name,
                  FormatDb(n.gainDb).c_str(), FormatDb(n.truePeakAfterDb).c_str(),
                  n.over ? "  OVER the limit" : "");
    out << line;
  }
}

void PrintMeasureHeader(std::ostream& out) {
  char line[512];
  std::snprintf(line, sizeof(line), "  %-32s %8s %6s %8s %8s %8s %9s %6s %9s\n", "file", "LUFS",
                "LU", "max M", "max S", "dBTP", "peak dBFS", "PLR", "RMS dBFS");
  out << line;
}

void PrintMeasureRow(std::ostream& out, const std::string& name, const Measurement& m) {
  char line[1024];
  std::snprintf(line, sizeof(line), "  %-32s %8s %6s %8s %8s %8s %9s %6s %9s\n", name.c_str(),
                FormatDb(m.integratedLufs).c_str(), FormatDb(m.rangeLu).c_str(),
                FormatDb(m.maxMomentaryLufs).c_str(), FormatDb(m.maxShortTermLufs).c_str(),
                FormatDb(m.truePeakDb).c_str(), FormatDb(m.samplePeakDb).c_str(),
                FormatDb(m.PlrDb()).c_str(), FormatDb(m.rmsDb).c_str());
  out << line;
}

std::string JsonEscape(const std::string& text) {
  std::string s;
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      s += '\\';
      s += static_cast<char>(c);
    } else if (c < 0x20) {
      char u[8];
      std::snprintf(u, sizeof(u), "\\u%04x", c);
      s += u;
    } else {
      s += static_cast<char>(c);
    }
  }
  return s;
}

void Json::Key(const char* key) {
  if (!first_.back()) out_ << ",";
  first_.back() = false;
  out_ << "\n" << std::string(2 * (first_.size() - 1), ' ');
  if (key) out_ << "\"" << JsonEscape(key) << "\": ";
}

Json& Json::Begin(const char* key) {
  if (first_.size() > 1 || !first_.back()) Key(key);
  out_ << "{";
  first_.push_back(true);
  return *this;
}

Json& Json::BeginArray(const char* key) {
  Key(key);
  out_ << "[";
  first_.push_back(true);
  return *this;
}

Json& Json::End() {
  first_.pop_back();
  out_ << "\n" << std::string(2 * (first_.size() - 1), ' ') << "}";
  if (first_.size() == 1) out_ << "\n";
  return *this;
}

Json& Json::EndArray() {
  first_.pop_back();
  out_ << "\n" << std::string(2 * (first_.size() - 1), ' ') << "]";
  return *this;
}

Json& Json::Number(const char* key, double v) {
  Key(key);
  if (!std::isfinite(v)) {
    out_ << "null";
  } else {
    char text[64];
    std::snprintf(text, sizeof(text), "%.4f", v);
    out_ << text;
  }
  return *this;
}

Json& Json::Integer(const char* key, long long v) {
  Key(key);
  out_ << v;
  return *this;
}

Json& Json::String(const char* key, const std::string& v) {
  Key(key);
  out_ << "\"" << JsonEscape(v) << "\"";
  return *this;
}

Json& Json::Bool(const char* key, bool v) {
  Key(key);
  out_ << (v ? "true" : "false");
  return *this;
}

Json& Json::Figures(const char* key, const Measurement& m) {
  Begin(key);
  Number("integrated_lufs", m.integratedLufs);
  Number("loudness_range_lu", m.rangeLu);
  Number("max_momentary_lufs", m.maxMomentaryLufs);
  Number("max_short_term_lufs", m.maxShortTermLufs);
  Number("true_peak_dbtp", m.truePeakDb);
  Number("sample_peak_dbfs", m.samplePeakDb);
  Number("plr_db", m.PlrDb());
  Number("rms_dbfs", m.rmsDb);
  Number("seconds", m.sampleRate > 0 ? static_cast<double>(m.frames) / m.sampleRate : 0.0);
  if (std::isfinite(m.integratedLufs)) {
    BeginArray("normalisation");
    for (const DeliveryTarget& t : CommonTargets()) {
      const Normalisation n = NormaliseTo(m, t);
      Begin();
      Number("target_lufs", t.lufs);
      Number("true_peak_limit_dbtp", t.truePeakDb);
      Number("gain_db", n.gainDb);
      Number("true_peak_after_dbtp", n.truePeakAfterDb);
      Bool("over", n.over);
      End();
    }
    EndArray();
  }
  return End();
}

}  // namespace qd::host
