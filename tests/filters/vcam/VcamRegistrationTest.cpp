// Our sources as the system lists them: the virtual camera bound without side effects and skipped
// when a host's camera is chosen; it and the test cameras listed once however often they are
// registered, and gone without a trace.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "VcamTestSupport.h"
#include "capture/DeviceEnumeration.h"
#include "filters/vcam/HostCamera.h"

using Microsoft::WRL::ComPtr;

TEST(VcamRegistration, BoundWithoutSideEffectsAndSkippedWhenAHostsCameraIsChosen) {
  ScopedVcamInstance instance(L"vreg");
  {
    // An application that lists cameras binds each one and looks at its formats: that must
    // neither register with the instance nor start a host.
    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(S_OK, BindDeviceByName(CLSID_VideoInputDeviceCategory, kVcamFriendlyName, &filter));
    const ComPtr<IPin> pin = PinAt(filter.Get(), 0);
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
}

TEST(FilterRegistration, EachSourceIsListedOnceHoweverOftenRegisteredAndUnregisteringLeavesNoTrace) {
  const struct {
    const char* what;
    RegisteredFilterDll* dll;
    std::vector<const CLSID*> classes;
    std::vector<std::wstring> devicePaths;
  } sources[] = {
      {"virtual camera", g_vcam, {&kVcamClsid}, {kVcamDevicePath}},
      {"test cameras", &g_cameras->Registration(),
       {&kTestCameraProfiles[0].clsid, &kTestCameraProfiles[kTestCameraCount - 1].clsid},
       {kTestCameraProfiles[0].devicePath, kTestCameraProfiles[kTestCameraCount - 1].devicePath}},
  };
  const auto timesListed = [](const std::wstring& path) {
    std::vector<VideoInputDeviceInfo> devices;
    ListDevices(CLSID_VideoInputDeviceCategory, &devices);
    return std::count_if(devices.begin(), devices.end(),
                         [&](const VideoInputDeviceInfo& device) { return device.devicePath == path; });
  };
  for (const auto& s : sources) {
    SCOPED_TRACE(s.what);
    for (const std::wstring& path : s.devicePaths) EXPECT_EQ(1, timesListed(path));
    ASSERT_EQ(S_OK, s.dll->Unregister());
    for (const std::wstring& path : s.devicePaths) EXPECT_EQ(0, timesListed(path));
    for (const CLSID* clsid : s.classes) {
      ComPtr<IBaseFilter> filter;
      EXPECT_EQ(REGDB_E_CLASSNOTREG, ::CoCreateInstance(*clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&filter)));
    }
    EXPECT_EQ(S_OK, s.dll->Unregister()) << "unregistering twice is no error";
    ASSERT_EQ(S_OK, s.dll->Register());
    ASSERT_EQ(S_OK, s.dll->Register());
    for (const std::wstring& path : s.devicePaths) EXPECT_EQ(1, timesListed(path)) << "registering twice lists it once";
  }
}
