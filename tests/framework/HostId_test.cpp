#include "framework/HostId.h"

#include <gtest/gtest.h>

#include <string>

#include "framework/PluginBase.h"

namespace qd {
namespace {

TEST(HostId, NamesMapInTableOrder) {
  struct Case {
    const char* name;
    HostId id;
  } cases[] = {
      {"REAPER", 1},           {"Cubase Pro", 3},       {"Nuendo", 4},
      {"Ableton Live 10", 9},  {"Pro Tools", 0},        {"ProTools", 2},
      {"Adobe Audition", 17},  {"Samplitude Pro X", 8}, {"OpenMPT", 30},
      {"", 0},                 {"Cubase Nuendo", 3},    {"Deliverance Logic", 9},
      {"Ardour", 28},          {"WaveLab", 31},         {"vst3PluginTestHost", 27},
      {"Carla", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(LookupHostId(c.name), c.id) << c.name;
  EXPECT_EQ(LookupHostId(nullptr), 0);
  // A name longer than the 255-character buffer is cut, never overrun.
  EXPECT_EQ(LookupHostId((std::string(300, 'x') + "reaper").c_str()), 0);
  EXPECT_EQ(LookupHostId((std::string(200, 'x') + "reaper").c_str()), 1);
}

TEST(HostId, SetHostStoresIdAndVersion) {
  PluginIdentity id;
  id.channelConfig = "2-2";
  PluginBase base(id);
  EXPECT_EQ(base.GetHostId(), kHostUnidentified);
  base.SetHost("REAPER", 0x060A03);
  EXPECT_EQ(base.GetHostId(), 1);
  EXPECT_EQ(base.HostVersion(), 0x060A03);
}

}  // namespace
}  // namespace qd
