// The pieces of the host's capture graph as the graph-control object hands them in (a capture
// renderer writing an instance's ring, the filter list), and what a test asks of a built graph:
// its filters and which pin feeds which.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <string>
#include <utility>

#include "capture/GraphFilterEntry.h"

// A capture renderer that writes the frames into the ring of instance.
Microsoft::WRL::ComPtr<IBaseFilter> OpenRenderer(const std::wstring& instance);

// Camera, capture renderer and optionally the preview renderer, which is then built with the
// owner window.
struct FilterList {
  GraphFilterEntry entries[3] = {};
  int count = 0;
  FilterList(const Microsoft::WRL::ComPtr<IBaseFilter>& camera, const Microsoft::WRL::ComPtr<IBaseFilter>& renderer,
             const Microsoft::WRL::ComPtr<IBaseFilter>& preview = nullptr);
  // CCaptureGraph or CGraphManager.
  template <class Graph>
  HRESULT Build(Graph& graph, HWND owner = nullptr) {
    return graph.BuildGraph(entries, count, count == 3, owner, FALSE, FALSE);
  }
};

// Filters in the owner's graph; -1 without a graph object.
template <class Graph>
int FilterCount(const Graph& owner) {
  Microsoft::WRL::ComPtr<IGraphBuilder> graph;
  Microsoft::WRL::ComPtr<IEnumFilters> filters;
  if (FAILED(owner.GetFilterGraph(&graph)) || !graph || FAILED(graph->EnumFilters(&filters))) return -1;
  int count = 0;
  Microsoft::WRL::ComPtr<IBaseFilter> filter;
  while (filters->Next(1, filter.ReleaseAndGetAddressOf(), nullptr) == S_OK) ++count;
  return count;
}

// The filter's first pin of that direction (and name, unless null), connected or not.
Microsoft::WRL::ComPtr<IPin> PinOf(IBaseFilter* filter, PIN_DIRECTION direction, const wchar_t* name = nullptr);
// The pin connected to the filter's pin, null when there is none.
Microsoft::WRL::ComPtr<IPin> PeerOf(IBaseFilter* filter, PIN_DIRECTION direction, const wchar_t* name = nullptr);
// The pin at the other end of the filter's first input: its filter and its name.
std::pair<Microsoft::WRL::ComPtr<IBaseFilter>, std::wstring> UpstreamOf(IBaseFilter* filter);
