#include "CExProcLock.h"

#include "NamedObjects.h"

CExProcLock::CExProcLock(const WCHAR* name, DWORD timeoutMs, HANDLE wakeEvent)
    : m_timeoutMs(timeoutMs), m_mutex(CreateOrOpenMutex(FALSE, name)), m_wakeEvent(wakeEvent) {}

DWORD CExProcLock::Lock() {
  if (!m_mutex.IsValid()) return WAIT_FAILED;
  const DWORD timeoutMs = m_timeoutMs == 0 ? INFINITE : m_timeoutMs;
  if (!ScopedHandle::IsHandleValid(m_wakeEvent)) return ::WaitForSingleObject(m_mutex.Get(), timeoutMs);
  // The mutex first: one that is free (or abandoned) is taken even when the wake event is set.
  const HANDLE waits[2] = {m_mutex.Get(), m_wakeEvent};
  const DWORD result = ::WaitForMultipleObjects(2, waits, FALSE, timeoutMs);
  if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED_0) return result;
  return result == WAIT_OBJECT_0 + 1 ? WAIT_TIMEOUT : result;
}

BOOL CExProcLock::Unlock() {
  if (!m_mutex.IsValid()) return FALSE;
  return ::ReleaseMutex(m_mutex.Get());
}
