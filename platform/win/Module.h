// The module handle a Windows deliverable receives at load (DllMain), kept for the editor's
// resource loading. Set once by the load notification, read from any thread.
#pragma once

namespace qd {

void SetPluginModule(void* module);

}  // namespace qd
