// Which process serves an instance: the liveness objects "NVFS_LIVE_MX" (short lock),
// "NVFS_LIVE_FLAG_MX" (owned by the serving host's main thread) and "NVFS_LIVE_WAIT_EV"
// (set while a successor waits), and the steps hosts and clients take around them.
// Host-side calls run on the main thread, before other threads exist or at shutdown.
#pragma once

#include <windows.h>

#include "CGraphErrInfo.h"
#include "common/ScopedHandle.h"

constexpr DWORD kLiveLockHostTimeoutMs = 16000;
constexpr DWORD kLiveFlagPassMs = 200;
constexpr DWORD kLiveLockClientTimeoutMs = 4000;
constexpr DWORD kSuccessorCheckMs = 10;

// TRUE: this process now serves the instance (and normally owns the flag). FALSE: a healthy
// host serves it, or the lock could not be made; the process then ends.
BOOL AcquireLiveInstance(const WCHAR* instanceName, CGraphErrInfo& status, ScopedHandle& liveLock,
                         ScopedHandle& liveFlag, ScopedHandle& liveWaitEvent);

// The serving host's end, first half: gives up the flag, then takes the lock. Returns whether
// the lock is held; *successorWaits tells whether a starting host waits to take over (then the
// status record must be left as it stands).
bool BeginLiveInstanceEnd(ScopedHandle& liveFlag, ScopedHandle& liveLock, HANDLE liveWaitEvent,
                          bool* successorWaits);

// Second half: closes the flag (when the lock was had), then releases and closes the lock.
void FinishLiveInstanceEnd(ScopedHandle& liveFlag, ScopedHandle& liveLock, bool lockHeld);

// What a client finds before it would start a host.
enum class HostPresence {
  kNone,             // no host holds the instance and none waits: start one
  kHealthy,          // a host serves with a built or running graph
  kUnhealthy,        // a host holds the instance, its graph not seen healthy (or its record busy):
                     // start one, which waits to take over
  kSuccessorWaiting, // a host is already waiting to take over
};
HostPresence ProbeHostPresence(const WCHAR* instanceName);

// Whether the instance's flag mutex exists, that is whether some host holds the instance. Opens
// only (never creates) and without the liveness lock, for tools that look on: the answer may be
// stale at once.
bool IsInstanceFlagPresent(const WCHAR* instanceName);

// After starting a host: give it up to a second to claim the flag, so that a client that asks
// again at once does not start a second one.
void AwaitHostFlag(const WCHAR* instanceName);
