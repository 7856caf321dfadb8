// The graph owner's thread in real graphs: it creates the graph once, on the first build, and is
// joined only after the graph has been dismantled and released; creation messages and WM_QUIT
// posted by another process neither replace nor end the graph.
#include <gtest/gtest.h>

#include <dshow.h>
#include <wrl/client.h>

#include <atomic>
#include <memory>

#include "common/ScopedHandle.h"
#include "framering/CFrameRingReader.h"
#include "graphctl/CGraphManager.h"
#include "support/CaptureGraphRig.h"
#include "support/FilterEnvironment.h"
#include "support/ScopedFailingClass.h"
#include "support/TestProcess.h"

using Microsoft::WRL::ComPtr;

namespace {

// What the graph thread takes from its queue, and the state of the graph when WM_QUIT arrives.
struct ThreadWatch {
  UINT graphMessage = 0;
  IBaseFilter* camera = nullptr;
  IGraphBuilder* graph = nullptr;  // set only for the last WM_QUIT; the test holds a reference
  std::atomic<int> creationMessages{0};
  std::atomic<int> quitMessages{0};
  std::atomic<bool> cameraInGraphAtQuit{true};  // stays so without WM_QUIT
  std::atomic<ULONG> graphReferencesAtQuit{0};
};
ThreadWatch* g_watch = nullptr;

LRESULT CALLBACK WatchGraphThread(int code, WPARAM removed, LPARAM lParam) {
  const MSG* message = reinterpret_cast<const MSG*>(lParam);
  if (code == HC_ACTION && removed == PM_REMOVE && g_watch != nullptr && message->hwnd == nullptr) {
    if (message->message == g_watch->graphMessage && message->wParam == CGraphManager::kCreateGraphRequest) {
      ++g_watch->creationMessages;
    }
    if (message->message == WM_QUIT) {
      ++g_watch->quitMessages;
      FILTER_INFO info = {};
      if (g_watch->graph != nullptr && SUCCEEDED(g_watch->camera->QueryFilterInfo(&info))) {
        g_watch->cameraInGraphAtQuit = info.pGraph != nullptr;
        if (info.pGraph != nullptr) info.pGraph->Release();
        g_watch->graph->AddRef();
        g_watch->graphReferencesAtQuit = g_watch->graph->Release();
      }
    }
  }
  return ::CallNextHookEx(nullptr, code, removed, lParam);
}

class GraphManagerTest : public ::testing::Test {
 protected:
  void TearDown() override {
    g_watch = nullptr;  // also after a failed assertion
    ExpectNoLiveFilters();
  }
};

// Another process posts the creation message and WM_QUIT to the graph thread, and the test
// waits until the thread has taken both from its queue.
void PostStraysFromAnotherProcess(const CGraphManager& manager, const ThreadWatch& watch) {
  const int creations = watch.creationMessages.load(), quits = watch.quitMessages.load();
  TestProcess stranger;
  ASSERT_TRUE(stranger.Start(L"fontis_peer.exe", L"post-thread " + std::to_wstring(manager.GraphThreadId()) + L" " +
                                                     std::to_wstring(manager.GraphMessage()) + L" 10 " +
                                                     std::to_wstring(WM_QUIT) + L" 0"));
  ASSERT_EQ(0u, stranger.Wait(30000)) << "a post was refused";
  ASSERT_TRUE(WaitUntil(
      [&] { return watch.creationMessages.load() > creations && watch.quitMessages.load() > quits; }, 10000));
}

}  // namespace

