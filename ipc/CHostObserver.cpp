// A read-only look at an instance's liveness flag and status record.
#include "CHostObserver.h"

#include <cstring>
#include <utility>

#include "ObjectNames.h"

HRESULT CHostObserver::SetInstance(const WCHAR* instanceName) {
  m_statusView.Reset();
  m_status.Close();
  if (instanceName == nullptr || instanceName[0] == L'\0' ||
      !ComposeObjectName(m_flagName, instanceName, kSuffixLiveFlag) ||
      !ComposeObjectName(m_statusName, instanceName, kSuffixStatusRecord)) {
    m_flagName[0] = m_statusName[0] = L'\0';
    return E_INVALIDARG;
  }
  return S_OK;
}

HostView CHostObserver::Look() {
  HostView view;
  if (m_flagName[0] == L'\0') return view;
  ScopedHandle flag(::OpenMutexW(SYNCHRONIZE, FALSE, m_flagName));
  view.hostPresent = flag.IsValid();
  if (!view.hostPresent) {
    // Without a host the record says nothing current; holding it would only keep it alive.
    m_statusView.Reset();
    m_status.Close();
    return view;
  }
  if (!m_statusView.IsValid()) {
    ScopedHandle mapping(::OpenFileMappingW(FILE_MAP_READ, FALSE, m_statusName));
    if (mapping.IsValid()) {
      ScopedMappedView mapped(::MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, sizeof(GraphErrInfo)));
      if (mapped.IsValid()) {
        m_status = std::move(mapping);
        m_statusView = std::move(mapped);
      }
    }
  }
  if (m_statusView.IsValid()) {
    memcpy(&view.status, m_statusView.Get(), sizeof(view.status));
    view.statusReadable = true;
  }
  return view;
}
