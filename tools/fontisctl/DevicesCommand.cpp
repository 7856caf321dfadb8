// fontisctl devices: the video input devices as the host sees them when it looks for a camera
// by name: display name, description, device path, CLSID and whether the kernel-streaming proxy
// serves the device.
#include <objbase.h>
#include <uuids.h>

#include <cstdio>
#include <vector>

#include "Commands.h"
#include "CtlOutput.h"
#include "capture/DeviceEnumeration.h"
#include "common/ScopedComApartment.h"

const char kDevicesUsage[] = "devices";

namespace {

// A value the device did not report is shown as such, not as an empty string.
std::string ValueOrAbsent(bool present, const std::wstring& value) {
  return present ? "\"" + Narrow(value.c_str()) + "\"" : "(none)";
}

}  // namespace

int RunDevicesCommand(int argc, wchar_t** /*argv*/) {
  if (argc != 0) return UsageError("devices takes no arguments", kDevicesUsage);
  ScopedComApartment com;
  if (FAILED(com.Result())) {
    fprintf(stderr, "fontisctl: COM cannot be initialised: %s\n", DescribeHResult(com.Result()).c_str());
    return kExitFailure;
  }
  std::vector<VideoInputDeviceInfo> devices;
  const HRESULT hr = ListDevices(CLSID_VideoInputDeviceCategory, &devices);
  if (FAILED(hr)) {
    fprintf(stderr, "fontisctl: the video input devices cannot be enumerated: %s\n", DescribeHResult(hr).c_str());
    return kExitFailure;
  }
  printf("video input devices %u\n", static_cast<unsigned>(devices.size()));
  unsigned index = 0;
  for (const VideoInputDeviceInfo& device : devices) {
    const bool proxy = device.hasClsid && IsKsProxyClsid(device.clsidText.c_str());
    printf("device %u\n", index++);
    printf("  display name   %s\n", ValueOrAbsent(device.hasDisplayName, device.displayName).c_str());
    printf("  friendly name  %s\n", ValueOrAbsent(!device.friendlyName.empty(), device.friendlyName).c_str());
    printf("  description    %s\n", ValueOrAbsent(!device.description.empty(), device.description).c_str());
    printf("  device path    %s\n", ValueOrAbsent(device.hasDevicePath, device.devicePath).c_str());
    printf("  clsid          %s\n", device.hasClsid ? Narrow(device.clsidText.c_str()).c_str() : "(none)");
    printf("  ksproxy        %s\n", proxy ? "yes" : "no");
  }
  return kExitOk;
}
