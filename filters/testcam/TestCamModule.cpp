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

VideoInputDevice DeviceOf(const TestCameraProfile& profile) {
  return {&profile.clsid, profile.instanceKey, profile.friendlyName, profile.description, profile.devicePath};
}
}  // namespace

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
  return CClassFactory::GetClassObject(kClasses, kTestCameraCount, clsid, iid, object);
}

STDAPI DllCanUnloadNow() { return ModuleCanUnloadNow(); }

STDAPI DllRegisterServer() {
  ScopedComApartment com;  // regsvr32 and test programs may or may not have COM already
  for (const TestCameraProfile& profile : kTestCameraProfiles) {
    const HRESULT hr = RegisterVideoInputDevice(DeviceOf(profile));
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

STDAPI DllUnregisterServer() {
  ScopedComApartment com;  // regsvr32 and test programs may or may not have COM already
  // Every camera is removed even when one fails, so a half registration can always be undone.
  HRESULT result = S_OK;
  for (const TestCameraProfile& profile : kTestCameraProfiles) {
    const HRESULT hr = UnregisterVideoInputDevice(DeviceOf(profile));
    if (FAILED(hr) && SUCCEEDED(result)) result = hr;
  }
  return result;
}

// Live filters, pins' enumerators, class factories and server locks of this DLL; tests expect 0
// once every reference was released.
extern "C" LONG WINAPI TestCamLiveObjects() { return ModuleLiveObjectCount(); }
