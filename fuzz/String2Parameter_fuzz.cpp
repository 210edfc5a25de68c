// Text a host sends to set a parameter (effString2Parameter): the first byte chooses the
// parameter (including indices that do not exist), the rest is the text.
#include <string>

#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qd;
  fuzz::Vst2Fixture& f = fuzz::Vst2Fixture::Get();
  f.Restore();
  if (size < 1) return 0;
  const int index = static_cast<int>(data[0] % 16) - 2;
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  f.Dispatch(vst2::effString2Parameter, index, 0, text.data());
  f.CheckSound();
  char display[64] = {};
  f.Dispatch(vst2::effGetParamDisplay, index, 0, display);
  if (display[sizeof(display) - 1] != '\0') fuzz::Fail("display text unterminated", index, 0.0);
  return 0;
}
