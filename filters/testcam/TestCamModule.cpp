// Entry points of fontis_testcam.dll: class objects, unloading, self-registration of every test
// camera, and the live-object count that tests read to find leaked references.
#include <windows.h>
#include <strmif.h>
#include <uuids.h>

#include "common/ScopedComApartment.h"
#include "filters/base/CClassFactory.h"
#include "filters/base/FilterRegistration.h"
#include "filters/base/ModuleLifetime.h"
#include "filters/testcam/CTestCamFilter.h"
#include "filters/testcam/TestCameraProfiles.h"

namespace {
const ClassFactoryEntry kClasses[kTestCameraCount] = {
    {&kTestCameraProfiles[0].clsid, &CTestCamFilter::CreateInstance, &kTestCameraProfiles[0]},
    {&kTestCameraProfiles[1].clsid, &CTestCamFilter::CreateInstance, &kTestCameraProfiles[1]},
    {&kTestCameraProfiles[2].clsid, &CTestCamFilter::CreateInstance, &kTestCameraProfiles[2]},
    {&kTestCameraProfiles[3].clsid, &CTestCamFilter::CreateInstance, &kTestCameraProfiles[3]},
    {&kTestCameraProfiles[4].clsid, &CTestCamFilter::CreateInstance, &kTestCameraProfiles[4]},
    {&kTestCameraProfiles[5].clsid, &CTestCamFilter::CreateInstance, &kTestCameraProfiles[5]},
    {&kTestCameraProfiles[6].clsid, &CTestCamFilter::CreateInstance, &kTestCameraProfiles[6]},
};

HRESULT RegisterDevice(REFCLSID clsid, const wchar_t* friendlyName, const wchar_t* instanceKey,
                       const wchar_t* description, const wchar_t* devicePath) {
  const REGPINTYPES pinType = {&MEDIATYPE_Video, &MEDIASUBTYPE_NULL};
  REGFILTERPINS2 pin = {};
  pin.dwFlags = REG_PINFLAG_B_OUTPUT;
  pin.cInstances = 1;
  pin.nMediaTypes = 1;
  pin.lpMediaType = &pinType;
  pin.clsPinCategory = &PIN_CATEGORY_CAPTURE;
  REGFILTER2 filter = {};
  filter.dwVersion = 2;
  filter.dwMerit = MERIT_DO_NOT_USE;
  filter.cPins2 = 1;
  filter.rgPins2 = &pin;
  const FilterPropertyValue values[] = {
      {L"Description", description},
      {L"DevicePath", devicePath},
  };
  return RegisterFilterInCategory(clsid, friendlyName, CLSID_VideoInputDeviceCategory, instanceKey, filter, values,
                                  sizeof(values) / sizeof(values[0]));
}

HRESULT RegisterCamera(const TestCameraProfile& profile) {
  const HRESULT hr = RegisterInprocServer(profile.clsid, profile.friendlyName);
  if (FAILED(hr)) return hr;
  return RegisterDevice(profile.clsid, profile.friendlyName, profile.instanceKey, profile.description,
                        profile.devicePath);
}

HRESULT UnregisterDevice(REFCLSID clsid, const wchar_t* instanceKey) {
  const HRESULT device = UnregisterFilterFromCategory(clsid, CLSID_VideoInputDeviceCategory, instanceKey);
  const HRESULT server = UnregisterInprocServer(clsid);
  return FAILED(device) ? device : server;
}
}  // namespace

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
  return CClassFactory::GetClassObject(kClasses, kTestCameraCount, clsid, iid, object);
}

STDAPI DllCanUnloadNow() { return ModuleCanUnloadNow(); }

STDAPI DllRegisterServer() {
  ScopedComApartment com;  // regsvr32 and test programs may or may not have COM already
  for (const TestCameraProfile& profile : kTestCameraProfiles) {
    const HRESULT hr = RegisterCamera(profile);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

STDAPI DllUnregisterServer() {
  ScopedComApartment com;  // regsvr32 and test programs may or may not have COM already
  // Every camera is removed even when one fails, so a half registration can always be undone.
  HRESULT result = S_OK;
  for (const TestCameraProfile& profile : kTestCameraProfiles) {
    const HRESULT hr = UnregisterDevice(profile.clsid, profile.instanceKey);
    if (FAILED(hr) && SUCCEEDED(result)) result = hr;
  }
  return result;
}

// Live filters, pins' enumerators, class factories and server locks of this DLL; tests expect 0
// once every reference was released.
extern "C" LONG WINAPI TestCamLiveObjects() { return ModuleLiveObjectCount(); }
