// The lock of the filter base: a re-entrant critical section and its scope guard (kept
// together: every user of the lock takes it through the guard).
#pragma once

#include <windows.h>

// Re-entrant on one thread, so a filter method that calls another under the same lock is safe.
class CCriticalSection {
 public:
  CCriticalSection() { ::InitializeCriticalSection(&m_section); }
  ~CCriticalSection() { ::DeleteCriticalSection(&m_section); }
  CCriticalSection(const CCriticalSection&) = delete;
  CCriticalSection& operator=(const CCriticalSection&) = delete;

  void Lock() { ::EnterCriticalSection(&m_section); }
  void Unlock() { ::LeaveCriticalSection(&m_section); }

 private:
  CRITICAL_SECTION m_section;
};

// Holds a CCriticalSection for the guard's scope.
class CLockGuard {
 public:
  explicit CLockGuard(CCriticalSection& lock) : m_lock(lock) { m_lock.Lock(); }
  ~CLockGuard() { m_lock.Unlock(); }
  CLockGuard(const CLockGuard&) = delete;
  CLockGuard& operator=(const CLockGuard&) = delete;

 private:
  CCriticalSection& m_lock;
};
