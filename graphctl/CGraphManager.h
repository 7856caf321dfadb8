// The owner of the host's filter graph: a worker thread that creates the graph when asked and
// then dispatches window messages for the graph's whole life (a graph without a thread of its
// own does its internal work through its creating thread's messages), and the operations that
// build, run, stop and dismantle the graph.
//
// Threads: the graph thread runs only ThreadMain. Every other member runs on the calling thread
// (the main or the monitor thread), one caller at a time under the graph-control object's lock;
// this class takes no lock of its own except CAMThread's access lock during the creation
// hand-over. m_filterGraph is written by the graph thread only while the caller waits in
// CallThread; the reply event orders that write before the caller's read. m_graphThreadId is
// published once by the graph thread and read by callers without a lock.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <wrl/client.h>

#include <atomic>

#include "capture/GraphFilterEntry.h"
#include "graphctl/CAMThread.h"
#include "graphctl/CWaitEvent.h"

class CGraphManager : public CAMThread {
 public:
  // The creation message when "NORVANE_DLUMXGRAPH_NOTIFY" cannot be registered (WM_USER + 63).
  static constexpr UINT kFallbackGraphMessage = WM_USER + 63;
  // wParam of the creation message; the message with any other wParam is only dispatched.
  static constexpr WPARAM kCreateGraphRequest = 10;

  CGraphManager();
  // Dismantles and releases the graph on the destroying thread, then ends and joins the graph
  // thread, also when the destruction overtakes the thread's start.
  ~CGraphManager() override;

  DWORD ThreadMain() override;

  // Builds source -> capture renderer, or with a preview entry source -> Smart Tee ("Capture"
  // output -> capture renderer, next free output -> preview renderer). The first build has the
  // graph created on the graph thread; later builds reuse it. A failed build leaves it empty.
  HRESULT BuildGraph(GraphFilterEntry* entries, int count, BOOL preview, HWND ownerWindow, BOOL noThread,
                     BOOL retry);
  // Stops and empties the graph, keeping the graph object and the Smart Tee.
  HRESULT DestroyGraph();

  HRESULT Run(BOOL retry);
  HRESULT Stop();
  HRESULT ShowPreview(BOOL show);
  BOOL IsGraphBuilt() const { return m_built; }

  // Read-only views for diagnostics and tests; each hands out a reference of its own.
  UINT GraphMessage() const { return m_graphMessage; }
  DWORD GraphThreadId() const { return m_graphThreadId.load(); }
  HRESULT GetFilterGraph(IGraphBuilder** graph) const;
  HRESULT GetSmartTee(IBaseFilter** tee) const;

 private:
  HRESULT CreateGraphObject(BOOL noThread);
  HRESULT BuildTeeBranches(GraphFilterEntry& source, GraphFilterEntry* capture, GraphFilterEntry* preview, BOOL retry);
  HRESULT ConnectFilters(IGraphBuilder* graph, GraphFilterEntry& up, const WCHAR* upName, GraphFilterEntry& down,
                         const WCHAR* downName, BOOL retry);
  static HRESULT ConnectPins(IGraphBuilder* graph, IBaseFilter* upFilter, GUID upCategory, const WCHAR* upName,
                             IBaseFilter* downFilter, GUID downCategory, const WCHAR* downName, BOOL retry);

  UINT m_graphMessage;
  // Written by the graph thread once its message queue exists; 0 before and after its life.
  std::atomic<DWORD> m_graphThreadId{0};
  // Set by the graph thread together with m_graphThreadId (manual reset).
  CWaitEvent m_threadReady{TRUE};
  Microsoft::WRL::ComPtr<IGraphBuilder> m_filterGraph;
  Microsoft::WRL::ComPtr<IBaseFilter> m_smartTee;
  BOOL m_built = FALSE;
  HWND m_previewOwner = nullptr;
};
