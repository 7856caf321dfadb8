// The rule by which the host takes over a camera that a client asks for in the status record:
// at start-up, on a device-change message, and in the retry loop's check that no client has
// meanwhile asked for another camera. IsOtherCamera is pure (any thread); TakeOverCameraRequest
// belongs to the main thread.
#pragma once

#include <windows.h>

struct ApplicationState;

// Whether the requested camera is another one than the camera in use: another name (exact,
// case-sensitive, an empty one included), or a GUID that is neither null nor the one in use.
BOOL IsOtherCamera(const WCHAR* requestedName, const GUID& requestedGuid, const WCHAR* currentName,
                   const GUID& currentGuid);

// Reads the camera request in the status record and, when it names another camera, makes it the
// camera in use (deviceName, deviceGuid). TRUE when it was taken over.
BOOL TakeOverCameraRequest(ApplicationState& app);
