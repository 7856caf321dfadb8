// Holds an IShareLock for one scope. The guarded operation asks Held() before it touches the
// shared record: a wait that timed out or failed leaves the lock with its owner, and the guard
// then never releases it. An abandoned lock is obtained (see ScopedMutexLock.h).
#pragma once

#include "IShareLock.h"

class CShareLockGuard {
 public:
  explicit CShareLockGuard(IShareLock* lock);
  ~CShareLockGuard();

  CShareLockGuard(const CShareLockGuard&) = delete;
  CShareLockGuard& operator=(const CShareLockGuard&) = delete;

  bool Held() const { return m_held; }

 private:
  IShareLock* m_lock;
  bool m_held = false;
};
