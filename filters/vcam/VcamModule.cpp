// Entry points of fontis_vcam.dll: the class object of the virtual camera, unloading, and its
// registration as a video input device (and the removal of every trace of it).
#include <windows.h>

#include "common/ScopedComApartment.h"
#include "filters/base/CClassFactory.h"
#include "filters/base/FilterRegistration.h"
#include "filters/base/ModuleLifetime.h"
#include "filters/vcam/CVcamFilter.h"
#include "filters/vcam/VcamIdentity.h"

namespace {

const ClassFactoryEntry kClasses[] = {
    {&kVcamClsid, &CVcamFilter::CreateInstance, nullptr},
};

const VideoInputDevice kDevice = {&kVcamClsid, kVcamInstanceKey, kVcamFriendlyName, kVcamFriendlyName,
                                  kVcamDevicePath};

}  // namespace

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
  return CClassFactory::GetClassObject(kClasses, sizeof(kClasses) / sizeof(kClasses[0]), clsid, iid, object);
}

STDAPI DllCanUnloadNow() { return ModuleCanUnloadNow(); }

STDAPI DllRegisterServer() {
  ScopedComApartment com;
  return RegisterVideoInputDevice(kDevice);
}

STDAPI DllUnregisterServer() {
  ScopedComApartment com;
  return UnregisterVideoInputDevice(kDevice);
}
