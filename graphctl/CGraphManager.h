// The owner of the host's filter graph: a worker thread that creates the graph when asked and
// then dispatches window messages for the graph's whole life (a graph without a thread of its
// own does its internal work through its creating thread's messages), and the capture graph
// whose routines build, run, stop and dismantle it, reached through thin forwarders.
//
// Threads: the graph thread runs only ThreadMain. Every other member runs on the calling thread
// (the main or the monitor thread), one caller at a time under the graph-control object's lock.
// Besides CAMThread's access lock during the creation hand-over, only m_handOverLock is taken,
// by the caller and by the graph thread, for a few instructions and never across a wait.
// m_graphThreadId is published once by the graph thread and read by callers without a lock.
//
// Other processes can post to the graph thread. It therefore acts only on a creation message
// while a caller of this object has asked for one (m_handOver), hands the graph over only to
// that caller (never replacing a graph in use), and ends only when this object stops it: a
// WM_QUIT that the destructor did not send is ignored, and the stop event ends the thread even
// when WM_QUIT cannot be posted.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <wrl/client.h>

#include <atomic>

#include "capture/CCaptureGraph.h"
#include "capture/GraphFilterEntry.h"
#include "common/CCritSection.h"
#include "graphctl/CAMThread.h"
#include "graphctl/CWaitEvent.h"

// Final: the constructor starts the thread that calls ThreadMain.
class CGraphManager final : public CAMThread {
 public:
  // The creation message when "NORVANE_DLUMXGRAPH_NOTIFY" cannot be registered (WM_USER + 63).
  static constexpr UINT kFallbackGraphMessage = WM_USER + 63;
  // wParam of the creation message; the message with any other wParam is only dispatched.
  static constexpr WPARAM kCreateGraphRequest = 10;
  // How long a first build waits for the graph thread's graph before it makes one itself.
  static constexpr DWORD kCreationWaitMs = 10000;

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
  // Where the creation hand-over stands; m_handOverLock.
  enum class HandOver {
    kIdle,       // nobody asked: a creation message is a stranger's and is ignored
    kRequested,  // a caller posted the request and waits
    kCreating,   // the graph thread took the request and creates the graph
    kDone,       // the graph (or null after a failure) waits in m_handedGraph, the reply is out
    kAbandoned,  // the caller stopped waiting during the creation: the thread drops its graph
  };

  // Caller: has the graph thread create the graph object and takes it over, within
  // kCreationWaitMs; without it the capture graph makes one on this thread.
  void RequestGraphObject();
  // Graph thread: serves up to `limit` queued messages; false on a WM_QUIT once stopping.
  bool PumpMessages(int limit);
  // Graph thread: a creation message arrived.
  void CreateRequestedGraph();

  UINT m_graphMessage;
  // Written by the graph thread once its message queue exists; 0 before and after its life.
  std::atomic<DWORD> m_graphThreadId{0};
  // Set by the graph thread together with m_graphThreadId (manual reset).
  CWaitEvent m_threadReady{TRUE};
  // Set by the destructor: the graph thread ends (manual reset).
  CWaitEvent m_stop{TRUE};
  CCritSection m_handOverLock;
  HandOver m_handOver = HandOver::kIdle;                   // m_handOverLock
  Microsoft::WRL::ComPtr<IGraphBuilder> m_handedGraph;  // m_handOverLock
  CCaptureGraph m_graph;  // the caller's only
};
