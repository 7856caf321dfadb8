#include "CRgCenter.h"

#include <objbase.h>

#include <cstring>
#include <cwchar>
#include <new>

#include "CExProcLock.h"
#include "CExProcShareMem.h"
#include "CShareLockGuard.h"
#include "ObjectNames.h"
#include "RgCenterSlots.h"
#include "VideoInfoFormat.h"

namespace {

constexpr LONG kPlaceholderWidth = 640;
constexpr LONG kPlaceholderHeight = 480;
constexpr int kGuidTextCapacity = 40;

void ReportOwnProcessSlot(DWORD processId) {
  WCHAR line[96];
  swprintf(line, sizeof(line) / sizeof(line[0]), L"[process:%d]--find a processid is the same as the provided.",
           static_cast<int>(processId));
  ::OutputDebugStringW(line);
}

}  // namespace

CRgCenter* CRgCenter::CreateInstance(const WCHAR* baseName, HANDLE wakeEvent) {
  std::unique_ptr<CRgCenter> channel(new (std::nothrow) CRgCenter());
  if (!channel || FAILED(channel->Init(baseName, wakeEvent))) return nullptr;
  return channel.release();
}

CRgCenter::CRgCenter()
    : m_block(nullptr),
      m_baseName{},
      m_lastClientCount(kUnknownClientCount),
      m_lastOtherClients(kUnknownClientCount) {}

CRgCenter::~CRgCenter() {
  m_block = nullptr;
  m_sharedMemory.reset();
  m_lock.reset();
}

HRESULT CRgCenter::Init(const WCHAR* baseName, HANDLE wakeEvent) {
  BoundedCopy(m_baseName, baseName);
  WCHAR lockName[kNameCapacity], recordName[kNameCapacity];
  if (baseName == nullptr || baseName[0] == L'\0' || !ComposeObjectName(lockName, m_baseName, kSuffixRgCenterLock) ||
      !ComposeObjectName(recordName, m_baseName, kSuffixRgCenterRecord)) {
    return E_FAIL;
  }

  auto lock = std::make_unique<CExProcLock>(lockName, kLockTimeoutMs, wakeEvent);
  if (!lock->IsValid()) return E_FAIL;
  m_lock = std::move(lock);
  m_sharedMemory = std::make_unique<CExProcShareMem>();

  CShareLockGuard guard(m_lock.get());
  BOOL existed = FALSE;
  m_block = static_cast<RgCenterBlock*>(m_sharedMemory->Create(recordName, kRgCenterBlockSize, &existed));
  if (m_block == nullptr) return E_FAIL;
  if (!existed && guard.Held()) memset(m_block, 0, sizeof(RgCenterBlock));
  return S_OK;
}

HRESULT CRgCenter::PublishDevice(GUID device, const WCHAR* name) {
  if (m_block == nullptr) return E_FAIL;
  CShareLockGuard guard(m_lock.get());
  if (!guard.Held() || m_block->clientCount != 0) return E_FAIL;
  BoundedCopy(m_block->deviceName, name);
  WCHAR text[kGuidTextCapacity];
  if (::StringFromGUID2(device, text, kGuidTextCapacity) == 0) return E_OUTOFMEMORY;
  BoundedCopy(m_block->deviceGuidText, text);
  return S_OK;
}

size_t CRgCenter::SnapshotClientSlots(RgCenterSlot (&out)[kRgCenterSlotCount]) const {
  const size_t count = m_block->placeholderActive != 0 ? kRgCenterSlotCount : kClientOwnedSlotCount;
  memcpy(out, m_block->clientSlots, count * sizeof(RgCenterSlot));
  return count;
}

void CRgCenter::QueryRequestedFormat(CMediaType* out) {
  if (m_block == nullptr || out == nullptr) return;
  CShareLockGuard guard(m_lock.get());
  if (!guard.Held()) return;
  RgCenterSlot slots[kRgCenterSlotCount];
  const size_t count = SnapshotClientSlots(slots);
  const int chosen = ChooseLargestFormat(slots, count);
  if (chosen == kNoSlot) {
    out->SetEmpty();
  } else {
    CopySlotMediaType(slots[chosen], out);  // out of memory leaves a type without its format
  }
}

BOOL CRgCenter::QueryOutputFormat(CMediaType* out) {
  if (m_block == nullptr || out == nullptr) return TRUE;
  CShareLockGuard guard(m_lock.get());
  if (!guard.Held()) return TRUE;
  RgCenterSlot slots[kRgCenterSlotCount];
  memcpy(slots, m_block->outputSlots, sizeof(slots));
  const int chosen = ChooseLargestFormat(slots, kRgCenterSlotCount);
  if (chosen == kNoSlot) {
    out->SetEmpty();
  } else {
    CopySlotMediaType(slots[chosen], out);
  }
  return TRUE;
}

WORD CRgCenter::CountClients(BOOL othersOnly) {
  if (m_block == nullptr) return 0;
  CShareLockGuard guard(m_lock.get());
  if (!guard.Held()) return othersOnly ? m_lastOtherClients : m_lastClientCount;
  const WORD registered = m_block->clientCount;
  m_lastClientCount = registered;
  if (!othersOnly) return registered;

  const DWORD self = ::GetCurrentProcessId();
  WORD found = 0;
  for (size_t i = 0; i < kClientOwnedSlotCount && found < registered; ++i) {
    const RgCenterSlot& slot = m_block->clientSlots[i];
    if (!IsSlotInUse(slot)) continue;
    if (slot.processId == self) {
      ReportOwnProcessSlot(self);
    } else {
      ++found;
    }
  }
  m_lastOtherClients = found;
  return found;
}

BOOL CRgCenter::DemandDiffers(BOOL expected) {
  if (m_block == nullptr) return FALSE;
  CShareLockGuard guard(m_lock.get());
  if (!guard.Held()) return FALSE;
  RgCenterSlot slots[kRgCenterSlotCount];
  const size_t count = SnapshotClientSlots(slots);
  const bool demand = AnySlotWantsVideo(slots, count);
  return demand != (expected != FALSE) ? TRUE : FALSE;
}

HRESULT CRgCenter::SetPlaceholder(BOOL locked) {
  if (m_block == nullptr) return S_OK;
  CShareLockGuard guard(m_lock.get());
  if (!guard.Held()) return S_OK;
  m_block->placeholderActive = locked ? TRUE : FALSE;
  CMediaType type;
  const LONG width = locked ? kPlaceholderWidth : 0;
  const LONG height = locked ? kPlaceholderHeight : 0;
  if (FAILED(BuildVideoInfoType(width, height, VideoSubtype::kRgb24, &type)) || type->pbFormat == nullptr) {
    return S_OK;  // out of memory: slot 8 stays as it was
  }
  RgCenterSlot& slot = m_block->clientSlots[kPlaceholderSlot];
  if (SUCCEEDED(WriteSlotMediaType(type.Get(), &slot))) slot.wantsVideo = locked ? TRUE : FALSE;
  return S_OK;
}
