#include "CExProcLock.h"

#include "NamedObjects.h"

CExProcLock::CExProcLock(const WCHAR* name, DWORD timeoutMs)
    : m_timeoutMs(timeoutMs), m_mutex(CreateOrOpenMutex(FALSE, name)) {}

DWORD CExProcLock::Lock() {
  if (!m_mutex.IsValid()) return WAIT_FAILED;
  return ::WaitForSingleObject(m_mutex.Get(), m_timeoutMs == 0 ? INFINITE : m_timeoutMs);
}

BOOL CExProcLock::Unlock() {
  if (!m_mutex.IsValid()) return FALSE;
  return ::ReleaseMutex(m_mutex.Get());
}
