// The clients' side of the request channel: open the record (only if it exists, or creating it
// as a client may) and follow our client protocol under "slock" (the README writes it down for
// other clients): free the slots of clients whose process has ended, take the lowest free slot,
// fill it with who we are, what we want and when we started, keep clientCount equal to the
// slots in use, give the slot back with every field cleared. We never write outputSlots.
// One thread at a time per object; "slock" serialises every change of the record across
// processes and is never held longer than one call.
#pragma once

#include <windows.h>
#include <strmif.h>

#include "ClientProcess.h"
#include "RgCenterBlock.h"
#include "common/ScopedHandle.h"
#include "common/ScopedMappedView.h"

class CRgCenterClient {
 public:
  enum class OpenMode { kExistingOnly, kCreateOrOpen };
  static constexpr DWORD kLockTimeoutMs = kRgCenterLockTimeoutMs;
  // Every client slot is in use by a live client.
  static constexpr HRESULT kErrNoFreeSlot = static_cast<HRESULT>(0x800705AA);  // ERROR_NO_SYSTEM_RESOURCES
  // The slot no longer carries our identity: another process overwrote it.
  static constexpr HRESULT kErrSlotLost = static_cast<HRESULT>(0x80070120);  // ERROR_NOT_OWNER
  static constexpr HRESULT kErrLockTimeout = static_cast<HRESULT>(0x80070102);  // WAIT_TIMEOUT

  CRgCenterClient() = default;
  CRgCenterClient(const CRgCenterClient&) = delete;
  CRgCenterClient& operator=(const CRgCenterClient&) = delete;

  // HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) when kExistingOnly finds no channel; E_INVALIDARG
  // when the instance name cannot form the channel's names.
  HRESULT Open(const WCHAR* instanceName, OpenMode mode);
  bool IsOpen() const { return Record() != nullptr; }

  // Frees the slots of ended clients, then takes the lowest free client slot (0..7) for `who`.
  // kErrLockTimeout when the lock cannot be had, E_INVALIDARG for a type without format bytes or
  // with more than 100 of them, kErrNoFreeSlot when all eight belong to live clients.
  HRESULT TakeSlot(const ClientIdentity& who, BOOL wantsVideo, const AM_MEDIA_TYPE& type, int* slotIndex);

  // Changes our slot's wantsVideo and, when type is not null, its media type. kErrSlotLost
  // (nothing written) when the slot no longer carries `who`.
  HRESULT UpdateSlot(int slotIndex, const ClientIdentity& who, BOOL wantsVideo, const AM_MEDIA_TYPE* type);

  // Clears the slot when it still carries `who` (another process's registration is never
  // cleared) and recounts clientCount.
  HRESULT ReleaseSlot(int slotIndex, const ClientIdentity& who);

  // Frees the slots of ended clients and recounts; *freed (may be null) says how many.
  HRESULT ReclaimDeadSlots(int* freed);

  // A copy of the record taken under the lock (waiting up to timeoutMs); *locked tells whether
  // the lock was had, else the copy was taken without it.
  void Snapshot(RgCenterBlock* out, bool* locked, DWORD timeoutMs = 1000) const;

  HANDLE LockHandle() const { return m_lock.Get(); }
  RgCenterBlock* Record() const { return static_cast<RgCenterBlock*>(m_view.Get()); }

 private:
  // With the lock held.
  int ReclaimDeadSlotsLocked();

  ScopedHandle m_lock;
  ScopedHandle m_mapping;
  ScopedMappedView m_view;
};
