#include "CameraRequest.h"

#include <cwchar>

#include "shell/ApplicationState.h"

BOOL IsOtherCamera(const WCHAR* requestedName, const GUID& requestedGuid, const WCHAR* currentName,
                   const GUID& currentGuid) {
  if (wcscmp(requestedName, currentName) != 0) return TRUE;
  return !IsEqualGUID(requestedGuid, GUID_NULL) && !IsEqualGUID(requestedGuid, currentGuid);
}

BOOL TakeOverCameraRequest(ApplicationState& app) {
  WCHAR requestedName[kNameCapacity];
  GUID requestedGuid = GUID_NULL;
  app.statusBlock.GetDeviceRequest(requestedName, kNameCapacity, &requestedGuid);
  if (!IsOtherCamera(requestedName, requestedGuid, app.deviceName, app.deviceGuid)) return FALSE;
  BoundedCopy(app.deviceName, requestedName);
  app.deviceGuid = requestedGuid;
  return TRUE;
}
