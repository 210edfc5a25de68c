// Instances of the AAX module created, used and destroyed in sequence and several alive at
// once, mono and stereo, at every host rate: the shared suite (suites/LifecycleSuite.h) over
// the AAX driver. Then the module's own unload: what it keeps and what it releases.
#include <dlfcn.h>
#include <malloc.h>

#include "tests/validator/aax/AaxDriver.h"
#include "tests/validator/aax/AaxHarness.h"
#include "tests/validator/suites/LifecycleSuite.h"

namespace qd::validator {
namespace {

class AaxLifecycle : public AaxValidator {};

TEST_F(AaxLifecycle, CreateUseDestroyManyTimesInSequence) {
  AaxDriver driver(*this);
  OpenUseCloseManyTimesInSequence(driver, Iterations(40));
}

TEST_F(AaxLifecycle, ManyInstancesAliveAtOnceDestroyedInRandomOrder) {
  AaxDriver driver(*this);
  ManyInstancesAliveAtOnceClosedInRandomOrder(driver, Iterations(3));
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
