#include "effect/QuarloDorvantix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace qd {
namespace {

TEST(QuarloDorvantix, IdentityAndChannels) {
  QuarloDorvantix p(PortLabels::kPerChannel);
  EXPECT_STREQ(p.EffectName(), "QuarloDorvantix");
  EXPECT_STREQ(p.MakerName(), "Quarlo");
  EXPECT_STREQ(p.ProductName(), "");
  EXPECT_EQ(p.UniqueId(), 0x44565832);
  EXPECT_EQ(p.MakerId(), 0x51754C6F);
  EXPECT_EQ(p.EffectVersion(true), 20006);
  EXPECT_EQ(p.ParamCount(), 12);
  EXPECT_EQ(p.PresetCount(), 1);
  EXPECT_STREQ(p.PresetName(0), "-");
  EXPECT_TRUE(p.DoesMidi());
  EXPECT_FALSE(p.DoesChunks());
  EXPECT_STREQ(p.InputLabel(0), "main input L");
  EXPECT_STREQ(p.InputLabel(1), "main input R");
  EXPECT_STREQ(p.OutputLabel(0), "output L");
  EXPECT_STREQ(p.OutputLabel(1), "output R");
  QuarloDorvantix aax(PortLabels::kPerBus);
  ASSERT_EQ(aax.InputBusLabels().size(), 1u);
  EXPECT_EQ(aax.InputBusLabels()[0], "main input");
  EXPECT_EQ(aax.OutputBusLabels()[0], "output");
  EXPECT_STREQ(aax.InputLabel(0), "");
}

TEST(QuarloDorvantix, ParameterTable) {
  struct Row {
    const char* name;
    ParamKind kind;
    double def, min, max, step, shape;
    const char* label;
    const char* texts[3];
  } rows[] = {
      {"Clipper Level", kParamDouble, 0, -6, 24, 0.1, 1.0, "dB", {}},
      {"Soft Clipper", kParamBool, 0, 0, 1, 0.1, 1.0, "", {"off", "on"}},
      {"Clipper Oversample", kParamEnum, 0, 0, 2, 0.1, 1.0, "", {"off", "2x", "4x"}},
      {"Limiter Level", kParamDouble, 0, -6, 24, 0.1, 1.0, "dB", {}},
      {"AutoRelease", kParamBool, 1, 0, 1, 0.1, 1.0, "", {"off", "on"}},
      {"Release Time", kParamDouble, 100, 1, 500, 1, 1.0, "ms", {}},
      {"Limiter Oversample", kParamEnum, 0, 0, 2, 0.1, 1.0, "", {"off", "2x", "4x"}},
      {"Output Level", kParamDouble, -0.2, -30, 0, 0.1, 0.5, "dB", {}},
      {"Auto output level", kParamBool, 0, 0, 1, 0.1, 1.0, "", {"off", "on"}},
      {"Auto output target", kParamDouble, -12, -48, 0, 1, 1.0, "dB", {}},
      {"Auto out type", kParamEnum, 1, 0, 2, 0.1, 1.0, "", {"dBFS", "RMS", "LUFS"}},
      {"Reset Meters", kParamBool, 0, 0, 1, 0.1, 1.0, "", {"off", "on"}},
  };
  QuarloDorvantix p(PortLabels::kPerChannel);
  for (int i = 0; i < 12; ++i) {
    const Row& r = rows[i];
    const PluginParam* param = p.GetParam(i);
    SCOPED_TRACE(r.name);
    EXPECT_STREQ(param->Name(), r.name);
    EXPECT_EQ(param->Kind(), r.kind);
    EXPECT_EQ(param->Value(), r.def);
    EXPECT_EQ(param->DefaultValue(), r.def);
    EXPECT_EQ(param->MinValue(), r.min);
    EXPECT_EQ(param->MaxValue(), r.max);
    EXPECT_EQ(param->Step(), r.step);
    EXPECT_EQ(param->Shape(), r.shape);
    EXPECT_STREQ(param->Label(), r.label);
    EXPECT_STREQ(param->Group(), "");
    for (int t = 0; t < 3 && r.texts[t]; ++t) EXPECT_STREQ(param->DisplayTextFor(t), r.texts[t]);
  }
  EXPECT_TRUE(std::signbit(p.GetParam(kOutputLevel)->MaxValue()));  // the literal is -0.0
  char out[32];
  p.GetParam(kOutputLevel)->FormatForHost(p.GetParam(kOutputLevel)->Value(), false, out, true);
  EXPECT_STREQ(out, "-0.2");
  // Output Level's shape 0.5: normalised 0.25 is the middle of -30..0.
  PluginParam* output = p.GetParam(kOutputLevel);
  output->SetFromNormalized(0.25);
  EXPECT_NEAR(output->Value(), -15.0, 1e-12);
}

TEST(QuarloDorvantix, ProgramAndBankChunks) {
  QuarloDorvantix p(PortLabels::kPerChannel);
  ChunkBuffer program;
  p.WriteStateHeader(program);
  p.SaveState(program);
  ASSERT_EQ(program.Size(), 108);
  const uint8_t head[] = {0x74, 0x66, 0x66, 0x70, 0, 0, 1, 0, 12, 0, 0, 0};
  EXPECT_EQ(std::memcmp(program.Data(), head, sizeof(head)), 0);
  double releaseTime;
  std::memcpy(&releaseTime, program.Data() + 12 + 8 * kReleaseTime, 8);
  EXPECT_EQ(releaseTime, 100.0);

  ChunkBuffer bank;
  p.WriteStateHeader(bank);
  p.ModifyCurrentPreset(nullptr);
  ASSERT_TRUE(p.SerializePresets(bank));
  EXPECT_EQ(bank.Size(), 114);

  // Both round-trip into a fresh instance.
  p.GetParam(kClipperLevel)->SetClamped(6.5);
  p.GetParam(kAutoOutType)->SetClamped(2);
  program.Clear();
  p.WriteStateHeader(program);
  p.SaveState(program);
  QuarloDorvantix q(PortLabels::kPerChannel);
  int pos = 0;
  q.ReadStateHeader(program, &pos);
  EXPECT_EQ(q.LoadState(program, pos), 108);
  EXPECT_EQ(q.GetParam(kClipperLevel)->Value(), 6.5);
  EXPECT_EQ(q.GetParam(kAutoOutType)->Value(), 2.0);

  QuarloDorvantix r(PortLabels::kPerChannel);
  pos = 0;
  r.ReadStateHeader(bank, &pos);
  EXPECT_EQ(r.UnserializePresets(bank, pos), 114);
  EXPECT_STREQ(r.PresetName(0), "-");
}

TEST(QuarloDorvantix, DoubleBlockPassesThroughProcessFrame) {
  QuarloDorvantix p(PortLabels::kPerChannel);
  p.SetMaxBlockSize(16);
  p.SetInputConnections(0, 2, true);
  p.SetOutputConnections(0, 2, true);
  double l[16], r[16], ol[16], orr[16];
  for (int k = 0; k < 16; ++k) {
    l[k] = 0.01 * k;
    r[k] = -0.01 * k;
  }
  double* ins[] = {l, r};
  double* outs[] = {ol, orr};
  p.ProcessDoubleBlock(ins, outs, 16);
  for (int k = 0; k < 16; ++k) EXPECT_TRUE(std::isfinite(ol[k]) && std::isfinite(orr[k]));
}

}  // namespace
}  // namespace qd
