#include "GraphConstruction.h"

#include <dshow.h>
#include <wrl/client.h>

#include <cwchar>

#include "capture/DeviceEnumeration.h"
#include "capture/GraphFilterEntry.h"
#include "common/ComReferences.h"

using Microsoft::WRL::ComPtr;

namespace {

// PIN_INFO hands out a filter reference; this takes it over.
struct OwnedPinInfo {
  PIN_INFO info = {};
  ComPtr<IBaseFilter> filter;
  HRESULT Query(IPin* pin) {
    const HRESULT hr = pin->QueryPinInfo(&info);
    if (SUCCEEDED(hr)) filter = AdoptNewObject(info.pFilter);
    info.pFilter = nullptr;
    return hr;
  }
};

}  // namespace

HRESULT GetPinCategory(IPin* pin, GUID* category) {
  if (pin == nullptr || category == nullptr) return E_POINTER;
  ComPtr<IKsPropertySet> properties;
  const HRESULT hr = pin->QueryInterface(IID_PPV_ARGS(&properties));
  if (FAILED(hr)) return hr;
  DWORD returned = 0;
  return properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, category, sizeof(GUID), &returned);
}

HRESULT FindPin(IBaseFilter* filter, IPin** pin, PIN_DIRECTION direction, GUID category, const WCHAR* namePart) {
  if (filter == nullptr || pin == nullptr) return E_POINTER;
  *pin = nullptr;
  ComPtr<IEnumPins> pins;
  HRESULT hr = filter->EnumPins(&pins);
  if (FAILED(hr)) return hr;
  pins->Reset();
  for (;;) {
    ComPtr<IPin> candidate;
    // S_FALSE: no more pins.
    if (pins->Next(1, &candidate, nullptr) != S_OK || !candidate) return E_FAIL;
    PIN_DIRECTION candidateDirection;
    if (FAILED(candidate->QueryDirection(&candidateDirection)) || candidateDirection != direction) continue;
    ComPtr<IPin> peer;
    if (candidate->ConnectedTo(&peer) == S_OK) continue;
    if (!IsEqualGUID(category, GUID_NULL)) {
      GUID pinCategory = GUID_NULL;
      if (FAILED(GetPinCategory(candidate.Get(), &pinCategory)) || !IsEqualGUID(pinCategory, category)) continue;
    }
    if (namePart != nullptr) {
      OwnedPinInfo info;
      if (FAILED(info.Query(candidate.Get()))) continue;
      info.info.achName[MAX_PIN_NAME - 1] = L'\0';
      if (wcsstr(info.info.achName, namePart) == nullptr) continue;
    }
    *pin = candidate.Detach();
    return S_OK;
  }
}

HRESULT CreateFilterGraph(IGraphBuilder** graph, BOOL noThread) {
  if (graph == nullptr) return E_POINTER;
  return ::CoCreateInstance(noThread ? CLSID_FilterGraphNoThread : CLSID_FilterGraph, nullptr, kInprocContext,
                            IID_PPV_ARGS(graph));
}

void RemoveDownstream(IBaseFilter* filter, IGraphBuilder* graph) {
  if (filter == nullptr || graph == nullptr) return;
  ComPtr<IEnumPins> pins;
  if (FAILED(filter->EnumPins(&pins))) return;
  pins->Reset();
  for (;;) {
    ComPtr<IPin> pin;
    if (pins->Next(1, &pin, nullptr) != S_OK || !pin) return;
    ComPtr<IPin> peer;
    if (pin->ConnectedTo(&peer) != S_OK || !peer) continue;
    OwnedPinInfo peerInfo;
    if (peerInfo.Query(peer.Get()) != S_OK) return;
    if (peerInfo.info.dir != PINDIR_INPUT) continue;
    RemoveDownstream(peerInfo.filter.Get(), graph);
    graph->Disconnect(peer.Get());
    graph->Disconnect(pin.Get());
    graph->RemoveFilter(peerInfo.filter.Get());
  }
}

void StopEveryFilter(IGraphBuilder* graph) {
  ComPtr<IEnumFilters> filters;
  if (graph == nullptr || FAILED(graph->EnumFilters(&filters))) return;
  ComPtr<IBaseFilter> filter;
  // S_FALSE: no more filters.
  while (filters->Next(1, filter.ReleaseAndGetAddressOf(), nullptr) == S_OK && filter) filter->Stop();
}

HRESULT TearDownGraph(IGraphBuilder* graph) {
  if (graph == nullptr) return S_OK;
  StopEveryFilter(graph);
  ComPtr<IBaseFilter> source;
  if (SUCCEEDED(graph->FindFilterByName(kSourceFilterName, &source)) && source) {
    RemoveDownstream(source.Get(), graph);
  }
  ComPtr<IEnumFilters> filters;
  HRESULT hr = graph->EnumFilters(&filters);
  if (FAILED(hr)) return hr;
  for (;;) {
    // Removing a filter puts the enumeration out of step: start again from the first each time.
    filters->Reset();
    ComPtr<IBaseFilter> filter;
    if (filters->Next(1, &filter, nullptr) != S_OK || !filter) return S_OK;
    hr = graph->RemoveFilter(filter.Get());
    if (FAILED(hr)) return hr;
  }
}
