// Text typed into the editor's text entry and committed: the first byte chooses one of the
// editor's controls (and with it the parameter it is bound to), the rest is the text.
#include <string>

#include "fuzz/FuzzSupport.h"
#include "graphics/Controls.h"
#include "graphics/Graphics.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qd;
  fuzz::Vst2Fixture& f = fuzz::Vst2Fixture::Get();
  f.Restore();
  if (size < 1) return 0;
  auto* graphics = dynamic_cast<Graphics*>(f.Plugin().Editor());
  if (!graphics || graphics->ControlCount() == 0) return 0;
  Control* control = graphics->GetControl(data[0] % graphics->ControlCount());
  if (!control) return 0;
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  // Once for the control's own parameter, once for an index that may not exist.
  graphics->CommitTextEntry(control, control->ParamIndex(), text.c_str());
  graphics->CommitTextEntry(control, static_cast<int32_t>(data[0] % 16) - 2, text.c_str());
  f.CheckSound();
  return 0;
}
