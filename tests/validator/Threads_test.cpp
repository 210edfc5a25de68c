// The host's threads at work on one VST2 instance at once, and instances made on several
// threads at once: the shared suite (suites/ThreadsSuite.h) over the VST2 driver. Every entry
// holds the plug-in's mutex, so nothing may race, deadlock, or hand the audio thread a
// half-applied change. Also run under ThreadSanitizer.
#include "tests/validator/Vst2Driver.h"
#include "tests/validator/suites/ThreadsSuite.h"

namespace qd::validator {
namespace {

TEST(Threads, EditorStateAndAutomationOnTheHostThreadWhileAudioAndAutomationRun) {
  Vst2Driver driver;
  HostThreadEditsSavesAndRestoresWhileAudioRuns(driver, Iterations(400));
}

TEST(Threads, InstancesCreatedUsedAndClosedOnSeveralThreads) {
  Vst2Driver driver;
  InstancesCreatedUsedAndDestroyedOnSeveralThreads(driver, Iterations(10));
}

}  // namespace
}  // namespace qd::validator
