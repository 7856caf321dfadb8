#include "CGraphManager.h"

#include <dshow.h>

#include "capture/GraphConstruction.h"
#include "common/CScopedLock.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr WCHAR kGraphMessageName[] = L"NORVANE_DLUMXGRAPH_NOTIFY";
// How long a first build gives a graph thread that has not recorded its id yet.
constexpr DWORD kThreadStartWaitMs = 10;
// Messages served before the graph thread looks at its stop event again: a stranger flooding
// the queue cannot keep it from ending.
constexpr int kMessagesPerPass = 64;

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
    // WM_QUIT first, then the stop event: the thread serves what is queued and ends, and it
    // ends as well when the post fails or the thread has not started yet.
    const DWORD threadId = m_graphThreadId.load();
    if (threadId != 0) ::PostThreadMessageW(threadId, WM_QUIT, 0, 0);
    m_stop.Set();
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
  const HANDLE stop = m_stop.Handle();
  for (;;) {
    const DWORD woke = ::MsgWaitForMultipleObjectsEx(1, &stop, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    // Stopping (or a wait that cannot work): serve what is queued once more, then end.
    const bool stopping = woke != WAIT_OBJECT_0 + 1;
    if (!PumpMessages(kMessagesPerPass) || stopping) return 1;
  }
}

bool CGraphManager::PumpMessages(int limit) {
  MSG message;
  for (int served = 0; served < limit && ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++served) {
    if (message.message == WM_QUIT) {
      // Ours only once the destructor stops the thread; anyone else's would leave the graph
      // without the messages it needs.
      if (m_stop.Check()) return false;
      continue;
    }
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
    if (message.hwnd == nullptr && message.message == m_graphMessage && message.wParam == kCreateGraphRequest) {
      CreateRequestedGraph();
    }
  }
  return true;
}

void CGraphManager::CreateRequestedGraph() {
  {
    CScopedLock lock(&m_handOverLock);
    if (m_handOver != HandOver::kRequested) return;  // nobody of ours asked
    m_handOver = HandOver::kCreating;
  }
  ComPtr<IGraphBuilder> graph;
  const HRESULT hr = CreateFilterGraph(&graph, TRUE);
  CScopedLock lock(&m_handOverLock);
  if (m_handOver != HandOver::kCreating) {
    // The caller stopped waiting and made a graph of its own; this one is released here, on the
    // thread that made it, after the lock.
    m_handOver = HandOver::kIdle;
    return;
  }
  // Swapped, not move-assigned: mingw-w64's ComPtr move assignment copies and keeps the source.
  m_handedGraph.Swap(graph);
  m_handOver = HandOver::kDone;
  // Under the lock: a caller that finds kDone knows the reply is out.
  ReplyRequest(static_cast<DWORD>(hr));
}

void CGraphManager::RequestGraphObject() {
  if (m_graphThreadId.load() == 0) m_threadReady.Wait(kThreadStartWaitMs);
  const DWORD threadId = m_graphThreadId.load();
  if (!HasThread() || threadId == 0) return;
  {
    CScopedLock lock(&m_handOverLock);
    // A creation abandoned earlier is still running: this build makes its own graph.
    if (m_handOver != HandOver::kIdle) return;
    m_handOver = HandOver::kRequested;
  }
  // Only a delivered request can be answered: after a failed post nobody waits for a reply.
  // The reply's value is not needed: the graph handed over tells.
  const BOOL replied = ::PostThreadMessageW(threadId, m_graphMessage, kCreateGraphRequest, 0) &&
                       CallThreadWithin(0, kCreationWaitMs, nullptr);
  ComPtr<IGraphBuilder> created;
  {
    CScopedLock lock(&m_handOverLock);
    switch (m_handOver) {
      case HandOver::kDone:
        created.Swap(m_handedGraph);
        m_handOver = HandOver::kIdle;
        // Replied after the wait gave up: that reply must not answer a later call.
        if (!replied) DiscardReply();
        break;
      case HandOver::kCreating:
        m_handOver = HandOver::kAbandoned;
        break;
      default:
        // Never taken (the thread ended, or the post failed): a later message finds kIdle.
        m_handOver = HandOver::kIdle;
        break;
    }
  }
  if (created) m_graph.SetFilterGraph(created.Get());
}

HRESULT CGraphManager::BuildGraph(GraphFilterEntry* entries, int count, BOOL preview, HWND ownerWindow,
                                  BOOL noThread, BOOL retry) {
  if (entries == nullptr || count < 2) return E_INVALIDARG;
  // Without a graph from the graph thread, the capture graph creates one on this thread.
  if (!m_graph.HasFilterGraph()) RequestGraphObject();
  return m_graph.BuildGraph(entries, count, preview, ownerWindow, noThread, retry);
}
