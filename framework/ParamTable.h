// The plug-in's parameters described once, as data: one row per parameter, in index order.
// The row fixes the stable identifier, name, unit, range, step, curve shape, default and
// display texts; PluginBase::DefineParameters makes the PluginParam objects from it, and every
// format derives its identifiers from the row (the VST2 index is the row's position, the AAX
// ID is the decimal text of position + 1, LV2 symbols and VST3 titles use the identifier).
//
// Threads: the table is constant data; every function here is pure and may be called from any
// thread, the audio thread included.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "framework/PluginParam.h"

namespace qd {

constexpr int kMaxParamTexts = 4;

struct ParamDefinition {
  const char* identifier;  // stable, lower-case ASCII with underscores; never renamed
  const char* name;        // the name hosts show
  const char* unit;        // "dB", "ms" or ""
  ParamKind kind;          // kParamDouble, kParamBool or kParamEnum
  double minValue;         // bool and enum rows: 0
  double maxValue;         // bool: 1; enum: number of choices - 1
  double step;             // double rows only; bool and enum rows hold tenths (see PluginParam)
  double shape;            // exponent of the normalised mapping; 1 is linear
  double defaultValue;
  // Display texts; text i names the integer value i. Bool rows show "off" and "on".
  std::array<const char*, kMaxParamTexts> texts{};
};

class ParamTable {
 public:
  constexpr ParamTable() = default;
  constexpr explicit ParamTable(std::span<const ParamDefinition> rows) : rows_(rows) {}

  int Count() const { return static_cast<int>(rows_.size()); }
  // Null for an index outside the table.
  const ParamDefinition* Row(int index) const;
  // The index of the row with this identifier, or -1 (also for null).
  int Find(const char* identifier) const;
  std::span<const ParamDefinition> Rows() const { return rows_; }

 private:
  std::span<const ParamDefinition> rows_;
};

// The AAX ID of parameter `index`: the decimal text of index + 1 ("1" .. "12"). Writes at
// most size bytes, terminated; false (and an empty text) for a negative index.
bool AaxParamId(int index, char* out, int size);
// The parameter index named by an AAX ID, or -1 for any text that names none.
int ParamIndexFromAaxId(const char* id, int count);

}  // namespace qd
