#include "CRgCenterClient.h"

#include <cstring>

#include "NamedObjects.h"
#include "ObjectNames.h"
#include "RgCenterSlots.h"
#include "common/ScopedMutexLock.h"

HRESULT CRgCenterClient::Open(const WCHAR* instanceName, OpenMode mode) {
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
  m_view.Reset(::MapViewOfFile(m_mapping.Get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, kRgCenterBlockSize));
  if (!m_view.IsValid()) return HRESULT_FROM_WIN32(::GetLastError());
  return S_OK;
}

HRESULT CRgCenterClient::TakeSlot(DWORD processId, BOOL wantsVideo, const AM_MEDIA_TYPE& type, int* slotIndex) {
  if (Record() == nullptr || slotIndex == nullptr) return E_UNEXPECTED;
  if (type.cbFormat == 0 || type.cbFormat > kSlotFormatCapacity || type.pbFormat == nullptr) return E_INVALIDARG;
  ScopedMutexLock lock(m_lock.Get(), kLockTimeoutMs);
  if (!lock.Held()) return HRESULT_FROM_WIN32(WAIT_TIMEOUT);
  RgCenterBlock* record = Record();
  for (size_t i = 0; i < kClientOwnedSlotCount; ++i) {
    RgCenterSlot& slot = record->clientSlots[i];
    if (IsSlotInUse(slot)) continue;
    slot.processId = processId;
    slot.wantsVideo = wantsVideo ? TRUE : FALSE;
    WriteSlotMediaType(type, &slot);
    ++record->clientCount;
    *slotIndex = static_cast<int>(i);
    return S_OK;
  }
  return kErrNoFreeSlot;
}

HRESULT CRgCenterClient::ReleaseSlot(int slotIndex) {
  if (Record() == nullptr) return E_UNEXPECTED;
  if (slotIndex < 0 || static_cast<size_t>(slotIndex) >= kClientOwnedSlotCount) return E_INVALIDARG;
  ScopedMutexLock lock(m_lock.Get(), kLockTimeoutMs);
  if (!lock.Held()) return HRESULT_FROM_WIN32(WAIT_TIMEOUT);
  RgCenterBlock* record = Record();
  RgCenterSlot& slot = record->clientSlots[slotIndex];
  slot.mediaType.cbFormat = 0;
  slot.wantsVideo = FALSE;
  slot.processId = 0;
  if (record->clientCount > 0) --record->clientCount;
  return S_OK;
}

void CRgCenterClient::Snapshot(RgCenterBlock* out, bool* locked, DWORD timeoutMs) const {
  ScopedMutexLock lock(m_lock.Get(), timeoutMs);
  memcpy(out, Record(), sizeof(RgCenterBlock));
  if (locked != nullptr) *locked = lock.Held();
}
