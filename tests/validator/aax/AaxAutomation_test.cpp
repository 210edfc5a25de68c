// Every parameter entry of the AAX module called with what hosts send, valid or not, while
// audio renders at random block sizes, the transport reports hostile tempos, and the
// instance is recreated at another rate from its saved state (as a host does when the
// session's rate changes): the shared suite (suites/AutomationSuite.h) over the AAX driver.
#include "tests/validator/aax/AaxDriver.h"
#include "tests/validator/aax/AaxHarness.h"
#include "tests/validator/suites/AutomationSuite.h"

namespace qd::validator {
namespace {

class AaxAutomation : public AaxValidator {};

TEST_F(AaxAutomation, HostileParameterCallsWhileAudioRunsAtRandomBlockSizesAndRates) {
  AaxDriver driver(*this);
  HostileAutomationWhileAudioRuns(driver, Iterations(1500));
}

}  // namespace
}  // namespace qd::validator
