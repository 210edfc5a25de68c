#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "framework/ChunkBuffer.h"
#include "framework/PluginBase.h"
#include "tests/framework/TestPlugin.h"

namespace qd {
namespace {

using testing::TestIdentity;
using testing::TestPlugin;

ChunkBuffer StateOf(int32_t count, std::vector<double> values) {
  ChunkBuffer c;
  c.AppendInt32(count);
  for (double v : values) c.AppendDouble(v);
  return c;
}

TEST(ChunkBuffer, LittleEndianLayoutAndBoundedReads) {
  ChunkBuffer c;
  c.AppendInt32(0x70666674);
  c.AppendDouble(1.0);
  c.AppendBool(true);
  c.AppendString("ab");
  const uint8_t expected[] = {0x74, 0x66, 0x66, 0x70, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F,
                              1,    2,    0,    0,    0, 'a', 'b'};
  ASSERT_EQ(c.Size(), static_cast<int>(sizeof(expected)));
  EXPECT_EQ(std::memcmp(c.Data(), expected, sizeof(expected)), 0);

  int32_t i = 0;
  double d = 0;
  bool b = false;
  std::string s;
  EXPECT_EQ(c.ReadInt32(&i, 0), 4);
  EXPECT_EQ(c.ReadDouble(&d, 4), 12);
  EXPECT_EQ(c.ReadBool(&b, 12), 13);
  EXPECT_EQ(c.ReadString(&s, 13), 19);
  EXPECT_EQ(s, "ab");
  EXPECT_TRUE(b);
  EXPECT_EQ(d, 1.0);
  EXPECT_EQ(c.ReadDouble(&d, 12), -1);  // runs past the end
  EXPECT_EQ(c.ReadInt32(&i, -1), -1);
  EXPECT_EQ(c.ReadBytes(&i, -4, 0), -1);
  EXPECT_EQ(c.ReadBytes(&i, 4, 2147483647), -1);

  for (int32_t len : {-1, -2147483647 - 1, 2147483647, 100}) {
    ChunkBuffer bad;
    bad.AppendInt32(len);
    bad.AppendBytes("xyz", 3);
    std::string out = "kept";
    EXPECT_EQ(bad.ReadString(&out, 0), -1) << len;
    EXPECT_EQ(out, "kept");
  }
}

TEST(StateChunks, ParameterStateLoadCases) {
  struct Case {
    const char* what;
    ChunkBuffer chunk;
    int expectedPos;
    std::vector<double> expected;  // the three values after loading
  };
  const std::vector<double> before = {1, 2, 3};
  Case cases[] = {
      {"whole state", StateOf(3, {4, 5, 6}), 28, {4, 5, 6}},
      {"extra value left unread", StateOf(4, {4, 5, 6, 7}), 28, {4, 5, 6}},
      {"truncated double stores clamped 0", StateOf(3, {4}), -1, {4, 0, 3}},
      {"clamped to range", StateOf(3, {100, -100, 0.05}), 28, {10, -10, 0.05}},
      {"negative count reads nothing", StateOf(-5, {4, 5, 6}), 4, {1, 2, 3}},
      {"huge count stops at the end", StateOf(2147483647, {4, 5, 6}), 28, {4, 5, 6}},
      {"NaN is not stored", StateOf(3, {NAN, 5, INFINITY}), 28, {1, 5, 10}},
      {"empty chunk", ChunkBuffer{}, -1, {1, 2, 3}},
  };
  for (Case& c : cases) {
    TestPlugin p;
    for (int i = 0; i < 3; ++i) p.GetParam(i)->SetClamped(before[i]);
    EXPECT_EQ(p.UnserializeParams(c.chunk, 0), c.expectedPos) << c.what;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(p.GetParam(i)->Value(), c.expected[i]) << c.what;
    ASSERT_EQ(p.changes.size(), 3u) << c.what;
    for (const auto& ch : p.changes) EXPECT_EQ(ch.source, kSourceState) << c.what;
  }
}

TEST(StateChunks, HeaderDetection) {
  TestPlugin p;
  ChunkBuffer c;
  p.WriteStateHeader(c);
  EXPECT_EQ(c.Size(), 8);
  int pos = 0;
  EXPECT_EQ(p.ReadStateHeader(c, &pos), kStateVersion);
  EXPECT_EQ(pos, 8);
  ChunkBuffer headerless = StateOf(3, {1, 2, 3});
  pos = 0;
  EXPECT_EQ(p.ReadStateHeader(headerless, &pos), 0);
  EXPECT_EQ(pos, 0);
  ChunkBuffer magicOnly;
  magicOnly.AppendInt32(kStateMagic);
  pos = 0;
  EXPECT_EQ(p.ReadStateHeader(magicOnly, &pos), 0);
  EXPECT_EQ(pos, -1);
}

TEST(Presets, SelectNamesAndBankRoundTrip) {
  TestPlugin p(TestIdentity(3, 3));
  p.InitPresetsFromState("-", 1);
  EXPECT_STREQ(p.PresetName(0), "-");
  EXPECT_STREQ(p.PresetName(1), "empty");
  std::snprintf(const_cast<char*>(p.PresetName(2)), 32, "my user preset");
  p.GetParam(0)->SetClamped(7);
  EXPECT_TRUE(p.SelectPreset(1));
  EXPECT_STREQ(p.PresetName(1), "user preset 2");
  EXPECT_EQ(p.CurrentPreset(), 1);
  EXPECT_FALSE(p.SelectPreset(3));
  EXPECT_TRUE(p.SelectPreset(0));
  EXPECT_EQ(p.GetParam(0)->Value(), 0.0);

  ChunkBuffer bank;
  p.WriteStateHeader(bank);
  ASSERT_TRUE(p.SerializePresets(bank));
  TestPlugin q(TestIdentity(3, 3));
  int pos = 0;
  ASSERT_EQ(q.ReadStateHeader(bank, &pos), kStateVersion);
  EXPECT_EQ(q.UnserializePresets(bank, pos), bank.Size());
  for (int i = 0; i < 3; ++i) EXPECT_STREQ(q.PresetName(i), p.PresetName(i));
  EXPECT_TRUE(q.SelectPreset(1));
  EXPECT_EQ(q.GetParam(0)->Value(), 7.0);
}

TEST(Presets, HostileBanksNeverOverrun) {
  // A 300-character name is cut to the 255 the field holds; a negative or huge name
  // length stops reading and keeps the preset's name.
  TestPlugin p(TestIdentity(3, 2));
  p.InitPresetsFromState("-", 2);
  ChunkBuffer bank;
  const std::string longName(300, 'a');
  bank.AppendString(longName.c_str());
  bank.AppendBool(true);
  bank.AppendInt32(3);
  for (double v : {1.0, 2.0, 3.0}) bank.AppendDouble(v);
  bank.AppendInt32(-20);
  EXPECT_EQ(p.UnserializePresets(bank, 0), -1);
  EXPECT_EQ(std::string(p.PresetName(0)), longName.substr(0, 255));
  EXPECT_STREQ(p.PresetName(1), "-");
  EXPECT_EQ(p.GetParam(2)->Value(), 3.0);

  for (int len = 0; len < 64; ++len) {  // every prefix of a valid bank
    ChunkBuffer valid;
    p.SerializePresets(valid);
    ChunkBuffer cut;
    cut.AppendBytes(valid.Data(), std::min(len, valid.Size()));
    TestPlugin q(TestIdentity(3, 2));
    q.UnserializePresets(cut, 0);
  }
}

}  // namespace
}  // namespace qd
