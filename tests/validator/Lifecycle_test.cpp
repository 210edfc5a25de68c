// Instances of the VST2 module opened, used and closed in sequence and several alive at once:
// the shared suite (suites/LifecycleSuite.h) over the VST2 driver. (Instances made on several
// threads at once are in Threads_test.cpp.)
#include "tests/validator/Vst2Driver.h"
#include "tests/validator/suites/LifecycleSuite.h"

namespace qd::validator {
namespace {

TEST(Lifecycle, OpenUseCloseManyTimesInSequence) {
  Vst2Driver driver;
  OpenUseCloseManyTimesInSequence(driver, Iterations(40));
}

TEST(Lifecycle, ManyInstancesAliveAtOnceClosedInRandomOrder) {
  Vst2Driver driver;
  ManyInstancesAliveAtOnceClosedInRandomOrder(driver, Iterations(3));
}

}  // namespace
}  // namespace qd::validator
