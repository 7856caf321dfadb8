// The host's capture graph: the filter graph object, the Smart Tee and the routines that build,
// run, stop, show and dismantle the graph. Usable on any thread; the graph owner gives it a graph
// created on its message-loop thread, and without one the first build creates an ordinary graph.
//
// Threads: one caller at a time (the graph-control object's lock serialises them); no lock of
// its own. SetFilterGraph may be called from another thread only while the caller that will read
// the graph waits for it (the graph owner's creation hand-over orders the two).
#pragma once

#include <windows.h>
#include <strmif.h>
#include <wrl/client.h>

#include "capture/GraphFilterEntry.h"

class CCaptureGraph {
 public:
  CCaptureGraph() = default;
  ~CCaptureGraph() { DropGraph(); }
  CCaptureGraph(const CCaptureGraph&) = delete;
  CCaptureGraph& operator=(const CCaptureGraph&) = delete;

  // The graph object every later build uses (replacing any held before); null to drop it.
  void SetFilterGraph(IGraphBuilder* graph) { m_filterGraph = graph; }
  BOOL HasFilterGraph() const { return m_filterGraph != nullptr; }

  // Builds source -> capture renderer, or with a preview entry source -> Smart Tee ("Capture"
  // output -> capture renderer, next free output -> preview renderer). Without a graph object one
  // is created here (without a thread of its own when noThread is set); E_FAIL when that fails.
  // A failed build leaves the graph empty.
  HRESULT BuildGraph(GraphFilterEntry* entries, int count, BOOL preview, HWND ownerWindow, BOOL noThread,
                     BOOL retry);
  // Stops and empties the graph, keeping the graph object and the Smart Tee.
  HRESULT DestroyGraph();
  // Dismantles a built graph, then drops the graph object and the Smart Tee.
  void DropGraph();

  HRESULT Run(BOOL retry);
  HRESULT Stop();
  HRESULT ShowPreview(BOOL show);
  BOOL IsGraphBuilt() const { return m_built; }

  // Read-only views for diagnostics and tests; each hands out a reference of its own.
  HRESULT GetFilterGraph(IGraphBuilder** graph) const;
  HRESULT GetSmartTee(IBaseFilter** tee) const;

 private:
  HRESULT BuildTeeBranches(GraphFilterEntry& source, GraphFilterEntry* capture, GraphFilterEntry* preview, BOOL retry);
  static HRESULT ConnectFilters(IGraphBuilder* graph, GraphFilterEntry& up, const WCHAR* upName,
                                GraphFilterEntry& down, const WCHAR* downName, BOOL retry);
  static HRESULT ConnectPins(IGraphBuilder* graph, IBaseFilter* upFilter, GUID upCategory, const WCHAR* upName,
                             IBaseFilter* downFilter, GUID downCategory, const WCHAR* downName, BOOL retry);

  Microsoft::WRL::ComPtr<IGraphBuilder> m_filterGraph;
  Microsoft::WRL::ComPtr<IBaseFilter> m_smartTee;
  BOOL m_built = FALSE;
  HWND m_previewOwner = nullptr;
};
