// The renderer's graph test rig.
#include "RendererRig.h"

#include <cstdlib>
#include <vector>

#include "filters/base/CClassFactory.h"
#include "filters/base/CTaskMemMediaType.h"
#include "filters/renderer/CCaptureRenderer.h"
#include "filters/testcam/TestCameraFormats.h"

using Microsoft::WRL::ComPtr;

namespace {

ComPtr<IPin> FirstPin(IBaseFilter* filter) {
  ComPtr<IEnumPins> pins;
  ComPtr<IPin> pin;
  if (SUCCEEDED(filter->EnumPins(&pins))) pins->Next(1, &pin, nullptr);
  return pin;
}

}  // namespace

HRESULT RendererRig::Build() {
  HRESULT hr = ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&graph));
  if (FAILED(hr)) return hr;
  if (FAILED(hr = graph.As(&control))) return hr;
  hr = ::CoCreateInstance(kTestCameraProfiles[kTestCamStandard].clsid, nullptr, CLSCTX_INPROC_SERVER,
                          IID_PPV_ARGS(&camera));
  if (FAILED(hr)) return hr;
  // Not ComPtr::Attach: mingw-w64's adds a reference, unlike the platform's.
  if (FAILED(hr = HandOutNewObject(CCaptureRenderer::Create(), IID_PPV_ARGS(&renderer)))) return hr;
  if (FAILED(hr = QueryRendererControl(renderer.Get(), &rendererControl))) return hr;
  if (FAILED(hr = graph->AddFilter(camera.Get(), L"Camera"))) return hr;
  if (FAILED(hr = graph->AddFilter(renderer.Get(), kCaptureRendererName))) return hr;
  cameraPin = FirstPin(camera.Get());
  rendererPin = FirstPin(renderer.Get());
  return cameraPin && rendererPin ? S_OK : E_FAIL;
}

HRESULT RendererRig::SetCameraFormat(TestCamSubtype subtype, LONG width, LONG height) {
  ComPtr<IAMStreamConfig> config;
  HRESULT hr = cameraPin.As(&config);
  if (FAILED(hr)) return hr;
  int count = 0, size = 0;
  if (FAILED(hr = config->GetNumberOfCapabilities(&count, &size))) return hr;
  std::vector<BYTE> caps(static_cast<size_t>(size) < 128 ? 128 : static_cast<size_t>(size));
  for (int i = 0; i < count; ++i) {
    CTaskMemMediaType type;
    if (config->GetStreamCaps(i, type.Receive(), caps.data()) != S_OK || !type) continue;
    const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
    if (type->subtype == TestCamSubtypeGuid(subtype) && info->bmiHeader.biWidth == width &&
        std::abs(info->bmiHeader.biHeight) == height) {
      return config->SetFormat(type.Get());
    }
  }
  return E_INVALIDARG;
}

HRESULT RendererRig::Disconnect() {
  const HRESULT first = graph->Disconnect(cameraPin.Get());
  const HRESULT second = graph->Disconnect(rendererPin.Get());
  return FAILED(first) ? first : second;
}

void RendererRig::Release() {
  if (control) control->Stop();
  rendererPin.Reset();
  cameraPin.Reset();
  rendererControl.Reset();
  renderer.Reset();
  camera.Reset();
  control.Reset();
  graph.Reset();
}
