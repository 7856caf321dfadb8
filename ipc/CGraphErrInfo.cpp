#include "CGraphErrInfo.h"

#include <cstring>

#include "CExProcShareMem.h"
#include "NamedObjects.h"
#include "ObjectNames.h"
#include "common/ScopedMutexLock.h"

namespace {

bool IsBuiltOrRunning(int32_t state) { return state == kOpBuildGraph || state == kOpRunGraph; }

// Fresh-record values; `deviceGuid` is left alone by both initialisation and reset.
void WriteFreshValues(GraphErrInfo* block) {
  block->result = E_UNEXPECTED;
  block->hostCondition = kHostConditionNormal;
  block->state = kOpNone;
  block->pending = 0;
  block->released = 0;
  block->deviceName[0] = L'\0';
  block->deviceChangePending = 0;
}

void SetSignalled(HANDLE event, bool signalled) {
  if (signalled) {
    ::SetEvent(event);
  } else {
    ::ResetEvent(event);
  }
}

}  // namespace

CGraphErrInfo::CGraphErrInfo() : m_block(nullptr), m_instanceName{}, m_isOpen(FALSE) {}

CGraphErrInfo::~CGraphErrInfo() { Close(); }

HRESULT CGraphErrInfo::Open(const WCHAR* instanceName) {
  if (instanceName != nullptr && m_instanceName[0] != L'\0' && m_isOpen &&
      wcscmp(m_instanceName, instanceName) == 0) {
    return S_OK;
  }
  Close();
  if (instanceName == nullptr) return E_UNEXPECTED;

  WCHAR lockName[kNameCapacity], connectName[kNameCapacity], runName[kNameCapacity];
  WCHAR deviceName[kNameCapacity], recordName[kNameCapacity];
  if (!ComposeObjectName(lockName, instanceName, kSuffixCheckErrLock) ||
      !ComposeObjectName(connectName, instanceName, kSuffixConnectEvent) ||
      !ComposeObjectName(runName, instanceName, kSuffixRunEvent) ||
      !ComposeObjectName(deviceName, instanceName, kSuffixDeviceChangeEvent) ||
      !ComposeObjectName(recordName, instanceName, kSuffixStatusRecord)) {
    return E_UNEXPECTED;
  }

  m_checkErrLock.Reset(CreateOrOpenMutex(FALSE, lockName));
  if (!m_checkErrLock.IsValid()) return E_UNEXPECTED;
  m_connectEvent.Reset(CreateOrOpenEvent(TRUE, FALSE, connectName));
  m_runEvent.Reset(CreateOrOpenEvent(TRUE, FALSE, runName));
  m_deviceChangeEvent.Reset(CreateOrOpenEvent(TRUE, FALSE, deviceName));
  if (!m_connectEvent.IsValid() || !m_runEvent.IsValid() || !m_deviceChangeEvent.IsValid()) {
    Close();
    return E_UNEXPECTED;
  }

  m_sharedMemory = std::make_unique<CExProcShareMem>();
  BOOL existed = FALSE;
  m_block = static_cast<GraphErrInfo*>(m_sharedMemory->Create(recordName, sizeof(GraphErrInfo), &existed));
  if (m_block == nullptr) {
    Close();
    return E_UNEXPECTED;
  }

  if (!existed) {
    // A reader that opens the record before the lock below sees the fresh values already.
    m_block->result = E_UNEXPECTED;
    m_block->hostCondition = kHostConditionNormal;
    m_block->state = kOpNone;
    m_block->released = 0;
  }
  {
    ScopedMutexLock lock(m_checkErrLock.Get(), kInitLockTimeoutMs);
    if (lock.Held() && !existed) WriteFreshValues(m_block);
  }

  m_isOpen = TRUE;
  BoundedCopy(m_instanceName, instanceName);
  return S_OK;
}

HRESULT CGraphErrInfo::Close() {
  m_checkErrLock.Close();
  m_connectEvent.Close();
  m_runEvent.Close();
  m_deviceChangeEvent.Close();
  m_sharedMemory.reset();
  m_block = nullptr;
  m_isOpen = FALSE;
  return S_OK;
}

HRESULT CGraphErrInfo::Reset() {
  if (!m_isOpen) return S_OK;
  ScopedMutexLock lock(m_checkErrLock.Get(), kResetLockTimeoutMs);
  if (lock.Held()) {
    WriteFreshValues(m_block);
    SetSignalled(m_runEvent.Get(), false);
    SetSignalled(m_connectEvent.Get(), false);
  }
  return S_OK;
}

