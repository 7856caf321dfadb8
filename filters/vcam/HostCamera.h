// Which real camera the virtual camera asks a host to open: the one the settings name, else the
// first video input device other than the virtual camera itself. Needs COM on the calling
// thread (it enumerates the devices); no state.
#pragma once

#include <windows.h>

#include "common/WideString.h"
#include "filters/vcam/CVcamSettings.h"

struct HostCamera {
  WCHAR name[kNameCapacity];  // what the host matches: a device's display name or path
  GUID guid;                  // the device's CLSID, GUID_NULL when unknown
};

// S_OK with the camera; S_FALSE when there is none to ask for (no device but ours, or a GUID
// set alone that no device has). A name set in the settings is taken as it is: whether such a
// device exists is the host's to find out.
HRESULT ResolveHostCamera(const CVcamSettings& settings, HostCamera* camera);
