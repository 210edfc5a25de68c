// `qdhost master` as a user runs it: generated programmes mastered to a streaming target,
// checked by the host's meter and by ffmpeg's; targets no drive can reach; a batch with a
// file that is not audio.
#include <cairo.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/tools/host/HostTest.h"
#include "tools/host/Generator.h"
#include "tools/host/HostError.h"
#include "tools/host/Meter.h"

namespace qd::host {
namespace {

uint64_t Next(uint64_t& s) {
  s ^= s << 13;
  s ^= s >> 7;
  s ^= s << 17;
  return s;
}
double Noise(uint64_t& s) {
  return static_cast<double>(Next(s) >> 11) * (2.0 / 9007199254740992.0) - 1.0;
}

// Quiet tone passages broken by loud noise bursts with a sharp attack: a wide dynamic range.
std::vector<double> Dynamic(int rate, double seconds) {
  const int frames = static_cast<int>(rate * seconds);
  std::vector<double> out(2 * static_cast<size_t>(frames));
  uint64_t s = 12345;
  for (int i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / rate;
    const double inBurst = std::fmod(t, 3.0) - 2.0;  // the last second of every three
    const double tone = 0.02 * std::sin(2 * M_PI * 997 * t);
    const double burst = inBurst >= 0 ? 0.5 * Noise(s) * std::exp(-inBurst / 0.4) : 0.0;
    out[2 * i] = tone + burst;
    out[2 * i + 1] = 0.8 * tone + burst;
  }
  return out;
}

// Mono: a bass line, kicks and noise, dense and steady.
std::vector<double> Dense(int rate, double seconds) {
  const int frames = static_cast<int>(rate * seconds);
  std::vector<double> out(static_cast<size_t>(frames));
  uint64_t s = 777;
  double lowpassed = 0.0;
  for (int i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / rate;
    const double beat = std::fmod(t, 0.4);
    lowpassed += 0.2 * (Noise(s) - lowpassed);
    out[i] = 0.3 * std::sin(2 * M_PI * 55 * t) +
             0.5 * std::sin(2 * M_PI * (50 + 90 * std::exp(-beat / 0.02)) * beat) *
                 std::exp(-beat / 0.1) +
             0.25 * lowpassed;
  }
  return out;
}

Measurement MeasureFile(const std::string& path) {
  SF_INFO info{};
  const auto frames = HostFiles::ReadAll(path, &info);
  return MeasureFrames(frames, info.channels, info.samplerate);
}

using MasterCommand = HostFiles;

TEST_F(MasterCommand, ThreeProgrammesLandOnTheTargetUnderTheTruePeakLimit) {
  struct Programme {
    std::string input;
    int format, channels, rate;
  };
  const std::vector<Programme> programmes = {
      {Written("music.wav", GenerateMusic(44100, 12, -3.0), 2, 44100),
       SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 44100},
      {Written("dynamic.flac", Dynamic(48000, 12), 2, 48000, SF_FORMAT_FLAC | SF_FORMAT_PCM_24),
       SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 2, 48000},
      {Written("dense.wav", Dense(44100, 12), 1, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16),
       SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 44100},
  };
  std::vector<std::string> args = {"master"};
  for (const Programme& p : programmes) args.push_back(p.input);
  for (const std::string& a :
       {std::string("--target"), std::string("-14"), std::string("-o"), File("out"),
        std::string("--plugin"), kPlugin, std::string("--jobs"), std::string("2")}) {
    args.push_back(a);
  }
  const Result r = Qdhost(args);
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  for (const char* text : {"pass  1", "Settings found", "Target met", "Summary", "Normalised"}) {
    EXPECT_NE(r.out.find(text), std::string::npos) << text << "\n" << r.out;
  }
  for (const Programme& p : programmes) {
    const std::string out = File("out/" + fs::path(p.input).filename().string());
    SF_INFO info{};
    HostFiles::ReadAll(out, &info);
    EXPECT_EQ(info.format, p.format) << out;
    EXPECT_EQ(info.channels, p.channels) << out;
    EXPECT_EQ(info.samplerate, p.rate) << out;
    const Measurement m = MeasureFile(out);
    EXPECT_NEAR(m.integratedLufs, -14.0, 0.1) << out << "\n" << r.out;
    EXPECT_LE(m.truePeakDb, -1.0) << out << "\n" << r.out;
    EXPECT_NEAR(Ffmpeg(out, out + ".log").lufs, -14.0, 0.1) << out;
    EXPECT_TRUE(fs::exists(fs::path(out).replace_extension(".state"))) << out;
  }
}

TEST_F(MasterCommand, AnUnreachableTargetIsSaidWithItsOwnStatusAndTheClosestResultWritten) {
  const std::string in = Written("music.wav", GenerateMusic(44100, 6, -3.0), 2, 44100);
  struct Case {
    const char* target;
    const char* truePeak;
    const char* why;
  };
  for (const Case& c :
       {Case{"-3", "-1", "peak-to-loudness ratio"}, Case{"-14", "-24", "peak-to-loudness ratio"},
        Case{"-60", "-1", "more than \"Output Level\" reaches"}}) {
    const std::string out = File("out/music.wav");
    fs::remove(out);
    const Result r = Qdhost({"master", in, "--target", c.target, "--true-peak", c.truePeak, "-o",
                             File("out"), "--plugin", kPlugin});
    EXPECT_EQ(r.status, kExitTargetMissed) << c.target << "\n" << r.out << r.err;
    EXPECT_NE(r.out.find("TARGET NOT REACHED"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(c.why), std::string::npos) << c.why << "\n" << r.out;
    EXPECT_EQ(r.out.find("Target met"), std::string::npos) << r.out;
    // The closest result holds the true-peak limit and says how far it is from the target.
    ASSERT_TRUE(fs::exists(out)) << c.target;
    const Measurement m = MeasureFile(out);
    EXPECT_LE(m.truePeakDb, std::stod(c.truePeak)) << c.target;
    EXPECT_GT(std::fabs(m.integratedLufs - std::stod(c.target)), 0.1) << c.target;
  }
}

TEST_F(MasterCommand, ABatchWithABadFileDoesTheOthersAndNamesTheFailure) {
  const std::string first = Written("first.wav", GenerateMusic(44100, 6, -3.0), 2, 44100);
  const std::string bad = File("bad.wav");
  std::FILE* f = std::fopen(bad.c_str(), "w");
  std::fputs("not audio\n", f);
  std::fclose(f);
  const std::string second = Written("second.wav", Dynamic(44100, 6), 2, 44100);
  const Result r = Qdhost({"master", first, bad, second, "--target", "-16", "-o", File("out"),
                           "--plugin", kPlugin, "--jobs", "2"});
  EXPECT_EQ(r.status, kExitFailure) << r.out << r.err;
  EXPECT_NE(r.err.find("bad.wav: cannot read"), std::string::npos) << r.err;
  const size_t summary = r.out.find("Summary");
  ASSERT_NE(summary, std::string::npos) << r.out;
  const std::string table = r.out.substr(summary);
  EXPECT_NE(table.find("FAILED: cannot read"), std::string::npos) << table;
  EXPECT_EQ(table.find("first.wav"), table.rfind("first.wav")) << table;
  for (const char* name : {"first.wav", "second.wav"}) {
    const size_t row = table.find(name);
    ASSERT_NE(row, std::string::npos) << name << "\n" << table;
    EXPECT_NE(table.substr(row, table.find('\n', row) - row).find("met"), std::string::npos)
        << table;
    EXPECT_NEAR(MeasureFile(File(std::string("out/") + name)).integratedLufs, -16.0, 0.1) << name;
  }
  EXPECT_FALSE(fs::exists(File("out/bad.wav")));
}

TEST_F(MasterCommand, SampleFormatsJsonAndTheReportPicture) {
  const std::string in = Written("in.wav", GenerateMusic(48000, 6, -3.0), 2, 48000);
  struct Case {
    std::vector<std::string> options;
    int format;
  };
  const std::vector<Case> cases = {
      {{"--bits", "16"}, SF_FORMAT_WAV | SF_FORMAT_PCM_16},
      {{"--bits", "24", "--no-dither"}, SF_FORMAT_WAV | SF_FORMAT_PCM_24},
      {{"--bits", "32f", "--json", "--report", File("report.png")},
       SF_FORMAT_WAV | SF_FORMAT_FLOAT},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"master", in,          "--target", "-14",
                                     "-o",     File("out"), "--plugin", kPlugin};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const Result r = Qdhost(args);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    SF_INFO info{};
    const std::string out = File("out/in.wav");
    HostFiles::ReadAll(out, &info);
    EXPECT_EQ(info.format, c.format) << c.options[1];
    const Measurement m = MeasureFile(out);
    EXPECT_NEAR(m.integratedLufs, -14.0, 0.1) << c.options[1];
    EXPECT_LE(m.truePeakDb, -1.0) << c.options[1];
  }
  // The figures as JSON for scripts, and the picture the third case drew.
  const Result r = Qdhost({"master", in, "--target", "-14", "-o", File("out"), "--plugin", kPlugin,
                           "--json", "--quiet"});
  for (const char* text : {"\"result\": \"met\"", "\"output_figures\"", "\"Limiter Level\"",
                           "\"true_peak_dbtp\"", "\"status\": 0"}) {
    EXPECT_NE(r.out.find(text), std::string::npos) << text << "\n" << r.out;
  }
  cairo_surface_t* picture = cairo_image_surface_create_from_png(File("report.png").c_str());
  ASSERT_EQ(cairo_surface_status(picture), CAIRO_STATUS_SUCCESS);
  EXPECT_GE(cairo_image_surface_get_width(picture), 640);
  EXPECT_GE(cairo_image_surface_get_height(picture), 360);
  cairo_surface_destroy(picture);
}

}  // namespace
}  // namespace qd::host
