// Entry points of fontis_renderer.dll: the class object of the capture renderer and its
// self-registration.
#include <windows.h>

#include "capture/IRendererControl.h"
#include "common/ComReferences.h"
#include "filters/base/CClassFactory.h"
#include "filters/base/FilterRegistration.h"
#include "filters/base/ModuleLifetime.h"
#include "filters/renderer/CCaptureRenderer.h"

namespace {

HRESULT CreateCaptureRenderer(const void* /*context*/, REFIID iid, void** object) {
  return HandOutNewObject(CCaptureRenderer::Create(), iid, object);
}

const ClassFactoryEntry kClasses[] = {
    {&CLSID_FontisCaptureRenderer, CreateCaptureRenderer, nullptr},
};

}  // namespace

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  return CClassFactory::GetClassObject(kClasses, sizeof(kClasses) / sizeof(kClasses[0]), clsid, iid, object);
}

STDAPI DllCanUnloadNow() { return ModuleCanUnloadNow(); }

STDAPI DllRegisterServer() { return RegisterInprocServer(CLSID_FontisCaptureRenderer, kCaptureRendererName, L"Both"); }

STDAPI DllUnregisterServer() { return UnregisterInprocServer(CLSID_FontisCaptureRenderer); }
