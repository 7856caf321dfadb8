// The pieces of the host's capture graph as the graph-control object hands them in (test
// cameras, a capture renderer writing an instance's ring, the filter list), and what a test
// asks of a built graph: its filters and which pin feeds which.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <string>
#include <utility>

#include "capture/GraphFilterEntry.h"

Microsoft::WRL::ComPtr<IBaseFilter> OpenCamera(size_t profileIndex);
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

// Filters in the graph; -1 without a graph object.
int FilterCount(IGraphBuilder* graph);
template <class Graph>
int FilterCount(const Graph& owner) {
  Microsoft::WRL::ComPtr<IGraphBuilder> graph;
  return SUCCEEDED(owner.GetFilterGraph(&graph)) ? FilterCount(graph.Get()) : -1;
}

// The filter's first pin of that direction (and name, unless null), connected or not.
Microsoft::WRL::ComPtr<IPin> PinOf(IBaseFilter* filter, PIN_DIRECTION direction, const wchar_t* name = nullptr);
// The pin connected to the filter's pin, null when there is none.
Microsoft::WRL::ComPtr<IPin> PeerOf(IBaseFilter* filter, PIN_DIRECTION direction, const wchar_t* name = nullptr);
// The pin at the other end of the filter's first input: its filter and its name.
std::pair<Microsoft::WRL::ComPtr<IBaseFilter>, std::wstring> UpstreamOf(IBaseFilter* filter);
