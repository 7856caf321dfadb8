#include "CaptureGraphRig.h"

#include <gtest/gtest.h>

#include "capture/DeviceEnumeration.h"
#include "capture/IRendererControl.h"
#include "common/ComReferences.h"

using Microsoft::WRL::ComPtr;

ComPtr<IBaseFilter> OpenRenderer(const std::wstring& instance) {
  ComPtr<IBaseFilter> renderer;
  ComPtr<IRendererControl> control;
  EXPECT_EQ(S_OK, CreateFilterInstance(CLSID_FontisCaptureRenderer, &renderer));
  EXPECT_TRUE(renderer && SUCCEEDED(QueryRendererControl(renderer.Get(), &control)) &&
              control->SetInstanceName(instance.c_str()) == S_OK);
  return renderer;
}

FilterList::FilterList(const ComPtr<IBaseFilter>& camera, const ComPtr<IBaseFilter>& renderer,
                       const ComPtr<IBaseFilter>& preview) {
  const auto add = [this](DWORD role, const ComPtr<IBaseFilter>& filter, const WCHAR* name, const GUID& category) {
    GraphFilterEntry& entry = entries[count++];
    entry.role = role;
    entry.filter = filter;
    BoundedCopy(entry.name, name);
    entry.pinCategory = category;
  };
  add(kRoleSource, camera, kSourceFilterName, PIN_CATEGORY_CAPTURE);
  add(kRoleCaptureRenderer, renderer, kCaptureRendererName, GUID_NULL);
  if (preview) add(kRolePreviewRenderer, preview, kPreviewRendererName, GUID_NULL);
}

ComPtr<IPin> PinOf(IBaseFilter* filter, PIN_DIRECTION direction, const wchar_t* name) {
  ComPtr<IEnumPins> pins;
  ComPtr<IPin> pin;
  if (FAILED(filter->EnumPins(&pins))) return pin;
  while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    PIN_INFO info = {};
    if (FAILED(pin->QueryPinInfo(&info))) continue;
    if (info.pFilter != nullptr) info.pFilter->Release();
    if (info.dir == direction && (name == nullptr || std::wstring(info.achName) == name)) return pin;
  }
  return nullptr;
}

ComPtr<IPin> PeerOf(IBaseFilter* filter, PIN_DIRECTION direction, const wchar_t* name) {
  ComPtr<IPin> pin = PinOf(filter, direction, name), peer;
  if (pin) pin->ConnectedTo(&peer);
  return peer;
}

std::pair<ComPtr<IBaseFilter>, std::wstring> UpstreamOf(IBaseFilter* filter) {
  std::pair<ComPtr<IBaseFilter>, std::wstring> upstream;
  ComPtr<IPin> peer = PeerOf(filter, PINDIR_INPUT);
  PIN_INFO info = {};
  if (!peer || FAILED(peer->QueryPinInfo(&info))) return upstream;
  upstream.first = AdoptNewObject(info.pFilter);
  upstream.second = info.achName;
  return upstream;
}
