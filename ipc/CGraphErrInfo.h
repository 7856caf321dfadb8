// The instance status channel: the shared GraphErrInfo record, its lock and three events.
//
// The host holds two of these for one instance (the process-wide one, used on the main thread,
// and the graph-control object's, used under that object's lock); each has its own handles.
// An object is not thread-safe by itself: its owner serialises calls. Across processes the
// "NVFS_CHECKERRLOCK_MX" mutex serialises every read-modify-write of the record.
#pragma once

#include <windows.h>

#include <memory>

#include "GraphErrInfo.h"
#include "IShareMem.h"
#include "common/ScopedHandle.h"

class CGraphErrInfo {
 public:
  static constexpr DWORD kInitLockTimeoutMs = 3000;
  static constexpr DWORD kResetLockTimeoutMs = 3000;
  static constexpr DWORD kWriteLockTimeoutMs = 8000;

  CGraphErrInfo();
  ~CGraphErrInfo();

  CGraphErrInfo(const CGraphErrInfo&) = delete;
  CGraphErrInfo& operator=(const CGraphErrInfo&) = delete;

  HRESULT Open(const WCHAR* instanceName);
  HRESULT Close();
  HRESULT Reset();
  HRESULT BeginOperation(int32_t operation);
  HRESULT EndOperation(HRESULT result, int32_t operation);
  HRESULT SetHostCondition(int32_t value);
  BOOL GetDeviceRequest(WCHAR* name, size_t capacity, GUID* guid);
  HRESULT AckDeviceRequest(const WCHAR* name, GUID guid);
  BOOL IsGraphHealthy();

  BOOL IsOpen() const { return m_isOpen; }

 private:
  void CopyRequestedName(WCHAR (&out)[kNameCapacity]) const;
  template <typename Change>
  HRESULT WriteUnderLock(Change change);

  GraphErrInfo* m_block;
  std::unique_ptr<IShareMem> m_sharedMemory;
  ScopedHandle m_checkErrLock;
  ScopedHandle m_connectEvent;
  ScopedHandle m_runEvent;
  ScopedHandle m_deviceChangeEvent;
  WCHAR m_instanceName[kNameCapacity];
  BOOL m_isOpen;
};
