// The loudness report of the host's commands: the figures of an input and an output side by
// side, the gain common delivery targets would apply to the output, and the same figures as
// JSON for scripts. Pure formatting over Measurement; no I/O beyond the stream it is given.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "tools/host/Meter.h"

namespace qd::host {

// A delivery target: integrated loudness and the true-peak limit after normalisation.
struct DeliveryTarget {
  const char* name;
  double lufs;
  double truePeakDb;
};

// -14 LUFS / -1 dBTP, -16 / -1, -23 / -1 (broadcast), -24 / -2.
const std::vector<DeliveryTarget>& CommonTargets();

// What a service normalising to `target` does to a programme measured as `m`: the gain it
// applies and the true peak after it, and whether that exceeds the target's limit.
struct Normalisation {
  double gainDb;
  double truePeakAfterDb;
  bool over;
};
Normalisation NormaliseTo(const Measurement& m, const DeliveryTarget& target);

// The table of input and output figures, then the normalisation preview of the output.
void PrintReport(std::ostream& out, const Measurement& in, const Measurement& result);
// One row per file: the figures of `measure`.
void PrintMeasureHeader(std::ostream& out);
void PrintMeasureRow(std::ostream& out, const std::string& name, const Measurement& m);

// A small JSON writer: objects and arrays, numbers (non-finite ones as null) and strings.
class Json {
 public:
  explicit Json(std::ostream& out) : out_(out) {}
  Json& Begin(const char* key = nullptr);  // an object
  Json& BeginArray(const char* key = nullptr);
  Json& End();
  Json& EndArray();
  Json& Number(const char* key, double v);
  Json& Integer(const char* key, long long v);
  Json& String(const char* key, const std::string& v);
  Json& Bool(const char* key, bool v);
  // The figures of one measurement with its normalisation preview, as an object.
  Json& Figures(const char* key, const Measurement& m);

 private:
  void Key(const char* key);
  std::ostream& out_;
  std::vector<bool> first_{true};
};

std::string JsonEscape(const std::string& text);

}  // namespace qd::host
