// Our client protocol over the request channel record.
#include "CRgCenterClient.h"

#include <cstring>
#include <utility>

#include "NamedObjects.h"
#include "ObjectNames.h"
#include "RgCenterSlots.h"
#include "common/ScopedMutexLock.h"

HRESULT CRgCenterClient::Open(const WCHAR* instanceName, OpenMode mode) {
  m_view.Reset();
  m_mapping.Close();
  m_lock.Close();
  WCHAR base[kNameCapacity], lockName[kNameCapacity], recordName[kNameCapacity];
  if (instanceName == nullptr || instanceName[0] == L'\0' || !ComposeRgCenterBase(base, instanceName) ||
      !ComposeObjectName(lockName, base, kSuffixRgCenterLock) ||
      !ComposeObjectName(recordName, base, kSuffixRgCenterRecord)) {
    return E_INVALIDARG;
  }
  if (mode == OpenMode::kExistingOnly) {
    m_mapping.Reset(::OpenFileMappingW(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, recordName));
    if (!m_mapping.IsValid()) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    m_lock.Reset(::OpenMutexW(kMutexOpenRights, FALSE, lockName));
  } else {
    m_mapping.Reset(CreateOrOpenFileMapping(INVALID_HANDLE_VALUE, PAGE_READWRITE, 0, kRgCenterBlockSize, recordName));
    if (!m_mapping.IsValid()) return HRESULT_FROM_WIN32(::GetLastError());
    m_lock.Reset(CreateOrOpenMutex(FALSE, lockName));
  }
  if (!m_lock.IsValid()) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  ScopedMappedView view(::MapViewOfFile(m_mapping.Get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, kRgCenterBlockSize));
  if (!view.IsValid()) return HRESULT_FROM_WIN32(::GetLastError());
  m_view = std::move(view);
  return S_OK;
}

int CRgCenterClient::ReclaimDeadSlotsLocked() {
  RgCenterBlock* record = Record();
  int freed = 0;
  for (size_t i = 0; i < kClientOwnedSlotCount; ++i) {
    RgCenterSlot& slot = record->clientSlots[i];
    if (!IsSlotInUse(slot) || IsClientProcessAlive(slot.processId, SlotStartTime(slot))) continue;
    ClearClientSlot(&slot);
    ++freed;
  }
  return freed;
}

HRESULT CRgCenterClient::TakeSlot(const ClientIdentity& who, BOOL wantsVideo, const AM_MEDIA_TYPE& type,
                                  int* slotIndex) {
  if (Record() == nullptr || slotIndex == nullptr) return E_UNEXPECTED;
  if (type.cbFormat == 0 || type.cbFormat > kSlotFormatCapacity || type.pbFormat == nullptr) return E_INVALIDARG;
  ScopedMutexLock lock(m_lock.Get(), kLockTimeoutMs);
  if (!lock.Held()) return kErrLockTimeout;
  RgCenterBlock* record = Record();
  ReclaimDeadSlotsLocked();
  const int index = LowestFreeClientSlot(*record);
  HRESULT hr = kErrNoFreeSlot;
  if (index != kNoSlot) {
    hr = FillClientSlot(who, wantsVideo, type, &record->clientSlots[index]);
    if (SUCCEEDED(hr)) *slotIndex = index;
  }
  record->clientCount = CountClientSlotsInUse(*record);
  return hr;
}

HRESULT CRgCenterClient::UpdateSlot(int slotIndex, const ClientIdentity& who, BOOL wantsVideo,
                                    const AM_MEDIA_TYPE* type) {
  if (Record() == nullptr) return E_UNEXPECTED;
  if (slotIndex < 0 || static_cast<size_t>(slotIndex) >= kClientOwnedSlotCount) return E_INVALIDARG;
  if (type != nullptr && (type->cbFormat == 0 || type->cbFormat > kSlotFormatCapacity || type->pbFormat == nullptr)) {
    return E_INVALIDARG;
  }
  ScopedMutexLock lock(m_lock.Get(), kLockTimeoutMs);
  if (!lock.Held()) return kErrLockTimeout;
  RgCenterSlot& slot = Record()->clientSlots[slotIndex];
  if (!IsSlotInUse(slot) || !IsSlotOwnedBy(slot, who)) return kErrSlotLost;
  HRESULT hr = S_OK;
  if (type != nullptr) hr = WriteSlotMediaType(*type, &slot);
  if (SUCCEEDED(hr)) slot.wantsVideo = wantsVideo ? TRUE : FALSE;
  return hr;
}

HRESULT CRgCenterClient::ReleaseSlot(int slotIndex, const ClientIdentity& who) {
  if (Record() == nullptr) return E_UNEXPECTED;
  if (slotIndex < 0 || static_cast<size_t>(slotIndex) >= kClientOwnedSlotCount) return E_INVALIDARG;
  ScopedMutexLock lock(m_lock.Get(), kLockTimeoutMs);
  if (!lock.Held()) return kErrLockTimeout;
  RgCenterBlock* record = Record();
  RgCenterSlot& slot = record->clientSlots[slotIndex];
  const bool ours = IsSlotOwnedBy(slot, who);
  if (ours) ClearClientSlot(&slot);
  record->clientCount = CountClientSlotsInUse(*record);
  return ours ? S_OK : kErrSlotLost;
}

HRESULT CRgCenterClient::ReclaimDeadSlots(int* freed) {
  if (Record() == nullptr) return E_UNEXPECTED;
  ScopedMutexLock lock(m_lock.Get(), kLockTimeoutMs);
  if (!lock.Held()) return kErrLockTimeout;
  const int count = ReclaimDeadSlotsLocked();
  Record()->clientCount = CountClientSlotsInUse(*Record());
  if (freed != nullptr) *freed = count;
  return S_OK;
}

void CRgCenterClient::Snapshot(RgCenterBlock* out, bool* locked, DWORD timeoutMs) const {
  ScopedMutexLock lock(m_lock.Get(), timeoutMs);
  memcpy(out, Record(), sizeof(RgCenterBlock));
  if (locked != nullptr) *locked = lock.Held();
}
