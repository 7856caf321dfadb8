// Choosing the real camera for a host the virtual camera starts.
#include "filters/vcam/HostCamera.h"

#include <uuids.h>

#include <vector>

#include "capture/DeviceEnumeration.h"
#include "common/GuidText.h"
#include "filters/vcam/VcamIdentity.h"

HRESULT ResolveHostCamera(const CVcamSettings& settings, HostCamera* camera) {
  if (camera == nullptr) return E_POINTER;
  camera->name[0] = L'\0';
  camera->guid = settings.CameraGuid();
  if (settings.CameraName()[0] != L'\0') {
    BoundedCopy(camera->name, settings.CameraName());
    return S_OK;
  }
  // The host finds a camera by name only (an empty name cannot cross its command line), so a
  // GUID set alone is turned into that device's name, and no GUID means the first device.
  std::vector<VideoInputDeviceInfo> devices;
  if (ListDevices(CLSID_VideoInputDeviceCategory, &devices) != S_OK) return S_FALSE;
  for (const VideoInputDeviceInfo& device : devices) {
    GUID clsid = GUID_NULL;
    if (!device.hasClsid || !ParseGuidText(device.clsidText.c_str(), &clsid) ||
        IsEqualGUID(clsid, kVcamClsid)) {
      continue;
    }
    if (!IsEqualGUID(settings.CameraGuid(), GUID_NULL) && !IsEqualGUID(settings.CameraGuid(), clsid)) continue;
    // The name the host compares: the display name, else the device path.
    const std::wstring& name = device.hasDisplayName ? device.displayName : device.devicePath;
    if (name.empty()) continue;
    BoundedCopy(camera->name, name.c_str());
    camera->guid = clsid;
    return S_OK;
  }
  return S_FALSE;
}
