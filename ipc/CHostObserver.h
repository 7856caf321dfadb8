// What a client can tell of an instance's host without changing anything: whether a host holds
// the instance's flag ("NVFS_LIVE_FLAG_MX", opened, never created) and the status record as it
// stands, read from a read-only view without its lock (each field is a whole 32-bit word; a
// field read while the host changes it is at worst one state old). Nothing here waits.
// One thread per object (the virtual camera's streaming thread); no locks of its own.
#pragma once

#include <windows.h>

#include "GraphErrInfo.h"
#include "common/ScopedHandle.h"
#include "common/ScopedMappedView.h"
#include "common/WideString.h"

struct HostView {
  bool hostPresent = false;     // a host serves the instance (or is ending)
  bool statusReadable = false;  // a host is present and its status record exists: `status` is a copy
  GraphErrInfo status = {};
};

class CHostObserver {
 public:
  CHostObserver() = default;
  CHostObserver(const CHostObserver&) = delete;
  CHostObserver& operator=(const CHostObserver&) = delete;

  // E_INVALIDARG when the instance name cannot form the objects' names.
  HRESULT SetInstance(const WCHAR* instanceName);
  HostView Look();

 private:
  WCHAR m_flagName[kNameCapacity] = {};
  WCHAR m_statusName[kNameCapacity] = {};
  ScopedHandle m_status;
  ScopedMappedView m_statusView;
};
