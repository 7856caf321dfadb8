#include "GraphConstruction.h"

#include <dshow.h>
#include <wrl/client.h>

#include <cwchar>
#include <utility>
#include <vector>

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
  for (int i = 0; i < kMaxFilterPins; ++i) {
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
  return E_FAIL;
}

HRESULT CreateFilterGraph(IGraphBuilder** graph, BOOL noThread) {
  if (graph == nullptr) return E_POINTER;
  return ::CoCreateInstance(noThread ? CLSID_FilterGraphNoThread : CLSID_FilterGraph, nullptr, kInprocContext,
                            IID_PPV_ARGS(graph));
}

namespace {

// Deeper chains than this are no graph of ours; a filter that claims a circle ends here too.
constexpr int kMaxDownstreamDepth = 32;

void RemoveDownstreamFrom(IBaseFilter* filter, IGraphBuilder* graph, int depth) {
  if (filter == nullptr || graph == nullptr || depth >= kMaxDownstreamDepth) return;
  ComPtr<IEnumPins> pins;
  if (FAILED(filter->EnumPins(&pins))) return;
  pins->Reset();
  for (int i = 0; i < kMaxFilterPins; ++i) {
    ComPtr<IPin> pin;
    if (pins->Next(1, &pin, nullptr) != S_OK || !pin) return;
    ComPtr<IPin> peer;
    if (pin->ConnectedTo(&peer) != S_OK || !peer) continue;
    OwnedPinInfo peerInfo;
    if (peerInfo.Query(peer.Get()) != S_OK) return;
    if (peerInfo.info.dir != PINDIR_INPUT) continue;
    RemoveDownstreamFrom(peerInfo.filter.Get(), graph, depth + 1);
    graph->Disconnect(peer.Get());
    graph->Disconnect(pin.Get());
    graph->RemoveFilter(peerInfo.filter.Get());
  }
}

}  // namespace

void RemoveDownstream(IBaseFilter* filter, IGraphBuilder* graph) { RemoveDownstreamFrom(filter, graph, 0); }

void StopEveryFilter(IGraphBuilder* graph) {
  ComPtr<IEnumFilters> filters;
  if (graph == nullptr || FAILED(graph->EnumFilters(&filters))) return;
  ComPtr<IBaseFilter> filter;
  // S_FALSE: no more filters.
  for (int i = 0; i < kMaxGraphFilters && filters->Next(1, filter.ReleaseAndGetAddressOf(), nullptr) == S_OK && filter;
       ++i) {
    filter->Stop();
  }
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
  // What is left, gathered first and removed once each: a filter that refuses to go is passed
  // over and reported, never tried again in a loop that might not end.
  std::vector<ComPtr<IBaseFilter>> left;
  for (int i = 0; i < kMaxGraphFilters; ++i) {
    ComPtr<IBaseFilter> filter;
    if (filters->Next(1, &filter, nullptr) != S_OK || !filter) break;
    left.push_back(std::move(filter));
  }
  HRESULT result = S_OK;
  for (const ComPtr<IBaseFilter>& filter : left) {
    hr = graph->RemoveFilter(filter.Get());
    if (FAILED(hr) && SUCCEEDED(result)) result = hr;
  }
  return result;
}
