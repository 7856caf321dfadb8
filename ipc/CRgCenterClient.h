// The clients' side of the request channel, as fontisctl and the test programs play it: open the
// record (only if it exists, or creating it as a client may), take a free slot under "slock",
// give it back. A slot is free while its cbFormat is 0, the clients' own convention.
// One thread at a time; "slock" serialises every change of the record across processes.
#pragma once

#include <windows.h>
#include <strmif.h>

#include "RgCenterBlock.h"
#include "common/ScopedHandle.h"
#include "common/ScopedMappedView.h"

class CRgCenterClient {
 public:
  enum class OpenMode { kExistingOnly, kCreateOrOpen };
  static constexpr DWORD kLockTimeoutMs = 3000;

  CRgCenterClient() = default;
  CRgCenterClient(const CRgCenterClient&) = delete;
  CRgCenterClient& operator=(const CRgCenterClient&) = delete;

  // HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) when kExistingOnly finds no channel; E_INVALIDARG
  // when the instance name cannot form the channel's names.
  HRESULT Open(const WCHAR* instanceName, OpenMode mode);

  // Takes the lowest free client slot (0..7) under the lock, fills it and raises clientCount.
  // HRESULT_FROM_WIN32(WAIT_TIMEOUT) when the lock cannot be had, E_INVALIDARG for a type
  // without a format block or with more than 100 format bytes, kErrNoFreeSlot when all eight
  // are taken.
  static constexpr HRESULT kErrNoFreeSlot = static_cast<HRESULT>(0x800705AA);  // ERROR_NO_SYSTEM_RESOURCES
  HRESULT TakeSlot(DWORD processId, BOOL wantsVideo, const AM_MEDIA_TYPE& type, int* slotIndex);

  // Empties the slot (cbFormat 0) and lowers clientCount, under the lock.
  HRESULT ReleaseSlot(int slotIndex);

  // A copy of the record taken under the lock (waiting up to timeoutMs); *locked tells whether
  // the lock was had, else the copy was taken without it.
  void Snapshot(RgCenterBlock* out, bool* locked, DWORD timeoutMs = 1000) const;

  HANDLE LockHandle() const { return m_lock.Get(); }
  RgCenterBlock* Record() const { return static_cast<RgCenterBlock*>(m_view.Get()); }

 private:
  ScopedHandle m_lock;
  ScopedHandle m_mapping;
  ScopedMappedView m_view;
};
