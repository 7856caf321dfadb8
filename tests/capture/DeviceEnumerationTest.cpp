// Finding cameras among the registered test cameras and a few devices written straight into the
// registry: by display name, path, CLSID text, "#devguidid#" text and GUID; the proxy question;
// fontisctl's device list.
#include <gtest/gtest.h>

#include <dshow.h>
#include <wrl/client.h>

#include <string>

#include "CaptureTestSupport.h"
#include "ExtraVideoDevice.h"
#include "capture/DeviceEnumeration.h"
#include "filters/testcam/TestCameraProfiles.h"
#include "ipc/ScopedHandle.h"
#include "support/TestProcess.h"

using Microsoft::WRL::ComPtr;

namespace {

// Classes without a loadable server; the instance keys sort after the test cameras'.
constexpr wchar_t kProxyClsid[] = L"{5E1B7C8A-0D3F-4A61-9C2E-7B4D8F1A6E01}";
constexpr wchar_t kUpperClsid[] = L"{5E1B7C8A-0D3F-4A61-9C2E-7B4D8F1A6E02}";
constexpr wchar_t kLongClsid[] = L"{5E1B7C8A-0D3F-4A61-9C2E-7B4D8F1A6E03}";
constexpr GUID kUnregistered = {0x5E1B7C8A, 0x0D3F, 0x4A61, {0x9C, 0x2E, 0x7B, 0x4D, 0x8F, 0x1A, 0x6E, 0x7E}};
constexpr wchar_t kProxyName[] = L"Fontis Probe Proxy";
constexpr wchar_t kProxyPath[] = L"\\\\?\\fontis#proxy#0000";
constexpr wchar_t kNamelessPath[] = L"\\\\?\\fontis#nameless#0000";

std::wstring ClsidText(const GUID& guid) {
  WCHAR text[64] = {};
  EXPECT_EQ(S_OK, GuidToString(&guid, text, 64));
  return text;
}

const GUID& CameraClsid(size_t index) { return kTestCameraProfiles[index].clsid; }

// The class that CreateCaptureFilter opened (GUID_NULL for none) with the given name and GUID.
CLSID Open(const std::wstring& name, GUID* guid, HRESULT* result) {
  ComPtr<IBaseFilter> filter;
  *result = CreateCaptureFilter(name.c_str(), guid, CLSID_VideoInputDeviceCategory, &filter);
  return FilterClass(filter.Get());
}
CLSID OpenByName(const std::wstring& name) {
  GUID guid = GUID_NULL;
  HRESULT hr = S_OK;
  const CLSID opened = Open(name, &guid, &hr);
  EXPECT_EQ(IsEqualGUID(opened, GUID_NULL) ? E_UNEXPECTED : S_OK, hr);
  return opened;
}

// fontisctl's standard output without the carriage returns of the console runtime.
std::string RunFontisctl(const std::wstring& arguments, DWORD* exitCode) {
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return {};
  ScopedHandle reader(readEnd), writer(writeEnd);
  ::SetHandleInformation(reader.Get(), HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = startup.hStdError = writer.Get();
  std::wstring commandLine = L"\"" + SiblingPath(L"fontisctl.exe") + L"\" " + arguments;
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
    return {};
  }
  ScopedHandle processHandle(process.hProcess), threadHandle(process.hThread);
  writer.Close();  // the read ends when the child's write end closes
  std::string output;
  char buffer[4096];
  DWORD read = 0;
  while (::ReadFile(reader.Get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
    for (DWORD i = 0; i < read; ++i) {
      if (buffer[i] != '\r') output.push_back(buffer[i]);
    }
  }
  ::WaitForSingleObject(processHandle.Get(), 30000);
  ::GetExitCodeProcess(processHandle.Get(), exitCode);
  return output;
}

class DeviceEnumerationTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_devices = new ExtraVideoDevice[4];
    ASSERT_EQ(ERROR_SUCCESS, s_devices[0].Add(L"ZZFontisProbe1", kProxyName, nullptr, kProxyPath, kProxyClsid));
    // A path that names the module but loads nothing, so binding fails quickly.
    ASSERT_EQ(ERROR_SUCCESS, s_devices[0].AddClassServer(kProxyClsid, L"C:\\fontis\\missing\\ksproxy.ax.absent"));
    ASSERT_EQ(ERROR_SUCCESS, s_devices[1].Add(L"ZZFontisProbe2", L"Fontis Probe Upper", nullptr, nullptr, kUpperClsid));
    ASSERT_EQ(ERROR_SUCCESS, s_devices[1].AddClassServer(kUpperClsid, L"C:\\WINDOWS\\SYSTEM32\\KSPROXY.AX"));
    // The module name lies beyond the 130 units that are read.
    const std::wstring longPath = L"C:\\" + std::wstring(130, L'x') + L"\\ksproxy.ax";
    ASSERT_EQ(ERROR_SUCCESS, s_devices[2].Add(L"ZZFontisProbe3", L"Fontis Probe Long", nullptr, nullptr, kLongClsid));
    ASSERT_EQ(ERROR_SUCCESS, s_devices[2].AddClassServer(kLongClsid, longPath.c_str()));
    // Neither description nor friendly name, but a path and a real class.
    const std::wstring camera4 = ClsidText(CameraClsid(kTestCamPreviewFirst));
    ASSERT_EQ(ERROR_SUCCESS, s_devices[3].Add(L"ZZFontisProbe4", nullptr, nullptr, kNamelessPath, camera4.c_str()));
  }
  static void TearDownTestSuite() { delete[] s_devices; }
  void TearDown() override {
    EXPECT_TRUE(WaitUntil([] { return CameraRegistration().LiveObjects() == 0; }, 3000))
        << CameraRegistration().LiveObjects() << " test camera objects alive";
  }
  static ExtraVideoDevice* s_devices;
};
ExtraVideoDevice* DeviceEnumerationTest::s_devices = nullptr;

}  // namespace