TEST_F(GraphManagerTest, OneGraphFromTheThreadWhateverStrangersPostAndTheGraphGoesBeforeTheThread) {
  ThreadWatch watch;
  g_watch = &watch;
  const std::wstring instance = UniqueInstanceName(L"gmthread");
  ComPtr<IBaseFilter> camera = CreateTestCamera(kTestCamStandard);
  ComPtr<IBaseFilter> renderer = OpenRenderer(instance);
  auto manager = std::make_unique<CGraphManager>();
  watch.graphMessage = manager->GraphMessage();
  ASSERT_TRUE(WaitUntil([&] { return manager->GraphThreadId() != 0; }, 3000));
  ScopedHandle graphThread(::OpenThread(SYNCHRONIZE, FALSE, manager->GraphThreadId()));
  HHOOK hook = ::SetWindowsHookExW(WH_GETMESSAGE, WatchGraphThread, nullptr, manager->GraphThreadId());
  ASSERT_NE(nullptr, hook);

  // Before any build nobody asked: nothing is created, and no answer is left behind for the
  // first build to take for its own.
  ASSERT_NO_FATAL_FAILURE(PostStraysFromAnotherProcess(*manager, watch));
  ComPtr<IGraphBuilder> graph, after;
  EXPECT_EQ(S_OK, manager->GetFilterGraph(&graph));
  EXPECT_EQ(nullptr, graph.Get());
  ASSERT_EQ(S_OK, FilterList(camera, renderer).Build(*manager));
  EXPECT_EQ(2, FilterCount(*manager));
  ASSERT_EQ(S_OK, manager->GetFilterGraph(&graph));
  ASSERT_NE(nullptr, graph.Get());
  // A rebuild reuses the graph object and asks the thread for nothing.
  ASSERT_EQ(S_OK, FilterList(camera, renderer).Build(*manager));
  EXPECT_EQ(2, watch.creationMessages.load());

  // While the graph runs (its thread dispatching for it): the same graph and a living thread.
  CFrameRingReader reader;
  ASSERT_EQ(S_OK, reader.Open(instance.c_str()));
  ASSERT_TRUE(SUCCEEDED(manager->Run(FALSE)));
  ASSERT_NO_FATAL_FAILURE(PostStraysFromAnotherProcess(*manager, watch));
  ASSERT_EQ(S_OK, manager->GetFilterGraph(&after));
  EXPECT_EQ(graph.Get(), after.Get());
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), ::WaitForSingleObject(graphThread.Get(), 0)) << "the thread ended";
  EXPECT_TRUE(reader.WaitForFrame(0, 10000)) << "no frames";

  watch.camera = camera.Get();
  after.Reset();
  watch.graph = graph.Get();
  manager.reset();  // built and running
  ::UnhookWindowsHookEx(hook);  // the thread is gone; the hook may be already
  g_watch = nullptr;
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(graphThread.Get(), 0)) << "the graph thread still runs";
  EXPECT_FALSE(watch.cameraInGraphAtQuit.load()) << "the graph was not dismantled before WM_QUIT";
  EXPECT_EQ(1u, watch.graphReferencesAtQuit.load()) << "the graph was not released before WM_QUIT";
  EXPECT_EQ(3, watch.creationMessages.load()) << "two strays and the first build's";
}

TEST_F(GraphManagerTest, AQuickDestructionEndsTheThreadAndABuildWithoutAnyGraphObjectFailsButTheNextWorks) {
  for (int i = 0; i < 5; ++i) CGraphManager overtaken;
  FilterList list(CreateTestCamera(kTestCamStandard), OpenRenderer(UniqueInstanceName(L"gmnograph")));
  {
    CGraphManager quick;  // built at once, before its thread may be ready
    EXPECT_EQ(S_OK, list.Build(quick));
  }
  CGraphManager manager;
  {
    ScopedFailingClass noThreadGraph(CLSID_FilterGraphNoThread, E_OUTOFMEMORY);
    ScopedFailingClass ownThreadGraph(CLSID_FilterGraph, E_OUTOFMEMORY);
    ASSERT_TRUE(noThreadGraph.IsRegistered() && ownThreadGraph.IsRegistered());
    // The graph thread's creation fails, and so does the one on this thread.
    EXPECT_EQ(E_FAIL, list.Build(manager));
    EXPECT_FALSE(manager.IsGraphBuilt());
  }
  EXPECT_EQ(S_OK, list.Build(manager));
  EXPECT_EQ(2, FilterCount(manager));
}
