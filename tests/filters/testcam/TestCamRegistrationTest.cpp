// Registration of the test cameras: what the system device enumerator lists after
// DllRegisterServer and after DllUnregisterServer, and what a device moniker binds to.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TestCameraGraph.h"

using Microsoft::WRL::ComPtr;

namespace {
std::wstring GuidText(const GUID& guid) {
  wchar_t text[40] = {};
  ::StringFromGUID2(guid, text, 40);
  return text;
}

std::wstring ReadString(IPropertyBag* bag, const wchar_t* name) {
  VARIANT value;
  ::VariantInit(&value);
  value.vt = VT_BSTR;
  std::wstring text;
  if (SUCCEEDED(bag->Read(name, &value, nullptr)) && value.vt == VT_BSTR && value.bstrVal) text = value.bstrVal;
  ::VariantClear(&value);
  return text;
}

// Checks every test camera the system device enumerator lists (values, the class a moniker binds
// to, its pins) and returns their profile indices in enumeration order.
std::vector<size_t> ListedTestCameras() {
  std::vector<size_t> seen;
  ComPtr<ICreateDevEnum> system;
  ComPtr<IEnumMoniker> monikers;
  EXPECT_EQ(S_OK, ::CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&system)));
  // S_FALSE: the category is empty and no enumerator is handed out.
  if (!system || system->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0) != S_OK) return seen;
  for (ComPtr<IMoniker> moniker; monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK;) {
    ComPtr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_PPV_ARGS(&bag)))) continue;
    for (size_t i = 0; i < kTestCameraCount; ++i) {
      const TestCameraProfile& profile = kTestCameraProfiles[i];
      if (ReadString(bag.Get(), L"CLSID") != GuidText(profile.clsid)) continue;
      EXPECT_EQ(profile.friendlyName, ReadString(bag.Get(), L"FriendlyName")) << i;
      ComPtr<IBaseFilter> filter;
      EXPECT_EQ(S_OK, moniker->BindToObject(nullptr, nullptr, IID_PPV_ARGS(&filter))) << i;
      CLSID bound = GUID_NULL;
      if (filter) filter->GetClassID(&bound);
      EXPECT_EQ(profile.clsid, bound) << i;
      const int pins = profile.previewPinFirst ? 2 : 1;
      EXPECT_TRUE(PinAt(filter.Get(), pins - 1) && !PinAt(filter.Get(), pins)) << i;
      seen.push_back(i);
    }
  }
  return seen;
}
}  // namespace

TEST(TestCamRegistration, EnumeratorListsEveryCameraInOrderUntilUnregistered) {
  // Tests of camera selection rely on this order (first of two equal display names wins).
  const std::vector<size_t> all = {0, 1, 2, 3, 4, 5, 6};
  EXPECT_EQ(all, ListedTestCameras());
  // Streaming threads call into the cameras from the multithreaded apartment.
  const std::wstring key = L"Software\\Classes\\CLSID\\" + GuidText(kTestCameraProfiles[0].clsid) + L"\\InprocServer32";
  wchar_t model[16] = {};
  DWORD bytes = sizeof(model);
  ::RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"ThreadingModel", RRF_RT_REG_SZ, nullptr, model, &bytes);
  EXPECT_STREQ(L"Both", model);

  TestCameraRegistration& registration = g_cameras->Registration();
  ASSERT_EQ(S_OK, registration.Unregister());
  EXPECT_TRUE(ListedTestCameras().empty());
  ComPtr<IBaseFilter> filter;
  EXPECT_EQ(REGDB_E_CLASSNOTREG, ::CoCreateInstance(kTestCameraProfiles[0].clsid, nullptr, CLSCTX_INPROC_SERVER,
                                                    IID_PPV_ARGS(&filter)));
  // Unregistering what is not there is not an error: a crashed test run can always be undone.
  EXPECT_EQ(S_OK, registration.Unregister());
  // Registering twice does not duplicate devices.
  ASSERT_EQ(S_OK, registration.Register());
  ASSERT_EQ(S_OK, registration.Register());
  EXPECT_EQ(all, ListedTestCameras());
}
