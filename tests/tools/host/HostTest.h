// What the host's tests share: running qdhost in-process, a scratch folder per test, and
// reading and writing audio files.
#pragma once

#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tools/host/AudioFile.h"
#include "tools/host/Commands.h"

namespace qd::host {

namespace fs = std::filesystem;

struct Result {
  int status;
  std::string out, err;
};

inline Result Qdhost(std::vector<std::string> args) {
  args.insert(args.begin(), "qdhost");
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  std::ostringstream out, err;
  const int status = RunCommandLine(static_cast<int>(argv.size()), argv.data(), out, err);
  return {status, out.str(), err.str()};
}

inline const std::string kPlugin = QD_VST2_MODULE_PATH;

// ffmpeg's figures of a file.
struct Figures {
  double lufs = NAN, truePeakDb = NAN;
};

// The last values ffmpeg's meter reports for the whole file.
inline Figures Ffmpeg(const std::string& path, const std::string& log) {
  const std::string command = "ffmpeg -nostdin -hide_banner -loglevel error -i '" + path +
                              "' -af ebur128=peak=true:metadata=1,ametadata=mode=print:file='" +
                              log + "' -f null - 2>&1";
  Figures f;
  if (std::system(command.c_str()) != 0) return f;
  std::FILE* in = std::fopen(log.c_str(), "r");
  if (!in) return f;
  char line[512];
  double v;
  while (std::fgets(line, sizeof(line), in)) {
    if (std::sscanf(line, "lavfi.r128.I=%lf", &v) == 1) f.lufs = v;
    if (std::sscanf(line, "lavfi.r128.true_peak=%lf", &v) == 1) f.truePeakDb = 20 * std::log10(v);
  }
  std::fclose(in);
  return f;
}

class HostFiles : public ::testing::Test {
 public:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("qdhost-test-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string File(const std::string& name) const { return (dir_ / name).string(); }
  std::string Generated(const char* name, const char* rate = "44100", const char* seconds = "3") {
    const std::string path = File(name);
    const Result r = Qdhost({"generate", path, "--seconds", seconds, "--rate", rate});
    EXPECT_EQ(r.status, 0) << r.err;
    return path;
  }
  std::string Written(const std::string& name, const std::vector<double>& frames, int channels,
                      int rate, int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT) {
    const std::string path = File(name);
    AudioWriter writer(path, format, channels, rate);
    writer.Write(frames.data(), static_cast<int>(frames.size() / channels));
    writer.Close();
    return path;
  }
  static std::vector<double> ReadAll(const std::string& path, SF_INFO* info) {
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, info);
    EXPECT_NE(f, nullptr) << path;
    if (!f) return {};
    std::vector<double> frames(static_cast<size_t>(info->frames) * info->channels);
    sf_readf_double(f, frames.data(), info->frames);
    sf_close(f);
    return frames;
  }
  fs::path dir_;
};

}  // namespace qd::host
