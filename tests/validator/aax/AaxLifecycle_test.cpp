// Instances of the AAX module created, used and destroyed in sequence and several alive at
// once, mono and stereo, at every host rate; the module may unload at the end.
#include <dlfcn.h>
#include <malloc.h>

#include <algorithm>

#include "tests/validator/aax/AaxHarness.h"

namespace qd::validator {
namespace {

class AaxLifecycle : public AaxValidator {
 protected:
  // Renders a few blocks, sometimes with the editor open, and checks them.
  void UseBriefly(sim::Instance& instance, int channels, double rate, Seeded& s) {
    const int block = s.Int(1, 2048);
    FloatBuffers b;
    b.Resize(block);
    Program program;
    int parent = 0;  // stands in for the host's window
    const bool withEditor = s.Chance(0.3);
    if (withEditor) instance.OpenEditor(&parent);
    for (int i = 0; i < 3; ++i) {
      Fill(program, b, block, rate);
      b.Render(instance, block);
      ASSERT_EQ(CheckBlock(b, block, channels, Ceiling()), "");
      if (withEditor) instance.EditorTimer();
    }
    if (withEditor && s.Chance(0.8)) instance.CloseEditor();  // else closed on destruction
  }
};

TEST_F(AaxLifecycle, CreateUseDestroyManyTimesInSequence) {
  Seeded s;
  for (int i = 0; i < Iterations(40); ++i) {
    const int component = s.Int(0, 1);
    const double rate = s.Pick(HostRates());
    auto instance = Create(component, rate);
    ASSERT_NE(instance, nullptr);
    ASSERT_NO_FATAL_FAILURE(UseBriefly(*instance, component + 1, rate, s));
    EXPECT_GT(module.Api().canUnloadNow(), 0);
  }
}

TEST_F(AaxLifecycle, ManyInstancesAliveAtOnceDestroyedInRandomOrder) {
  Seeded s;
  for (int round = 0; round < Iterations(3); ++round) {
    struct Alive {
      std::unique_ptr<sim::Instance> instance;
      int channels;
      double rate;
    };
    std::vector<Alive> alive;
    const int count = s.Int(4, 12);
    for (int i = 0; i < count; ++i) {
      const int component = s.Int(0, 1);
      const double rate = s.Pick(HostRates());
      alive.push_back({Create(component, rate), component + 1, rate});
      ASSERT_NE(alive.back().instance, nullptr);
    }
    // Interleaved use: each block goes to a random live instance.
    for (int i = 0; i < count * 4; ++i) {
      Alive& a = alive[static_cast<size_t>(s.Int(0, count - 1))];
      ASSERT_NO_FATAL_FAILURE(UseBriefly(*a.instance, a.channels, a.rate, s));
    }
    std::shuffle(alive.begin(), alive.end(), s.rng);
    while (!alive.empty()) {
      alive.pop_back();
      if (!alive.empty()) {
        Alive& a = alive.front();
        ASSERT_NO_FATAL_FAILURE(UseBriefly(*a.instance, a.channels, a.rate, s));
      }
    }
  }
}

// Fault found by the validator under LeakSanitizer: cairo and pixman keep process-wide
// pools and tables that only the end of the process releases. Loaded only by the module,
// they were unloaded with it, so every unload lost that data and every reload built it
// anew. They now stay loaded once the module has drawn.
TEST(AaxModuleUnload, CairoAndPixmanStayLoadedWithTheirProcessData) {
  {
    sim::ModuleHost module(QD_AAX_MODULE_PATH);
    ASSERT_TRUE(module.Loaded());
    ASSERT_EQ(module.StartAndRegister(), aax::kSuccess);
    auto instance = module.CreateInstance(1, 48000.0);
    ASSERT_NE(instance, nullptr);
    instance.reset();
    EXPECT_EQ(module.Api().canUnloadNow(), 0);
  }
  EXPECT_EQ(dlopen(QD_AAX_MODULE_PATH, RTLD_NOW | RTLD_NOLOAD), nullptr)
      << "the module should have been unloaded";
  for (const char* library : {"libcairo.so.2", "libpixman-1.so.0"}) {
    void* handle = dlopen(library, RTLD_NOW | RTLD_NOLOAD);
    EXPECT_NE(handle, nullptr) << library << " was unloaded with the module";
    if (handle) dlclose(handle);
  }
}

// Fault found by LeakSanitizer through the host tool: the process-wide caches of decoded
// images and strips, fonts and the FreeType library were never freed, so every load and
// unload of the module left them behind. They are released when the module unloads: after a
// first cycle (which may keep the libraries' own process data, see above) another one leaves
// the heap as it found it, give or take a little.
TEST(AaxModuleUnload, ImageStripAndFontCachesAreReleasedWithTheModule) {
  auto cycle = [] {
    sim::ModuleHost module(QD_AAX_MODULE_PATH);
    ASSERT_TRUE(module.Loaded());
    ASSERT_EQ(module.StartAndRegister(), aax::kSuccess);
    auto instance = module.CreateInstance(1, 48000.0);  // its editor decodes every image
    ASSERT_NE(instance, nullptr);
  };
  ASSERT_NO_FATAL_FAILURE(cycle());
  const size_t before = mallinfo2().uordblks;
  ASSERT_NO_FATAL_FAILURE(cycle());
  const size_t after = mallinfo2().uordblks;
  std::printf("heap in use: %zu before, %zu after the second load and unload\n", before, after);
  EXPECT_LT(after, before + 64 * 1024) << "the module left its caches behind";
}

}  // namespace
}  // namespace qd::validator
