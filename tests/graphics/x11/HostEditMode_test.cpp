// `qdhost edit`: the command-line host opens the plug-in's editor in a window of its own and
// plays audio through it at real-time pace until the audio ends or the time is up.
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>

#include "tests/graphics/x11/X11TestSupport.h"
#include "tools/host/Commands.h"

namespace qd::testing {
namespace {

int RunHost(std::vector<const char*> args, std::string* out, std::string* err) {
  std::ostringstream o, e;
  const int status = host::RunCommandLine(static_cast<int>(args.size()), args.data(), o, e);
  *out = o.str();
  *err = e.str();
  return status;
}

TEST(HostEditMode, PlaysAFileOrGeneratedMusicAtRealTimePaceWithTheEditorOpen) {
  ASSERT_TRUE(XvfbEnvironment::Ready());
  std::string out, err;
  const std::string wav = std::string(QD_TEST_ARTEFACTS) + "/edit-input.wav";
  ASSERT_EQ(RunHost({"qdhost", "generate", wav.c_str(), "--seconds", "1"}, &out, &err), 0) << err;

  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(RunHost({"qdhost", "edit", QD_VST2_MODULE_PATH, wav.c_str()}, &out, &err), 0) << err;
  const double took =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_NE(out.find("Editor of QuarloDorvantix open"), std::string::npos) << out;
  EXPECT_NE(out.find("Played 1.00 s of " + wav), std::string::npos) << out;
  EXPECT_GE(took, 0.95) << "real-time pace";
  EXPECT_LT(took, 5.0);

  ASSERT_EQ(RunHost({"qdhost", "edit", QD_VST2_MODULE_PATH, "--seconds", "0.5", "--set-normalized",
                     "Soft Clipper=1"},
                    &out, &err),
            0)
      << err;
  EXPECT_NE(out.find("Played 0.50 s of generated music"), std::string::npos) << out;

  EXPECT_NE(RunHost({"qdhost", "edit"}, &out, &err), 0);
  EXPECT_NE(err.find("edit takes a plug-in"), std::string::npos) << err;
}

}  // namespace
}  // namespace qd::testing
