#include "framework/ParamTable.h"

#include <cstdio>
#include <cstring>

namespace qd {

const ParamDefinition* ParamTable::Row(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return &rows_[static_cast<size_t>(index)];
}

int ParamTable::Find(const char* identifier) const {
  if (!identifier) return -1;
  for (int i = 0; i < Count(); ++i) {
    if (std::strcmp(rows_[static_cast<size_t>(i)].identifier, identifier) == 0) return i;
  }
  return -1;
}

bool AaxParamId(int index, char* out, int size) {
  if (!out || size <= 0) return false;
  out[0] = '\0';
  if (index < 0) return false;
  std::snprintf(out, static_cast<size_t>(size), "%d", index + 1);
  return true;
}

int ParamIndexFromAaxId(const char* id, int count) {
  // Only the plain decimal texts "1" .. "count" name a parameter: no sign, no leading zero,
  // no trailing characters.
  if (!id || id[0] < '1' || id[0] > '9') return -1;
  long value = 0;
  for (const char* p = id; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9' || p - id >= 9) return -1;
    value = value * 10 + (*p - '0');
  }
  return value <= count ? static_cast<int>(value - 1) : -1;
}

}  // namespace qd
