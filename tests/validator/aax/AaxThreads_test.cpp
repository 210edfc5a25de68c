// The AAX host's threads at work on one instance at once: the render procedure on the audio
// thread while the host's main thread automates, delivers posted requests, saves and
// restores the chunk and opens and closes the editor; and instances created and destroyed
// from several threads at once: the shared suite (suites/ThreadsSuite.h) over the AAX
// driver. Also run under ThreadSanitizer.
#include "tests/validator/aax/AaxDriver.h"
#include "tests/validator/aax/AaxHarness.h"
#include "tests/validator/suites/ThreadsSuite.h"

namespace qd::validator {
namespace {

class AaxThreads : public AaxValidator {};

TEST_F(AaxThreads, HostThreadAutomatesSavesRestoresAndEditsWhileAudioRenders) {
  AaxDriver driver(*this);
  HostThreadEditsSavesAndRestoresWhileAudioRuns(driver, Iterations(400));
}

TEST_F(AaxThreads, InstancesCreatedAndDestroyedFromSeveralThreadsAtOnce) {
  AaxDriver driver(*this);
  InstancesCreatedUsedAndDestroyedOnSeveralThreads(driver, Iterations(10));
}

}  // namespace
}  // namespace qd::validator
