#include "CGraphManager.h"

#include <dshow.h>
#include <wrl/client.h>

#include "capture/GraphConstruction.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr WCHAR kGraphMessageName[] = L"NORVANE_DLUMXGRAPH_NOTIFY";
// How long a first build gives a graph thread that has not recorded its id yet.
constexpr DWORD kThreadStartWaitMs = 10;
// WM_QUIT is retried while the graph thread's queue is full.
constexpr int kQuitPostAttempts = 100;
constexpr DWORD kQuitPostPauseMs = 10;

}  // namespace

CGraphManager::CGraphManager() {
  m_graphMessage = ::RegisterWindowMessageW(kGraphMessageName);
  if (m_graphMessage == 0) m_graphMessage = kFallbackGraphMessage;
  // Without a thread the first build creates the graph on its caller's thread.
  StartThread();
}

CGraphManager::~CGraphManager() {
  // The graph goes while the graph thread still dispatches its messages.
  m_graph.DropGraph();
  if (HasThread()) {
    // A destruction that overtakes the thread's start waits until the thread can be told to end.
    m_threadReady.Wait(INFINITE);
    const DWORD threadId = m_graphThreadId.load();
    for (int attempt = 0; threadId != 0 && attempt < kQuitPostAttempts; ++attempt) {
      if (::PostThreadMessageW(threadId, WM_QUIT, 0, 0)) break;
      ::Sleep(kQuitPostPauseMs);
    }
    CloseThread();
    m_graphThreadId.store(0);
  }
}

DWORD CGraphManager::ThreadMain() {
  MSG message;
  // The queue exists before the id is published, so no post to this thread can fail for want of it.
  ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
  m_graphThreadId.store(::GetCurrentThreadId());
  m_threadReady.Set();
  // GetMessageW gives -1 only for a bad window filter, which is never passed here.
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
    if (message.hwnd == nullptr && message.message == m_graphMessage && message.wParam == kCreateGraphRequest) {
      ComPtr<IGraphBuilder> graph;
      const HRESULT hr = CreateFilterGraph(&graph, TRUE);
      m_graph.SetFilterGraph(graph.Get());
      ReplyRequest(static_cast<DWORD>(hr));
    }
  }
  return 1;
}

void CGraphManager::RequestGraphObject() {
  if (m_graphThreadId.load() == 0) m_threadReady.Wait(kThreadStartWaitMs);
  const DWORD threadId = m_graphThreadId.load();
  // Only a delivered request can be answered: after a failed post nobody waits for a reply.
  if (HasThread() && threadId != 0 &&
      ::PostThreadMessageW(threadId, m_graphMessage, kCreateGraphRequest, 0)) {
    CallThread(0);  // the reply's value is not needed: the graph itself tells
  }
}

HRESULT CGraphManager::BuildGraph(GraphFilterEntry* entries, int count, BOOL preview, HWND ownerWindow,
                                  BOOL noThread, BOOL retry) {
  if (entries == nullptr || count < 2) return E_INVALIDARG;
  // Without a graph from the graph thread, the capture graph creates one on this thread.
  if (!m_graph.HasFilterGraph()) RequestGraphObject();
  return m_graph.BuildGraph(entries, count, preview, ownerWindow, noThread, retry);
}
