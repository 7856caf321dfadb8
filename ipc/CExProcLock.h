// IShareLock over a named mutex. A time-out of 0 means no limit.
#pragma once

#include "IShareLock.h"
#include "common/ScopedHandle.h"

class CExProcLock : public IShareLock {
 public:
  CExProcLock(const WCHAR* name, DWORD timeoutMs);
  ~CExProcLock() override = default;

  CExProcLock(const CExProcLock&) = delete;
  CExProcLock& operator=(const CExProcLock&) = delete;

  DWORD Lock() override;
  BOOL Unlock() override;
  bool IsValid() const { return m_mutex.IsValid(); }

 private:
  DWORD m_timeoutMs;
  ScopedHandle m_mutex;
};
