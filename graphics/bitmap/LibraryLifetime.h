// Lifetime of the third-party libraries the pixel layer draws with.
#pragma once

namespace qd {

// Keeps the shared library that defines `symbol` loaded for the rest of the process.
//
// Cairo, pixman and fontconfig keep process-wide data (surface and context pools, the
// pixman implementation table, the font configuration) that is released only when the
// process ends; a plug-in may not release it early, since the host and other plug-ins may
// share these libraries. When the host has not loaded them itself, unloading the module
// would unload them too and lose that data, and every later load would build and lose it
// again. Kept loaded, a reloaded module finds and reuses it.
//
// Any thread, once per library (callers keep the first call in a static). Asks the loader
// only about libraries already loaded; does nothing on Windows, where the libraries are
// linked into the module.
void KeepLibraryLoaded(const void* symbol);

}  // namespace qd
