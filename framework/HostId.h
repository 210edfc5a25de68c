// Recognition of the host application from its product name. Pure; any thread.
#pragma once

#include <cstdint>

namespace qd {

using HostId = int32_t;
constexpr HostId kHostUnidentified = -1;
constexpr HostId kHostUnknown = 0;

// Lower-cases the name (only A-Z change; names longer than 255 characters are cut) and
// returns the id of the first table entry found in it as a substring, or 0.
HostId LookupHostId(const char* name);

}  // namespace qd
