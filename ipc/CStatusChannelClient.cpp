#include "CStatusChannelClient.h"

#include <cstring>

#include "ObjectNames.h"
#include "common/ScopedMutexLock.h"

HRESULT CStatusChannelClient::Open(const WCHAR* instanceName) {
  WCHAR lockName[kNameCapacity], recordName[kNameCapacity], eventNames[3][kNameCapacity];
  if (instanceName == nullptr || instanceName[0] == L'\0' ||
      !ComposeObjectName(lockName, instanceName, kSuffixCheckErrLock) ||
      !ComposeObjectName(recordName, instanceName, kSuffixStatusRecord) ||
      !ComposeObjectName(eventNames[kConnectEvent], instanceName, kSuffixConnectEvent) ||
      !ComposeObjectName(eventNames[kRunEvent], instanceName, kSuffixRunEvent) ||
      !ComposeObjectName(eventNames[kDeviceChangeEvent], instanceName, kSuffixDeviceChangeEvent)) {
    return E_INVALIDARG;
  }
  m_mapping.Reset(::OpenFileMappingW(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, recordName));
  if (!m_mapping.IsValid()) return HRESULT_FROM_WIN32(::GetLastError());
  m_view.Reset(::MapViewOfFile(m_mapping.Get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(GraphErrInfo)));
  if (!m_view.IsValid()) return HRESULT_FROM_WIN32(::GetLastError());
  m_lock.Reset(::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, lockName));
  for (int i = 0; i < 3; ++i) {
    m_events[i].Reset(::OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, eventNames[i]));
  }
  if (!m_lock.IsValid() || !m_events[0].IsValid() || !m_events[1].IsValid() || !m_events[2].IsValid()) {
    return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  }
  return S_OK;
}

void CStatusChannelClient::Snapshot(GraphErrInfo* out, bool* locked, DWORD timeoutMs) const {
  ScopedMutexLock lock(m_lock.Get(), timeoutMs);
  memcpy(out, Record(), sizeof(GraphErrInfo));
  if (locked != nullptr) *locked = lock.Held();
}

bool CStatusChannelClient::IsEventSet(EventId id) const {
  return ::WaitForSingleObject(m_events[id].Get(), 0) == WAIT_OBJECT_0;
}

HRESULT CStatusChannelClient::RequestDevice(const WCHAR* name, const GUID& guid, DWORD timeoutMs) {
  ScopedMutexLock lock(m_lock.Get(), timeoutMs);
  if (!lock.Held()) return HRESULT_FROM_WIN32(WAIT_TIMEOUT);
  GraphErrInfo* record = Record();
  BoundedCopy(record->deviceName, name);
  record->deviceGuid = guid;
  record->deviceChangePending = 1;
  lock.Unlock();
  ::SetEvent(m_events[kDeviceChangeEvent].Get());
  return S_OK;
}
