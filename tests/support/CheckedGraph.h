// One of our source filters, created through COM as an application creates it, and a
// frame-checking renderer in a filter graph.
#pragma once

#include "common/ComReferences.h"
#include "support/CFrameCheckRenderer.h"
#include "support/TestCameraGraph.h"

// The members go in reverse order, the graph last.
struct CheckedGraph {
  Microsoft::WRL::ComPtr<IGraphBuilder> graph;
  Microsoft::WRL::ComPtr<IMediaControl> control;
  Microsoft::WRL::ComPtr<IBaseFilter> source;
  Microsoft::WRL::ComPtr<IPin> pin;
  Microsoft::WRL::ComPtr<IAMStreamConfig> config;
  Microsoft::WRL::ComPtr<CFrameCheckRenderer> sink;

  // Graph, source and sink made, both added to the graph, nothing connected.
  HRESULT Build(const CLSID& sourceClass) {
    HRESULT hr = ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&graph));
    if (SUCCEEDED(hr)) hr = graph.As(&control);
    if (SUCCEEDED(hr)) hr = ::CoCreateInstance(sourceClass, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&source));
    sink = AdoptNewObject(CFrameCheckRenderer::Create());
    if (SUCCEEDED(hr) && !sink) hr = E_OUTOFMEMORY;
    if (SUCCEEDED(hr)) hr = graph->AddFilter(source.Get(), L"Source");
    if (SUCCEEDED(hr)) hr = graph->AddFilter(sink.Get(), L"Sink");
    pin = PinAt(source.Get(), 0);
    return FAILED(hr) ? hr : pin ? pin.As(&config) : E_FAIL;
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
  ~CheckedGraph() {
    if (control) control->Stop();
  }
};
