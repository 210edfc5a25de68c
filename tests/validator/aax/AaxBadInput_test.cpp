// Input no host should send but some do, through the AAX render procedure: the shared suite
// (see suites/BadInputSuite.h) over the AAX driver.

#include "tests/validator/aax/AaxDriver.h"
#include "tests/validator/aax/AaxHarness.h"
#include "tests/validator/suites/BadInputSuite.h"

namespace qd::validator {
namespace {

class AaxBadInput : public AaxValidator {};

TEST_F(AaxBadInput, OutputStaysFiniteAndRecoversWithinOneBlock) {
  AaxDriver driver(*this);
  BadInputRecoversWithinOneBlock(driver, Iterations(5));
}

}  // namespace
}  // namespace qd::validator
