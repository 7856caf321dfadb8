// A Win32 critical section: re-entrant for the thread that holds it.
#pragma once

#include <windows.h>

class CCritSection {
 public:
  CCritSection() { ::InitializeCriticalSection(&m_section); }
  ~CCritSection() { ::DeleteCriticalSection(&m_section); }
  CCritSection(const CCritSection&) = delete;
  CCritSection& operator=(const CCritSection&) = delete;

  void Lock() { ::EnterCriticalSection(&m_section); }
  void Unlock() { ::LeaveCriticalSection(&m_section); }

 private:
  CRITICAL_SECTION m_section;
};
