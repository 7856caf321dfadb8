// The instance status record "<instance>_NVFS_GRAPHERR_INFO": 560 bytes shared with clients that
// are not ours, so every offset is fixed.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "common/WideString.h"

// Values of `state`: the status operation last begun or recorded.
enum StatusOperation : int32_t {
  kOpNone = 0,
  kOpStopGraph = 1,
  kOpDestroyGraph = 2,
  kOpReleaseGraph = 3,
  kOpHostStartup = 4,
  kOpUnused5 = 5,
  kOpRestartCapture = 6,
  kOpSetCaptureFormat = 7,
  kOpBuildGraph = 8,
  kOpRunGraph = 9,
};

// Values of `hostCondition`: what the host's session and power state allow.
constexpr int32_t kHostConditionNormal = 3;        // session active, system awake
constexpr int32_t kHostConditionSuspended = 2;     // the system suspends (or was asked to)
constexpr int32_t kHostConditionDisconnected = 1;  // the console was disconnected from the session
constexpr int32_t kHostConditionLocked = 0;        // the session is locked

struct GraphErrInfo {
  int32_t state;
  int32_t hostCondition;
  uint32_t pending;
  uint32_t released;
  int32_t result;  // an HRESULT
  WCHAR deviceName[kNameCapacity];
  GUID deviceGuid;
  uint32_t deviceChangePending;
};

static_assert(sizeof(WCHAR) == 2, "records hold UTF-16");
static_assert(sizeof(GraphErrInfo) == 560, "GraphErrInfo is 560 bytes");
static_assert(offsetof(GraphErrInfo, state) == 0, "state");
static_assert(offsetof(GraphErrInfo, hostCondition) == 4, "hostCondition");
static_assert(offsetof(GraphErrInfo, pending) == 8, "pending");
static_assert(offsetof(GraphErrInfo, released) == 12, "released");
static_assert(offsetof(GraphErrInfo, result) == 16, "result");
static_assert(offsetof(GraphErrInfo, deviceName) == 20, "deviceName");
static_assert(offsetof(GraphErrInfo, deviceGuid) == 540, "deviceGuid");
static_assert(offsetof(GraphErrInfo, deviceChangePending) == 556, "deviceChangePending");
