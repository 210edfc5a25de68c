// Program and bank chunks got and set at random moments while parameters are automated and
// audio runs; a restored state renders exactly the audio of the state it came from: the
// shared suite (suites/StateSuite.h) over the VST2 driver.
#include "tests/validator/Vst2Driver.h"
#include "tests/validator/suites/StateSuite.h"

namespace qd::validator {
namespace {

TEST(State, RestoredStateRendersExactlyTheAudioOfItsSource) {
  Vst2Driver driver;
  RestoredStateRendersExactlyTheAudioOfItsSource(driver, Iterations(12));
}

TEST(State, ChunksGotAndSetAtRandomMomentsDuringAutomation) {
  Vst2Driver driver;
  StatesSavedComparedAndRestoredAtRandomMomentsDuringAutomation(driver, Iterations(1200));
}

// Chunks from a host that cut, extended or scribbled over what the plug-in wrote.
TEST(State, DamagedChunksLeaveTheInstanceSound) {
  Vst2Driver driver;
  DamagedStatesLeaveTheInstanceSound(driver, Iterations(400));
}

}  // namespace
}  // namespace qd::validator