TEST_F(DeviceEnumerationTest, CamerasAreFoundByDisplayNamePathClsidAndDevGuidIdTextFirstMatchWinning) {
  // Cameras 0 and 5 share the name: the first in enumeration order is opened; the path tells them apart.
  EXPECT_TRUE(IsEqualGUID(CameraClsid(kTestCamStandard), OpenByName(L"Fontis Test Camera")));
  EXPECT_TRUE(IsEqualGUID(CameraClsid(kTestCamSameName), OpenByName(kTestCameraProfiles[kTestCamSameName].devicePath)));
  // "Description" is the display name: the friendly name then does not match.
  EXPECT_TRUE(IsEqualGUID(CameraClsid(kTestCamSecond), OpenByName(L"Fontis Second Camera")));
  EXPECT_TRUE(IsEqualGUID(GUID_NULL, OpenByName(L"Fontis Test Camera 2")));
  EXPECT_TRUE(IsEqualGUID(CameraClsid(kTestCamNoKsProps), OpenByName(ClsidText(CameraClsid(kTestCamNoKsProps)))));
  EXPECT_TRUE(IsEqualGUID(GUID_NULL, OpenByName(L"fontis test camera")));
  EXPECT_TRUE(IsEqualGUID(CameraClsid(kTestCamPreviewFirst), OpenByName(kNamelessPath)));

  const std::wstring caps64 = ClsidText(CameraClsid(kTestCamCaps64));
  EXPECT_TRUE(IsEqualGUID(CameraClsid(kTestCamCaps64), OpenByName(L"#devguidid#" + caps64)));
  EXPECT_TRUE(IsEqualGUID(GUID_NULL, OpenByName(L"cam#devguidid#" + caps64)));
  EXPECT_TRUE(IsEqualGUID(GUID_NULL, OpenByName(L"#devguidid#not a clsid")));
  ComPtr<IBaseFilter> filter;
  EXPECT_EQ(REGDB_E_CLASSNOTREG, BindDeviceByName(CLSID_VideoInputDeviceCategory,
                                                  (L"#devguidid#" + ClsidText(kUnregistered)).c_str(), &filter));
  // A match whose class cannot be created: S_OK without a filter, and no filter for the host.
  EXPECT_EQ(S_OK, BindDeviceByName(CLSID_VideoInputDeviceCategory, kProxyName, &filter));
  EXPECT_EQ(nullptr, filter.Get());
  EXPECT_TRUE(IsEqualGUID(GUID_NULL, OpenByName(kProxyName)));
  EXPECT_EQ(E_FAIL, BindDeviceByName(CLSID_VideoInputDeviceCategory, L"nobody", &filter));
  EXPECT_EQ(E_FAIL, BindDeviceByName(CLSID_VideoInputDeviceCategory, L"", &filter));
  EXPECT_EQ(E_POINTER, BindDeviceByName(CLSID_VideoInputDeviceCategory, L"x", nullptr));
  const GUID emptyCategory = kUnregistered;
  EXPECT_EQ(S_FALSE, BindDeviceByName(emptyCategory, L"Fontis Test Camera", &filter));
}

