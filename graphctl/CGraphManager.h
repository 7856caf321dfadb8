// The owner of the host's filter graph: a worker thread that creates the graph when asked and
// then dispatches window messages for the graph's whole life (a graph without a thread of its
// own does its internal work through its creating thread's messages), and the capture graph
// whose routines build, run, stop and dismantle it, reached through thin forwarders.
//
// Threads: the graph thread runs only ThreadMain. Every other member runs on the calling thread
// (the main or the monitor thread), one caller at a time under the graph-control object's lock;
// this class takes no lock of its own except CAMThread's access lock during the creation
// hand-over. The graph thread hands its graph to m_graph only while the caller waits in
// CallThread; the reply event orders that write before the caller's read. m_graphThreadId is
// published once by the graph thread and read by callers without a lock.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <atomic>

#include "capture/CCaptureGraph.h"
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

  // The first build has the graph created on the graph thread (or, failing that, on the calling
  // thread); later builds reuse it. The rest is CCaptureGraph's.
  HRESULT BuildGraph(GraphFilterEntry* entries, int count, BOOL preview, HWND ownerWindow, BOOL noThread,
                     BOOL retry);
  HRESULT DestroyGraph() { return m_graph.DestroyGraph(); }
  HRESULT Run(BOOL retry) { return m_graph.Run(retry); }
  HRESULT Stop() { return m_graph.Stop(); }
  HRESULT ShowPreview(BOOL show) { return m_graph.ShowPreview(show); }
  BOOL IsGraphBuilt() const { return m_graph.IsGraphBuilt(); }

  // Read-only views for diagnostics and tests; each hands out a reference of its own.
  UINT GraphMessage() const { return m_graphMessage; }
  DWORD GraphThreadId() const { return m_graphThreadId.load(); }
  HRESULT GetFilterGraph(IGraphBuilder** graph) const { return m_graph.GetFilterGraph(graph); }
  HRESULT GetSmartTee(IBaseFilter** tee) const { return m_graph.GetSmartTee(tee); }

 private:
  // Has the graph thread create the graph object, when it runs and takes the request.
  void RequestGraphObject();

  UINT m_graphMessage;
  // Written by the graph thread once its message queue exists; 0 before and after its life.
  std::atomic<DWORD> m_graphThreadId{0};
  // Set by the graph thread together with m_graphThreadId (manual reset).
  CWaitEvent m_threadReady{TRUE};
  CCaptureGraph m_graph;
};
