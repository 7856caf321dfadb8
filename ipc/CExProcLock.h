// IShareLock over a named mutex. A time-out of 0 means no limit. An optional wake event (not
// owned; it must outlive the lock) ends a wait early: Lock then reports WAIT_TIMEOUT, so that a
// thread told to stop never sits out a stranger's hold of the lock.
#pragma once

#include "IShareLock.h"
#include "common/ScopedHandle.h"

class CExProcLock : public IShareLock {
 public:
  CExProcLock(const WCHAR* name, DWORD timeoutMs, HANDLE wakeEvent = nullptr);
  ~CExProcLock() override = default;

  CExProcLock(const CExProcLock&) = delete;
  CExProcLock& operator=(const CExProcLock&) = delete;

  DWORD Lock() override;
  BOOL Unlock() override;
  bool IsValid() const { return m_mutex.IsValid(); }

 private:
  DWORD m_timeoutMs;
  ScopedHandle m_mutex;
  HANDLE m_wakeEvent;  // not owned; null when none
};
