// One of our source filters, created through COM as an application creates it, in a filter graph;
// CheckedGraph adds a frame-checking renderer beside it.
#pragma once

#include "common/ComReferences.h"
#include "support/CFrameCheckRenderer.h"
#include "support/TestCameraGraph.h"

// The graph is stopped first, and released last.
struct SourceGraph {
  Microsoft::WRL::ComPtr<IGraphBuilder> graph;
  Microsoft::WRL::ComPtr<IMediaControl> control;
  Microsoft::WRL::ComPtr<IBaseFilter> source;
  Microsoft::WRL::ComPtr<IPin> pin;
  Microsoft::WRL::ComPtr<IAMStreamConfig> config;

  // Graph and source made, the source added to the graph.
  HRESULT Build(const CLSID& sourceClass) {
    HRESULT hr = ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&graph));
    if (SUCCEEDED(hr)) hr = graph.As(&control);
    if (SUCCEEDED(hr)) hr = ::CoCreateInstance(sourceClass, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&source));
    if (SUCCEEDED(hr)) hr = graph->AddFilter(source.Get(), L"Source");
    pin = PinAt(source.Get(), 0);
    return FAILED(hr) ? hr : pin ? pin.As(&config) : E_FAIL;
  }
  ~SourceGraph() {
    if (control) control->Stop();
  }
};

struct CheckedGraph : SourceGraph {
  Microsoft::WRL::ComPtr<CFrameCheckRenderer> sink;

  // Graph, source and sink made, both added to the graph, nothing connected.
  HRESULT Build(const CLSID& sourceClass) {
    HRESULT hr = SourceGraph::Build(sourceClass);
    sink = AdoptNewObject(CFrameCheckRenderer::Create());
    if (SUCCEEDED(hr)) hr = sink ? graph->AddFilter(sink.Get(), L"Sink") : E_OUTOFMEMORY;
    return hr;
  }
  // A direct connection to the sink, in the source's first type or the one SetFormat fixes.
  HRESULT Connect() { return graph->ConnectDirect(pin.Get(), &sink->InputPin(), nullptr); }
  HRESULT Connect(CMediaType format) {
    const HRESULT hr = config->SetFormat(&format.Edit());
    return FAILED(hr) ? hr : Connect();
  }
  FrameCheckStats Stats() { return sink->InputPin().Stats(); }
  bool WaitForSamples(LONG more) {
    const LONG start = Stats().samples;
    return WaitUntil([&] { return Stats().samples >= start + more; }, 30000);
  }
};
