// A Windows critical section as a recursive, Lockable mutex: initialised with the object,
// deleted with it. Any thread; lock() may be re-entered by the thread that holds it.
// The section is stored opaquely so that this header does not pull <windows.h> (and its
// macros) into every file that sees the plug-in mutex.
#pragma once

namespace qd::win {

class CriticalSection {
 public:
  CriticalSection();
  ~CriticalSection();
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  void lock();
  bool try_lock();
  void unlock();

 private:
  alignas(8) unsigned char section_[40];  // CRITICAL_SECTION on 64-bit Windows
};

}  // namespace qd::win
