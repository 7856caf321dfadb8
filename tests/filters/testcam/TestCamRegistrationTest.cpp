// Registration of the test cameras: what the system device enumerator lists after
// DllRegisterServer and after DllUnregisterServer, and what a device moniker binds to.
#include <gtest/gtest.h>

#include "CameraTestHelpers.h"
#include "filters/testcam/TestCameraProfiles.h"

using Microsoft::WRL::ComPtr;

namespace {
// Index of the profile whose CLSID the device names, or kTestCameraCount.
size_t ProfileOf(const VideoDevice& device) {
  for (size_t i = 0; i < kTestCameraCount; ++i) {
    if (device.clsid == GuidText(kTestCameraProfiles[i].clsid)) return i;
  }
  return kTestCameraCount;
}

std::wstring RegistryString(const std::wstring& key, const wchar_t* name) {
  wchar_t buffer[MAX_PATH] = {};
  DWORD bytes = sizeof(buffer);
  if (::RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &bytes) != ERROR_SUCCESS) {
    return std::wstring();
  }
  return buffer;
}
}  // namespace

TEST(TestCamRegistration, EnumeratorListsEveryCameraInOrderWithItsValues) {
  std::vector<size_t> seen;
  for (const VideoDevice& device : EnumerateVideoDevices()) {
    const size_t index = ProfileOf(device);
    if (index == kTestCameraCount) continue;
    const TestCameraProfile& profile = kTestCameraProfiles[index];
    EXPECT_EQ(profile.friendlyName, device.friendlyName) << index;
    EXPECT_EQ(profile.description, device.description) << index;
    EXPECT_EQ(profile.devicePath, device.devicePath) << index;
    seen.push_back(index);
  }
  // Tests of camera selection rely on this order (first of two equal display names wins).
  const std::vector<size_t> expected = {0, 1, 2, 3, 4, 5};
  EXPECT_EQ(expected, seen);

  for (const TestCameraProfile& profile : kTestCameraProfiles) {
    const std::wstring key = L"Software\\Classes\\CLSID\\" + GuidText(profile.clsid) + L"\\InprocServer32";
    const std::wstring server = RegistryString(key, nullptr);
    ASSERT_GE(server.size(), 18u);
    EXPECT_EQ(L"fontis_testcam.dll", server.substr(server.size() - 18));
    EXPECT_EQ(L"Both", RegistryString(key, L"ThreadingModel"));
  }
}

TEST(TestCamRegistration, DeviceMonikersBindToTheirCameras) {
  size_t bound = 0;
  for (const VideoDevice& device : EnumerateVideoDevices()) {
    const size_t index = ProfileOf(device);
    if (index == kTestCameraCount) continue;
    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(S_OK, device.moniker->BindToObject(nullptr, nullptr, IID_PPV_ARGS(&filter))) << index;
    CLSID clsid = {};
    EXPECT_EQ(S_OK, filter->GetClassID(&clsid));
    EXPECT_EQ(kTestCameraProfiles[index].clsid, clsid);
    const int pins = kTestCameraProfiles[index].previewPinFirst ? 2 : 1;
    EXPECT_TRUE(PinAt(filter.Get(), pins - 1));
    EXPECT_FALSE(PinAt(filter.Get(), pins));
    ++bound;
  }
  EXPECT_EQ(static_cast<size_t>(kTestCameraCount), bound);
}

TEST(TestCamRegistration, UnregisterRemovesEveryCameraAndRegisterRestoresThem) {
  TestCameraRegistration& registration = g_cameras->Registration();
  ASSERT_EQ(S_OK, registration.Unregister());
  for (const VideoDevice& device : EnumerateVideoDevices()) {
    EXPECT_EQ(kTestCameraCount, ProfileOf(device)) << "camera still listed";
  }
  EXPECT_EQ(std::wstring(), RegistryString(L"Software\\Classes\\CLSID\\" +
                                               GuidText(kTestCameraProfiles[0].clsid) + L"\\InprocServer32",
                                           nullptr));
  ComPtr<IBaseFilter> filter;
  EXPECT_EQ(REGDB_E_CLASSNOTREG, ::CoCreateInstance(kTestCameraProfiles[0].clsid, nullptr, CLSCTX_INPROC_SERVER,
                                                    IID_PPV_ARGS(&filter)));
  // Unregistering what is not there is not an error: a crashed test run can always be undone.
  EXPECT_EQ(S_OK, registration.Unregister());

  ASSERT_EQ(S_OK, registration.Register());
  size_t listed = 0;
  for (const VideoDevice& device : EnumerateVideoDevices()) {
    if (ProfileOf(device) != kTestCameraCount) ++listed;
  }
  EXPECT_EQ(static_cast<size_t>(kTestCameraCount), listed);
  // Registering twice does not duplicate devices.
  ASSERT_EQ(S_OK, registration.Register());
  listed = 0;
  for (const VideoDevice& device : EnumerateVideoDevices()) {
    if (ProfileOf(device) != kTestCameraCount) ++listed;
  }
  EXPECT_EQ(static_cast<size_t>(kTestCameraCount), listed);
}
