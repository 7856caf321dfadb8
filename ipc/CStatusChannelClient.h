// The client's side of an instance status channel: opens what a host (or another client)
// created and never creates anything, so looking at an instance cannot bring one into being.
// Used by fontisctl and by test programs; one thread at a time.
#pragma once

#include <windows.h>

#include "GraphErrInfo.h"
#include "common/ScopedHandle.h"
#include "common/ScopedMappedView.h"

class CStatusChannelClient {
 public:
  enum EventId { kConnectEvent, kRunEvent, kDeviceChangeEvent };

  CStatusChannelClient() = default;
  CStatusChannelClient(const CStatusChannelClient&) = delete;
  CStatusChannelClient& operator=(const CStatusChannelClient&) = delete;

  // HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) when no such channel exists, E_INVALIDARG when the
  // name cannot form the channel's object names.
  HRESULT Open(const WCHAR* instanceName);

  // A copy of the record taken under the channel lock (waiting up to timeoutMs); *locked tells
  // whether the lock was had, else the copy was taken without it.
  void Snapshot(GraphErrInfo* out, bool* locked, DWORD timeoutMs = 1000) const;

  // Whether an event is set, without changing it (all three are manual-reset).
  bool IsEventSet(EventId id) const;

  // Asks the host to switch cameras, as a client does: name, GUID and pending flag under the
  // lock, then the device-change event.
  HRESULT RequestDevice(const WCHAR* name, const GUID& guid, DWORD timeoutMs = 1000);

  HANDLE LockHandle() const { return m_lock.Get(); }
  GraphErrInfo* Record() const { return static_cast<GraphErrInfo*>(m_view.Get()); }

 private:
  ScopedHandle m_lock;
  ScopedHandle m_events[3];
  ScopedHandle m_mapping;
  ScopedMappedView m_view;
};
