// The AAX module's chunk saved, compared and restored at random moments while parameters
// are automated and audio runs; a restored state renders exactly the audio of the state it
// came from, and damaged chunks leave a sound instance: the shared suite
// (suites/StateSuite.h) over the AAX driver.
#include "tests/validator/aax/AaxDriver.h"
#include "tests/validator/aax/AaxHarness.h"
#include "tests/validator/suites/StateSuite.h"

namespace qd::validator {
namespace {

class AaxState : public AaxValidator {};

TEST_F(AaxState, RestoredStateRendersExactlyTheAudioOfItsSource) {
  AaxDriver driver(*this);
  RestoredStateRendersExactlyTheAudioOfItsSource(driver, Iterations(12));
}

TEST_F(AaxState, ChunksSavedComparedAndRestoredAtRandomMomentsWhileAutomating) {
  AaxDriver driver(*this);
  StatesSavedComparedAndRestoredAtRandomMomentsDuringAutomation(driver, Iterations(1200));
}

// A chunk from a damaged project: its bytes flipped, cut short, replaced or given another
// ID, always with a size that matches the bytes the host holds.
TEST_F(AaxState, DamagedChunksLeaveASoundInstance) {
  AaxDriver driver(*this);
  DamagedStatesLeaveTheInstanceSound(driver, Iterations(400));
}

}  // namespace
}  // namespace qd::validator