TEST_F(DeviceEnumerationTest, AGuidIsUsedOnlyWithAnEmptyNameAndForgottenWhenItsClassIsGone) {
  HRESULT hr = E_FAIL;
  GUID guid = CameraClsid(kTestCamPreviewFirst);
  EXPECT_TRUE(IsEqualGUID(CameraClsid(kTestCamPreviewFirst), Open(L"", &guid, &hr)));
  EXPECT_EQ(S_OK, hr);
  EXPECT_TRUE(IsEqualGUID(CameraClsid(kTestCamPreviewFirst), guid));
  // A name wins, and the GUID stays as it was whether or not the name is found.
  guid = CameraClsid(kTestCamStandard);
  EXPECT_TRUE(IsEqualGUID(CameraClsid(kTestCamSecond), Open(L"Fontis Second Camera", &guid, &hr)));
  EXPECT_TRUE(IsEqualGUID(CameraClsid(kTestCamStandard), guid));
  guid = kUnregistered;
  Open(L"nobody", &guid, &hr);
  EXPECT_EQ(E_UNEXPECTED, hr);
  EXPECT_TRUE(IsEqualGUID(kUnregistered, guid));
  // The class cannot be created: the caller's GUID is reset.
  Open(L"", &guid, &hr);
  EXPECT_EQ(E_UNEXPECTED, hr);
  EXPECT_TRUE(IsEqualGUID(GUID_NULL, guid));
  Open(L"", &guid, &hr);
  EXPECT_EQ(E_UNEXPECTED, hr);
  ComPtr<IBaseFilter> filter;
  EXPECT_EQ(E_INVALIDARG, CreateCaptureFilter(nullptr, &guid, CLSID_VideoInputDeviceCategory, &filter));
  EXPECT_EQ(E_INVALIDARG, CreateCaptureFilter(L"x", &guid, CLSID_VideoInputDeviceCategory, nullptr));
}

TEST_F(DeviceEnumerationTest, TheProxyQuestionAndTheDeviceListOfFontisctl) {
  EXPECT_EQ(S_OK, IsKsProxyDevice(kProxyName));
  EXPECT_EQ(S_OK, IsKsProxyDevice(kProxyPath));
  EXPECT_EQ(E_FAIL, IsKsProxyDevice(L"Fontis Probe Upper"));  // "KSPROXY.AX" does not count
  EXPECT_EQ(E_FAIL, IsKsProxyDevice(L"Fontis Probe Long"));   // the value does not fit the buffer
  EXPECT_EQ(E_FAIL, IsKsProxyDevice(L"Fontis Test Camera"));
  EXPECT_EQ(E_UNEXPECTED, IsKsProxyDevice(kProxyClsid));      // display names and paths only
  EXPECT_EQ(E_UNEXPECTED, IsKsProxyDevice((std::wstring(L"#devguidid#") + kProxyClsid).c_str()));
  EXPECT_EQ(E_UNEXPECTED, IsKsProxyDevice(kNamelessPath));    // no display name: passed over
  EXPECT_EQ(E_INVALIDARG, IsKsProxyDevice(L""));
  EXPECT_TRUE(IsKsProxyClsid(kProxyClsid));
  EXPECT_FALSE(IsKsProxyClsid(kUpperClsid));
  EXPECT_FALSE(IsKsProxyClsid(L"{00000000-0000-0000-0000-000000000000}"));

  DWORD exitCode = 1;
  const std::string output = RunFontisctl(L"devices", &exitCode);
  EXPECT_EQ(0u, exitCode) << output;
  const size_t first = output.find("  display name   \"Fontis Test Camera\"\n");
  const size_t second = output.find("  display name   \"Fontis Second Camera\"\n"
                                    "  friendly name  \"Fontis Test Camera 2\"\n");
  EXPECT_LT(first, second) << output;
  EXPECT_NE(std::string::npos, output.find("  device path    \"\\\\?\\fontis#proxy#0000\"\n"
                                           "  clsid          {5E1B7C8A-0D3F-4A61-9C2E-7B4D8F1A6E01}\n"
                                           "  ksproxy        yes\n"))
      << output;
  EXPECT_NE(std::string::npos, output.find("  display name   (none)\n")) << output;
}
