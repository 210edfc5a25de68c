// The plug-in mutex: recursive, taken by every host entry, the audio callback and editor
// parameter changes (see PluginBase). A critical section on Windows, std::recursive_mutex
// elsewhere; both meet the standard Lockable requirements, so std::lock_guard and
// std::unique_lock work with either.
#pragma once

#ifdef _WIN32
#include "platform/win/CriticalSection.h"
namespace qd {
using PluginMutex = win::CriticalSection;
}
#else
#include <mutex>
namespace qd {
using PluginMutex = std::recursive_mutex;
}
#endif