// The three writers share one shape: nothing when closed, nothing (but S_OK) when the lock is
// not had within 8 s, and a 1 ms pause after the release so that a waiting process gets its turn.
template <typename Change>
HRESULT CGraphErrInfo::WriteUnderLock(Change change) {
  if (!m_isOpen) return E_UNEXPECTED;
  ScopedMutexLock lock(m_checkErrLock.Get(), kWriteLockTimeoutMs);
  if (!lock.Held()) return S_OK;
  change(m_block);
  lock.Unlock();
  ::Sleep(1);
  return S_OK;
}

HRESULT CGraphErrInfo::BeginOperation(int32_t operation) {
  return WriteUnderLock([&](GraphErrInfo* block) {
    if (operation == kOpStopGraph && IsBuiltOrRunning(block->state)) {
      // Stopping a built graph reports it as built, not as stopped.
      block->state = kOpBuildGraph;
      block->pending = 0;
      SetSignalled(m_runEvent.Get(), false);
    } else if (block->result >= 0) {
      block->state = operation;
      block->pending = 1;
    }
    if (block->deviceChangePending != 0) {
      block->state = operation;
      block->pending = 1;
    }
    if (operation == kOpReleaseGraph) {
      block->released = 1;
      SetSignalled(m_runEvent.Get(), false);
      SetSignalled(m_connectEvent.Get(), false);
    } else {
      block->released = 0;
    }
  });
}

HRESULT CGraphErrInfo::EndOperation(HRESULT result, int32_t operation) {
  return WriteUnderLock([&](GraphErrInfo* block) {
    if (operation == kOpStopGraph && IsBuiltOrRunning(block->state)) {
      block->state = kOpBuildGraph;
      block->pending = 0;
      SetSignalled(m_connectEvent.Get(), true);
      SetSignalled(m_runEvent.Get(), false);
      return;
    }
    // A successful lower operation neither lowers a higher state nor clears a recorded failure.
    const bool recorded = operation >= block->state || operation == kOpRunGraph ||
                          (FAILED(result) && (block->result >= 0 || operation != kOpNone));
    if (!recorded) return;
    block->result = result;
    block->pending = 0;
    block->state = operation;
    SetSignalled(m_connectEvent.Get(), IsBuiltOrRunning(operation));
    SetSignalled(m_runEvent.Get(), operation == kOpRunGraph);
  });
}

HRESULT CGraphErrInfo::SetHostCondition(int32_t value) {
  return WriteUnderLock([&](GraphErrInfo* block) {
    if (block->result >= 0) block->hostCondition = value;
  });
}

void CGraphErrInfo::CopyRequestedName(WCHAR (&out)[kNameCapacity]) const {
  // Clients write the name without our lock and may leave it unterminated: copy within bounds.
  const size_t length = BoundedLength(m_block->deviceName, kNameCapacity - 1);
  memcpy(out, m_block->deviceName, length * sizeof(WCHAR));
  out[length] = L'\0';
}

BOOL CGraphErrInfo::GetDeviceRequest(WCHAR* name, size_t capacity, GUID* guid) {
  if (!m_isOpen || name == nullptr) return FALSE;
  WCHAR requested[kNameCapacity];
  CopyRequestedName(requested);
  BoundedCopy(name, capacity, requested);
  if (guid != nullptr) *guid = m_block->deviceGuid;
  return ::WaitForSingleObject(m_deviceChangeEvent.Get(), 0) == WAIT_OBJECT_0;
}

HRESULT CGraphErrInfo::AckDeviceRequest(const WCHAR* name, GUID guid) {
  if (!m_isOpen || name == nullptr) return E_UNEXPECTED;
  WCHAR requested[kNameCapacity];
  CopyRequestedName(requested);
  const GUID requestedGuid = m_block->deviceGuid;
  const bool sameName = wcscmp(name, requested) == 0;
  const bool sameGuid = !IsEqualGUID(guid, GUID_NULL) && IsEqualGUID(guid, requestedGuid);
  if (sameName || sameGuid) {
    m_block->deviceChangePending = 0;
    SetSignalled(m_deviceChangeEvent.Get(), false);
  }
  return S_OK;
}

BOOL CGraphErrInfo::IsGraphHealthy() {
  if (!m_isOpen) return FALSE;
  ScopedMutexLock lock(m_checkErrLock.Get(), 0);
  if (!lock.Held()) return FALSE;
  const GraphErrInfo* block = m_block;
  return block->result >= 0 && IsBuiltOrRunning(block->state) && block->pending == 0 &&
         block->deviceChangePending == 0;
}
