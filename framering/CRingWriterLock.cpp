// The frame ring writer's lock, held on a thread of its own.
#include "CRingWriterLock.h"

#include <utility>

#include "common/ScopedMutexLock.h"
#include "ipc/NamedObjects.h"

HRESULT CRingWriterLock::Acquire(const WCHAR* name) {
  Release();
  if (name == nullptr || name[0] == L'\0') return E_INVALIDARG;
  m_mutex.Reset(CreateOrOpenMutex(FALSE, name));
  m_taken.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  m_release.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!m_mutex.IsValid() || !m_taken.IsValid() || !m_release.IsValid()) {
    const HRESULT hr = HRESULT_FROM_WIN32(::GetLastError());
    Release();
    return FAILED(hr) ? hr : E_OUTOFMEMORY;
  }
  ScopedHandle holder(::CreateThread(nullptr, 0, HolderMain, this, 0, nullptr));
  if (!holder.IsValid()) {
    const HRESULT hr = HRESULT_FROM_WIN32(::GetLastError());
    Release();
    return hr;
  }
  // The holder only tries the mutex without waiting; its end also wakes this wait.
  const HANDLE waits[2] = {m_taken.Get(), holder.Get()};
  ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
  if (::WaitForSingleObject(m_taken.Get(), 0) == WAIT_OBJECT_0 && IsLockObtained(m_tryResult)) {
    m_holder = std::move(holder);
    return S_OK;
  }
  ::SetEvent(m_release.Get());
  ::WaitForSingleObject(holder.Get(), INFINITE);
  const DWORD tried = m_tryResult;
  Release();
  return tried == WAIT_TIMEOUT ? kErrTaken : E_FAIL;
}

void CRingWriterLock::Release() {
  if (m_holder.IsValid()) {
    ::SetEvent(m_release.Get());
    ::WaitForSingleObject(m_holder.Get(), INFINITE);  // it waits for nothing but that event
    m_holder.Close();
  }
  m_release.Close();
  m_taken.Close();
  m_mutex.Close();
  m_tryResult = WAIT_FAILED;
}

DWORD WINAPI CRingWriterLock::HolderMain(void* self) {
  auto* lock = static_cast<CRingWriterLock*>(self);
  const DWORD tried = ::WaitForSingleObject(lock->m_mutex.Get(), 0);
  lock->m_tryResult = tried;
  ::SetEvent(lock->m_taken.Get());
  if (!IsLockObtained(tried)) return 0;
  ::WaitForSingleObject(lock->m_release.Get(), INFINITE);
  ::ReleaseMutex(lock->m_mutex.Get());
  return 0;
}
