// The graph owner's thread in real graphs: it creates the graph once, on the first build, and is
// joined only after the graph has been dismantled and released; a destruction that overtakes the
// thread's start still ends it.
#include <gtest/gtest.h>

#include <dshow.h>
#include <wrl/client.h>

#include <atomic>
#include <memory>

#include "common/ScopedHandle.h"
#include "filters/testcam/TestCameraProfiles.h"
#include "graphctl/CGraphManager.h"
#include "support/CaptureGraphRig.h"
#include "support/FilterEnvironment.h"
#include "support/TestProcess.h"

using Microsoft::WRL::ComPtr;

namespace {

// What the graph thread takes from its queue, and the state of the graph when WM_QUIT arrives.
struct ThreadWatch {
  UINT graphMessage = 0;
  IBaseFilter* camera = nullptr;
  IGraphBuilder* graph = nullptr;  // the test holds one reference of its own
  std::atomic<int> creationMessages{0};
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

}  // namespace

TEST_F(GraphManagerTest, TheThreadCreatesTheGraphOnceAndTheGraphGoesBeforeTheThread) {
  ThreadWatch watch;
  g_watch = &watch;
  ComPtr<IBaseFilter> camera = OpenCamera(kTestCamStandard);
  ComPtr<IBaseFilter> renderer = OpenRenderer(UniqueInstanceName(L"gmthread"));
  auto manager = std::make_unique<CGraphManager>();
  watch.graphMessage = manager->GraphMessage();
  ASSERT_TRUE(WaitUntil([&] { return manager->GraphThreadId() != 0; }, 3000));
  ScopedHandle graphThread(::OpenThread(SYNCHRONIZE, FALSE, manager->GraphThreadId()));
  ASSERT_TRUE(graphThread.IsValid());
  HHOOK hook = ::SetWindowsHookExW(WH_GETMESSAGE, WatchGraphThread, nullptr, manager->GraphThreadId());
  ASSERT_NE(nullptr, hook);

  ASSERT_EQ(S_OK, FilterList(camera, renderer).Build(*manager));
  EXPECT_EQ(1, watch.creationMessages.load());
  EXPECT_TRUE(manager->IsGraphBuilt());
  EXPECT_EQ(2, FilterCount(*manager));
  ComPtr<IGraphBuilder> graph;
  ASSERT_EQ(S_OK, manager->GetFilterGraph(&graph));
  ASSERT_NE(nullptr, graph.Get());
  // A rebuild reuses the graph object and asks the thread for nothing.
  ASSERT_EQ(S_OK, FilterList(camera, renderer).Build(*manager));
  EXPECT_EQ(1, watch.creationMessages.load());
  ASSERT_TRUE(SUCCEEDED(manager->Run(FALSE)));

  watch.camera = camera.Get();
  watch.graph = graph.Get();
  manager.reset();  // built and running
  ::UnhookWindowsHookEx(hook);  // the thread is gone; the hook may be already
  g_watch = nullptr;
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(graphThread.Get(), 0)) << "the graph thread still runs";
  EXPECT_FALSE(watch.cameraInGraphAtQuit.load()) << "the graph was not dismantled before WM_QUIT";
  EXPECT_EQ(1u, watch.graphReferencesAtQuit.load()) << "the graph was not released before WM_QUIT";
  EXPECT_EQ(1, watch.creationMessages.load());
}

TEST_F(GraphManagerTest, DestructionRightAfterConstructionEndsTheThreadAndAFirstBuildRightAwayWorks) {
  for (int i = 0; i < 5; ++i) CGraphManager overtaken;
  FilterList list(OpenCamera(kTestCamStandard), OpenRenderer(UniqueInstanceName(L"gmquick")));
  CGraphManager manager;  // built at once, before its thread may be ready
  EXPECT_EQ(S_OK, list.Build(manager));
}
