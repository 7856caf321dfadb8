#include "LiveInstance.h"

#include "NamedObjects.h"
#include "ObjectNames.h"
#include "common/ScopedMutexLock.h"

namespace {

constexpr DWORD kHostClaimGraceMs = 1000;

// Whether the flag mutex exists, looked at under liveLock as hosts do. Returns false when the
// lock could not be had in time (then *exists is not set).
bool FlagExists(const WCHAR* instanceName, bool* exists) {
  WCHAR lockName[kNameCapacity], flagName[kNameCapacity];
  if (!ComposeObjectName(lockName, instanceName, kSuffixLiveLock) ||
      !ComposeObjectName(flagName, instanceName, kSuffixLiveFlag)) {
    return false;
  }
  ScopedHandle liveLock(CreateOrOpenMutex(FALSE, lockName));
  if (!liveLock.IsValid()) return false;
  ScopedMutexLock lock(liveLock.Get(), kLiveLockClientTimeoutMs);
  if (!lock.Held()) return false;
  ScopedHandle flag(CreateOrOpenMutex(FALSE, flagName));
  *exists = flag.IsValid() && ::GetLastError() == ERROR_ALREADY_EXISTS;
  return true;
}

}  // namespace

BOOL AcquireLiveInstance(const WCHAR* instanceName, CGraphErrInfo& status, ScopedHandle& liveLock,
                         ScopedHandle& liveFlag, ScopedHandle& liveWaitEvent) {
  WCHAR lockName[kNameCapacity], flagName[kNameCapacity], waitName[kNameCapacity];
  if (!ComposeObjectName(lockName, instanceName, kSuffixLiveLock) ||
      !ComposeObjectName(flagName, instanceName, kSuffixLiveFlag) ||
      !ComposeObjectName(waitName, instanceName, kSuffixLiveWaitEvent)) {
    return FALSE;
  }
  liveLock.Reset(CreateOrOpenMutex(FALSE, lockName));
  if (!liveLock.IsValid()) return FALSE;

  bool serves = false;
  {
    const DWORD wait = ::WaitForSingleObject(liveLock.Get(), kLiveLockHostTimeoutMs);
    if (wait == WAIT_TIMEOUT) {
      serves = true;  // whoever holds the lock is stuck; serve without a flag
    } else {
      // An existing flag is opened without ownership: this process must wait for it.
      liveFlag.Reset(CreateOrOpenMutex(TRUE, flagName));
      serves = ::GetLastError() != ERROR_ALREADY_EXISTS;
      if (IsLockObtained(wait)) ::ReleaseMutex(liveLock.Get());
    }
  }

  liveWaitEvent.Reset(CreateOrOpenEvent(TRUE, FALSE, waitName));
  while (!serves) {
    {
      const DWORD wait = ::WaitForSingleObject(liveLock.Get(), kLiveLockHostTimeoutMs);
      if (wait != WAIT_TIMEOUT) {
        ::SetEvent(liveWaitEvent.Get());
        if (IsLockObtained(wait)) ::ReleaseMutex(liveLock.Get());
      }
    }
    if (status.IsGraphHealthy()) {
      ::ResetEvent(liveWaitEvent.Get());
      return FALSE;
    }
    // Released by its owner or abandoned by a host that died: either way the flag is ours.
    if (::WaitForSingleObject(liveFlag.Get(), kLiveFlagPassMs) != WAIT_TIMEOUT) {
      serves = true;
      ::ResetEvent(liveWaitEvent.Get());
    }
  }
  return TRUE;
}

bool BeginLiveInstanceEnd(ScopedHandle& liveFlag, ScopedHandle& liveLock, HANDLE liveWaitEvent,
                          bool* successorWaits) {
  ::ReleaseMutex(liveFlag.Get());
  *successorWaits = false;
  if (!liveLock.IsValid() || !IsLockObtained(::WaitForSingleObject(liveLock.Get(), kLiveLockHostTimeoutMs))) {
    return false;
  }
  *successorWaits = ::WaitForSingleObject(liveWaitEvent, kSuccessorCheckMs) == WAIT_OBJECT_0;
  return true;
}

void FinishLiveInstanceEnd(ScopedHandle& liveFlag, ScopedHandle& liveLock, bool lockHeld) {
  if (lockHeld) {
    liveFlag.Close();
    ::ReleaseMutex(liveLock.Get());
  }
  liveLock.Close();
}

HostPresence ProbeHostPresence(const WCHAR* instanceName) {
  bool hostServes = false;
  FlagExists(instanceName, &hostServes);

  CGraphErrInfo status;
  if (hostServes && SUCCEEDED(status.Open(instanceName)) && status.IsGraphHealthy()) return HostPresence::kHealthy;

  WCHAR waitName[kNameCapacity];
  if (ComposeObjectName(waitName, instanceName, kSuffixLiveWaitEvent)) {
    ScopedHandle waitEvent(::OpenEventW(SYNCHRONIZE, FALSE, waitName));
    if (waitEvent.IsValid() && ::WaitForSingleObject(waitEvent.Get(), kSuccessorCheckMs) == WAIT_OBJECT_0) {
      return HostPresence::kSuccessorWaiting;
    }
  }
  return hostServes ? HostPresence::kUnhealthy : HostPresence::kNone;
}

bool IsInstanceFlagPresent(const WCHAR* instanceName) {
  WCHAR flagName[kNameCapacity];
  if (!ComposeObjectName(flagName, instanceName, kSuffixLiveFlag)) return false;
  ScopedHandle flag(::OpenMutexW(SYNCHRONIZE, FALSE, flagName));
  return flag.IsValid();
}

void AwaitHostFlag(const WCHAR* instanceName) {
  bool exists = false;
  if (FlagExists(instanceName, &exists) && !exists) ::Sleep(kHostClaimGraceMs);
}
