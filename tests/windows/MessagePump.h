// Dispatches the calling thread's window messages for a while, as a host's message loop
// does, so editor windows get their timers, paints and input. Windows test programs only.
#pragma once

#include <windows.h>

#include <cstdint>

namespace qd::testing {

inline void PumpMessages(int milliseconds) {
  const DWORD end = GetTickCount() + static_cast<DWORD>(milliseconds);
  while (static_cast<int32_t>(end - GetTickCount()) > 0) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    Sleep(5);
  }
}

}  // namespace qd::testing
