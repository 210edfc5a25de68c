#include "framework/HostId.h"

#include <cstring>

namespace qd {

namespace {

struct HostName {
  const char* name;
  HostId id;
};

// Tried in order; the first name that occurs in the host's name wins.
constexpr HostName kHosts[] = {
    {"cubase", 3},      {"reaper", 1},      {"nuendo", 4},
    {"cakewalk", 5},    {"samplitude", 8},  {"fruity", 7},
    {"live", 9},        {"melodyne", 12},   {"vstmanlib", 13},
    {"aulab", 14},      {"garageband", 22}, {"forte", 15},
    {"chainer", 16},    {"audition", 17},   {"orion", 18},
    {"sawstudio", 20},  {"logic", 21},      {"digital", 23},
    {"audiomulch", 25}, {"presonus", 26},   {"vst3plugintesthost", 27},
    {"protools", 2},    {"ardour", 28},     {"openmpt", 30},
    {"renoise", 29},    {"standalone", 24}, {"wavelab", 31},
};

}  // namespace

HostId LookupHostId(const char* name) {
  if (!name) return kHostUnknown;
  char lower[256];
  size_t n = 0;
  for (; n < sizeof(lower) - 1 && name[n] != '\0'; ++n) {
    const char c = name[n];
    lower[n] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  lower[n] = '\0';
  for (const HostName& host : kHosts) {
    if (std::strstr(lower, host.name)) return host.id;
  }
  return kHostUnknown;
}

}  // namespace qd
