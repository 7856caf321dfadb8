// Holds a named mutex for one scope. A wait that reports the mutex abandoned (its owner died
// holding it) hands ownership to this thread, so it counts as obtained and is released here:
// no lock may stay held for ever because a process crashed.
#pragma once

#include <windows.h>

inline bool IsLockObtained(DWORD waitResult) {
  return waitResult == WAIT_OBJECT_0 || waitResult == WAIT_ABANDONED;
}

class ScopedMutexLock {
 public:
  ScopedMutexLock(HANDLE mutex, DWORD timeoutMs)
      : m_mutex(mutex), m_held(mutex != nullptr && IsLockObtained(::WaitForSingleObject(mutex, timeoutMs))) {}
  ~ScopedMutexLock() { Unlock(); }

  ScopedMutexLock(const ScopedMutexLock&) = delete;
  ScopedMutexLock& operator=(const ScopedMutexLock&) = delete;

  bool Held() const { return m_held; }
  void Unlock() {
    if (m_held) ::ReleaseMutex(m_mutex);
    m_held = false;
  }

 private:
  HANDLE m_mutex;
  bool m_held;
};
