#include "platform/win/CriticalSection.h"

#include <windows.h>

namespace qd::win {

static_assert(sizeof(CRITICAL_SECTION) <= sizeof(CriticalSection) &&
              alignof(CRITICAL_SECTION) <= 8);

namespace {
CRITICAL_SECTION* Section(unsigned char* storage) {
  return reinterpret_cast<CRITICAL_SECTION*>(storage);
}
}  // namespace

CriticalSection::CriticalSection() {
  InitializeCriticalSection(Section(section_));
}
CriticalSection::~CriticalSection() {
  DeleteCriticalSection(Section(section_));
}
void CriticalSection::lock() {
  EnterCriticalSection(Section(section_));
}
bool CriticalSection::try_lock() {
  return TryEnterCriticalSection(Section(section_)) != FALSE;
}
void CriticalSection::unlock() {
  LeaveCriticalSection(Section(section_));
}

}  // namespace qd::win
