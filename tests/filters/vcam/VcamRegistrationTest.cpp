// The virtual camera as the system lists it: registered beside the test cameras, bound without
// side effects, skipped when a host's camera is chosen, and gone without a trace.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "VcamTestSupport.h"
#include "capture/DeviceEnumeration.h"
#include "common/ScopedRegKey.h"
#include "filters/vcam/HostCamera.h"

using Microsoft::WRL::ComPtr;

namespace {

const wchar_t kClassKey[] = L"Software\\Classes\\CLSID\\{B00741E9-C763-40BC-8EE1-EFCF1BC99824}";
const wchar_t kCategoryInstanceKey[] =
    L"Software\\Classes\\CLSID\\{860BB310-5D01-11D0-BD3B-00A0C911CE86}\\Instance\\Fontis Virtual Camera";

bool KeyExists(const wchar_t* path) {
  ScopedRegKey key;
  return ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, key.Receive()) == ERROR_SUCCESS;
}

std::vector<VideoInputDeviceInfo> VirtualCamerasListed() {
  std::vector<VideoInputDeviceInfo> devices, ours;
  ListDevices(CLSID_VideoInputDeviceCategory, &devices);
  for (const VideoInputDeviceInfo& device : devices) {
    if (device.clsidText == kVcamClsidText) ours.push_back(device);
  }
  return ours;
}

}  // namespace

TEST(VcamRegistration, ListedBesideTheCamerasBoundWithoutSideEffectsAndRemovedWithoutATrace) {
  ScopedVcamInstance instance(L"vreg");
  std::vector<VideoInputDeviceInfo> listed = VirtualCamerasListed();
  ASSERT_EQ(1u, listed.size());
  EXPECT_EQ(kVcamFriendlyName, listed[0].friendlyName);
  EXPECT_EQ(kVcamFriendlyName, listed[0].description);
  EXPECT_EQ(kVcamDevicePath, listed[0].devicePath);
  WCHAR server[MAX_PATH] = {};
  DWORD bytes = sizeof(server);
  EXPECT_EQ(ERROR_SUCCESS, ::RegGetValueW(HKEY_LOCAL_MACHINE, (std::wstring(kClassKey) + L"\\InprocServer32").c_str(),
                                          nullptr, RRF_RT_REG_SZ, nullptr, server, &bytes));
  EXPECT_EQ(SiblingPath(L"fontis_vcam.dll"), server);

  {
    // An application that lists cameras binds each one and looks at its formats: that must
    // neither register with the instance nor start a host.
    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(S_OK, BindDeviceByName(CLSID_VideoInputDeviceCategory, kVcamFriendlyName, &filter));
    EXPECT_FALSE(PinAt(filter.Get(), 1)) << "one pin";
    const ComPtr<IPin> pin = PinAt(filter.Get(), 0);
    const CMediaType first = CapsType(pin.Get(), 0);
    ASSERT_NE(nullptr, first.VideoInfo());
    EXPECT_EQ(640, first.VideoInfo()->bmiHeader.biWidth);
    EXPECT_TRUE(CapsType(pin.Get(), static_cast<int>(kVcamFormatCount) - 1).VideoInfo());
    EXPECT_FALSE(CapsType(pin.Get(), static_cast<int>(kVcamFormatCount)).VideoInfo());
  }
  CRgCenterClient channel;
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
            channel.Open(instance.Name().c_str(), CRgCenterClient::OpenMode::kExistingOnly));

  // The camera a host is asked for by GUID is named as the host matches it; a GUID no device
  // has names none. (The default, the first device but ours, which is listed before the test
  // cameras, is what the end-to-end tests' host opens.)
  CVcamSettings settings;
  HostCamera camera = {};
  ASSERT_EQ(S_OK, settings.StoreCameraGuid(kTestCameraProfiles[kTestCamSecond].clsid));
  settings.Load();
  ASSERT_EQ(S_OK, ResolveHostCamera(settings, &camera));
  EXPECT_STREQ(kTestCameraProfiles[kTestCamSecond].description, camera.name);
  ASSERT_EQ(S_OK, settings.StoreCameraGuid(kFormatVideoInfo));
  settings.Load();
  EXPECT_EQ(S_FALSE, ResolveHostCamera(settings, &camera));

  ASSERT_EQ(S_OK, g_vcam->Call("DllUnregisterServer"));
  EXPECT_TRUE(VirtualCamerasListed().empty());
  EXPECT_FALSE(KeyExists(kClassKey));
  EXPECT_FALSE(KeyExists(kCategoryInstanceKey));
  EXPECT_EQ(S_OK, g_vcam->Call("DllUnregisterServer")) << "unregistering twice is no error";
  ASSERT_EQ(S_OK, g_vcam->Call("DllRegisterServer"));
  ASSERT_EQ(S_OK, g_vcam->Call("DllRegisterServer"));
  EXPECT_EQ(1u, VirtualCamerasListed().size()) << "registering twice lists it once";
}
