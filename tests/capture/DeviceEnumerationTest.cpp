// Finding cameras among the registered test cameras and a few devices written straight into the
// registry: by display name, path, CLSID text, "#devguidid#" text and GUID; the proxy question.
#include <gtest/gtest.h>

#include <dshow.h>
#include <wrl/client.h>

#include <string>

#include "ExtraVideoDevice.h"
#include "capture/DeviceEnumeration.h"
#include "filters/testcam/TestCameraProfiles.h"
#include "support/FilterEnvironment.h"

namespace {

// Classes without a loadable server; the instance keys sort after the test cameras'.
constexpr wchar_t kProxyClsid[] = L"{5E1B7C8A-0D3F-4A61-9C2E-7B4D8F1A6E01}";
constexpr wchar_t kUpperClsid[] = L"{5E1B7C8A-0D3F-4A61-9C2E-7B4D8F1A6E02}";
constexpr wchar_t kLongClsid[] = L"{5E1B7C8A-0D3F-4A61-9C2E-7B4D8F1A6E03}";
constexpr wchar_t kProxyName[] = L"Fontis Probe Proxy";
constexpr wchar_t kProxyPath[] = L"\\\\?\\fontis#proxy#0000";
constexpr wchar_t kNamelessPath[] = L"\\\\?\\fontis#nameless#0000";

const GUID& Camera(size_t index) { return kTestCameraProfiles[index].clsid; }

std::wstring ClsidText(const GUID& guid) {
  WCHAR text[64] = {};
  EXPECT_EQ(S_OK, GuidToString(&guid, text, 64));
  return text;
}

// The class that CreateCaptureFilter opened, GUID_NULL for none; E_UNEXPECTED exactly then.
CLSID Open(const std::wstring& name, GUID* guid = nullptr) {
  GUID none = GUID_NULL;
  Microsoft::WRL::ComPtr<IBaseFilter> filter;
  const HRESULT hr =
      CreateCaptureFilter(name.c_str(), guid != nullptr ? guid : &none, CLSID_VideoInputDeviceCategory, &filter);
  CLSID opened = GUID_NULL;
  EXPECT_TRUE(!filter || SUCCEEDED(filter->GetClassID(&opened)));
  EXPECT_EQ(filter ? S_OK : E_UNEXPECTED, hr);
  return opened;
}

}  // namespace

TEST(DeviceEnumeration, CamerasAreFoundByDisplayNamePathClsidAndDevGuidIdTextAndByGuidOnlyWithoutAName) {
  ExtraVideoDevice proxy, upper, longPath, nameless;
  ASSERT_EQ(ERROR_SUCCESS, proxy.Add(L"ZZFontisProbe1", kProxyName, nullptr, kProxyPath, kProxyClsid));
  // A path that names the module but loads nothing, so binding fails quickly.
  ASSERT_EQ(ERROR_SUCCESS, proxy.AddClassServer(kProxyClsid, L"C:\\fontis\\missing\\ksproxy.ax.absent"));
  ASSERT_EQ(ERROR_SUCCESS, upper.Add(L"ZZFontisProbe2", L"Fontis Probe Upper", nullptr, nullptr, kUpperClsid));
  ASSERT_EQ(ERROR_SUCCESS, upper.AddClassServer(kUpperClsid, L"C:\\WINDOWS\\SYSTEM32\\KSPROXY.AX"));
  // The module name lies beyond the 130 units that are read.
  ASSERT_EQ(ERROR_SUCCESS, longPath.Add(L"ZZFontisProbe3", L"Fontis Probe Long", nullptr, nullptr, kLongClsid));
  ASSERT_EQ(ERROR_SUCCESS,
            longPath.AddClassServer(kLongClsid, (L"C:\\" + std::wstring(130, L'x') + L"\\ksproxy.ax").c_str()));
  // Neither description nor friendly name, but a path and a real class.
  const std::wstring previewFirst = ClsidText(Camera(kTestCamPreviewFirst));
  ASSERT_EQ(ERROR_SUCCESS, nameless.Add(L"ZZFontisProbe4", nullptr, nullptr, kNamelessPath, previewFirst.c_str()));

  // Cameras 0 and 5 share the name: the first in enumeration order is opened; the path tells them apart.
  EXPECT_EQ(Camera(kTestCamStandard), Open(L"Fontis Test Camera"));
  EXPECT_EQ(Camera(kTestCamSameName), Open(kTestCameraProfiles[kTestCamSameName].devicePath));
  // "Description" is the display name: the friendly name then does not match.
  EXPECT_EQ(Camera(kTestCamSecond), Open(L"Fontis Second Camera"));
  EXPECT_EQ(GUID_NULL, Open(L"Fontis Test Camera 2"));
  EXPECT_EQ(Camera(kTestCamNoKsProps), Open(ClsidText(Camera(kTestCamNoKsProps))));
  EXPECT_EQ(Camera(kTestCamPreviewFirst), Open(kNamelessPath));
  EXPECT_EQ(Camera(kTestCamCaps64), Open(L"#devguidid#" + ClsidText(Camera(kTestCamCaps64))));
  EXPECT_EQ(GUID_NULL, Open(kProxyName));  // a match whose class cannot be created

  // A GUID is used only with an empty name, and kept whether or not the name is found.
  GUID guid = Camera(kTestCamPreviewFirst);
  EXPECT_EQ(Camera(kTestCamPreviewFirst), Open(L"", &guid));
  EXPECT_EQ(Camera(kTestCamSecond), Open(L"Fontis Second Camera", &guid));
  EXPECT_EQ(GUID_NULL, Open(L"nobody", &guid));
  EXPECT_EQ(Camera(kTestCamPreviewFirst), guid);
  // The class cannot be created: the caller's GUID is reset.
  guid = {0x5E1B7C8A, 0x0D3F, 0x4A61, {0x9C, 0x2E, 0x7B, 0x4D, 0x8F, 0x1A, 0x6E, 0x7E}};
  EXPECT_EQ(GUID_NULL, Open(L"", &guid));
  EXPECT_EQ(GUID_NULL, guid);

  // Only a registry value naming ksproxy in lower case, and within the length read, makes a proxy.
  EXPECT_EQ(S_OK, IsKsProxyDevice(kProxyName));
  EXPECT_EQ(S_OK, IsKsProxyDevice(kProxyPath));
  EXPECT_EQ(E_FAIL, IsKsProxyDevice(L"Fontis Probe Upper"));
  EXPECT_EQ(E_FAIL, IsKsProxyDevice(L"Fontis Probe Long"));
  EXPECT_EQ(E_FAIL, IsKsProxyDevice(L"Fontis Test Camera"));
  EXPECT_EQ(E_UNEXPECTED, IsKsProxyDevice(kNamelessPath));  // no display name: passed over
  ExpectNoLiveFilters();
}
