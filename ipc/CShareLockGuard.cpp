#include "CShareLockGuard.h"

#include "common/ScopedMutexLock.h"

CShareLockGuard::CShareLockGuard(IShareLock* lock) : m_lock(lock) {
  if (m_lock != nullptr) m_held = IsLockObtained(m_lock->Lock());
}

CShareLockGuard::~CShareLockGuard() {
  if (m_lock != nullptr && m_held) m_lock->Unlock();
}
