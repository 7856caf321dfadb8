// The graph owner in real graphs: its thread creates the graph once and is joined after the graph
// is gone; camera -> capture renderer and camera -> Smart Tee -> capture and preview renderers are
// built, run, stopped and rebuilt; frames reach the renderer's ring only while the graph runs;
// the camera's capture format is chosen on its capture pin's capabilities.
#include <gtest/gtest.h>

#include <dshow.h>
#include <wrl/client.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "CaptureTestSupport.h"
#include "capture/CFrameRingReader.h"
#include "capture/CaptureFormat.h"
#include "capture/DeviceEnumeration.h"
#include "capture/GraphConstruction.h"
#include "capture/IRendererControl.h"
#include "filters/testcam/TestCameraProfiles.h"
#include "graphctl/CGraphManager.h"
#include "ipc/ScopedHandle.h"
#include "ipc/VideoInfoFormat.h"
#include "support/TestProcess.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr DWORD kFrameWaitMs = 5000;

ComPtr<IBaseFilter> OpenCamera(size_t index) {
  ComPtr<IBaseFilter> camera;
  EXPECT_EQ(S_OK, CreateFilterInstance(kTestCameraProfiles[index].clsid, &camera));
  return camera;
}

// A capture renderer that writes the frames into the ring of instance.
ComPtr<IBaseFilter> OpenRenderer(const std::wstring& instance) {
  ComPtr<IBaseFilter> renderer;
  ComPtr<IRendererControl> control;
  EXPECT_EQ(S_OK, CreateFilterInstance(CLSID_FontisCaptureRenderer, &renderer));
  EXPECT_TRUE(renderer && SUCCEEDED(QueryRendererControl(renderer.Get(), &control)) &&
              control->SetInstanceName(instance.c_str()) == S_OK);
  return renderer;
}

// The list the graph-control object hands in: camera, capture renderer, optionally the preview,
// which is then built with the owner window.
struct FilterList {
  GraphFilterEntry entries[3] = {};
  int count = 0;
  FilterList(const ComPtr<IBaseFilter>& camera, const ComPtr<IBaseFilter>& renderer,
             const ComPtr<IBaseFilter>& preview = nullptr) {
    Add(kRoleSource, camera, kSourceFilterName, PIN_CATEGORY_CAPTURE);
    Add(kRoleCaptureRenderer, renderer, kCaptureRendererName, GUID_NULL);
    if (preview) Add(kRolePreviewRenderer, preview, kPreviewRendererName, GUID_NULL);
  }
  void Add(DWORD role, const ComPtr<IBaseFilter>& filter, const WCHAR* name, const GUID& category) {
    GraphFilterEntry& entry = entries[count++];
    entry.role = role;
    entry.filter = filter;
    BoundedCopy(entry.name, name);
    entry.pinCategory = category;
  }
  HRESULT Build(CGraphManager& manager, HWND owner = nullptr) {
    return manager.BuildGraph(entries, count, count == 3, owner, FALSE, FALSE);
  }
};

// Filters in the manager's graph; -1 without a graph object.
int FilterCount(CGraphManager& manager) {
  ComPtr<IGraphBuilder> graph;
  ComPtr<IEnumFilters> filters;
  if (FAILED(manager.GetFilterGraph(&graph)) || !graph || FAILED(graph->EnumFilters(&filters))) return -1;
  int count = 0;
  ComPtr<IBaseFilter> filter;
  while (filters->Next(1, filter.ReleaseAndGetAddressOf(), nullptr) == S_OK) ++count;
  return count;
}

ComPtr<IPin> PinOf(IBaseFilter* filter, PIN_DIRECTION direction, const wchar_t* name = nullptr) {
  ComPtr<IEnumPins> pins;
  ComPtr<IPin> pin;
  if (FAILED(filter->EnumPins(&pins))) return pin;
  while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    PIN_INFO info = {};
    if (FAILED(pin->QueryPinInfo(&info))) continue;
    if (info.pFilter != nullptr) info.pFilter->Release();
    if (info.dir == direction && (name == nullptr || std::wstring(info.achName) == name)) return pin;
  }
  return nullptr;
}

// The pin connected to the filter's pin, null when there is none.
ComPtr<IPin> PeerOf(IBaseFilter* filter, PIN_DIRECTION direction, const wchar_t* name = nullptr) {
  ComPtr<IPin> pin = PinOf(filter, direction, name), peer;
  if (pin) pin->ConnectedTo(&peer);
  return peer;
}

// The pin at the other end of the filter's first input: its filter and its name.
std::pair<ComPtr<IBaseFilter>, std::wstring> UpstreamOf(IBaseFilter* filter) {
  std::pair<ComPtr<IBaseFilter>, std::wstring> upstream;
  ComPtr<IPin> peer = PeerOf(filter, PINDIR_INPUT);
  PIN_INFO info = {};
  if (!peer || FAILED(peer->QueryPinInfo(&info))) return upstream;
  *upstream.first.ReleaseAndGetAddressOf() = info.pFilter;  // takes over the reference
  upstream.second = info.achName;
  return upstream;
}

// The video window is a child of the owner and fills its client area.
void ExpectPreviewFills(HWND owner) {
  HWND video = ::GetWindow(owner, GW_CHILD);
  ASSERT_NE(nullptr, video) << "no video window inside the owner";
  EXPECT_TRUE(::GetWindowLongW(video, GWL_STYLE) & WS_CHILD);
  RECT client = {}, placed = {};
  ::GetClientRect(owner, &client);
  ::GetWindowRect(video, &placed);
  ::MapWindowPoints(nullptr, owner, reinterpret_cast<POINT*>(&placed), 2);
  // left, top, right, bottom: the client area less one border line at the bottom.
  const std::vector<LONG> expected = {0, 0, client.right, client.bottom - ::GetSystemMetrics(SM_CYBORDER)};
  EXPECT_EQ(expected, (std::vector<LONG>{placed.left, placed.top, placed.right, placed.bottom}));
}

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

TEST_F(GraphManagerTest, TheThreadCreatesTheGraphOnceFramesFlowOnlyWhileRunningAndTheGraphGoesBeforeTheThread) {
  ThreadWatch watch;
  g_watch = &watch;
  const std::wstring instance = UniqueInstanceName(L"capdirect");
  ComPtr<IBaseFilter> camera = OpenCamera(kTestCamStandard);
  ComPtr<IBaseFilter> renderer = OpenRenderer(instance);
  auto manager = std::make_unique<CGraphManager>();
  watch.graphMessage = manager->GraphMessage();
  ASSERT_TRUE(WaitUntil([&] { return manager->GraphThreadId() != 0; }, 3000));
  ScopedHandle graphThread(::OpenThread(SYNCHRONIZE, FALSE, manager->GraphThreadId()));
  ASSERT_TRUE(graphThread.IsValid());
  HHOOK hook = ::SetWindowsHookExW(WH_GETMESSAGE, WatchGraphThread, nullptr, manager->GraphThreadId());
  ASSERT_NE(nullptr, hook);

  FilterList list(camera, renderer);
  ASSERT_EQ(S_OK, list.Build(*manager));
  EXPECT_EQ(1, watch.creationMessages.load());
  EXPECT_TRUE(list.entries[0].connected && list.entries[1].connected);
  EXPECT_EQ(2, FilterCount(*manager));
  const auto upstream = UpstreamOf(renderer.Get());
  EXPECT_EQ(camera.Get(), upstream.first.Get());
  EXPECT_EQ(L"Capture", upstream.second);
  ComPtr<IGraphBuilder> graph;
  ASSERT_EQ(S_OK, manager->GetFilterGraph(&graph));
  ASSERT_NE(nullptr, graph.Get());

  CFrameRingReader reader;
  ASSERT_EQ(S_OK, reader.Open(instance.c_str()));
  ASSERT_TRUE(SUCCEEDED(manager->Run(FALSE)));
  ASSERT_TRUE(reader.WaitForFrame(0, kFrameWaitMs)) << "no frame after Run";
  EXPECT_EQ(S_OK, manager->Stop());
  const LONG64 atStop = reader.LatestCounter();
  ::Sleep(300);  // waiting for something not to happen
  EXPECT_EQ(atStop, reader.LatestCounter()) << "frames after Stop";

  // A rebuild reuses the graph object and asks the thread for nothing.
  ASSERT_EQ(S_OK, FilterList(camera, renderer).Build(*manager));
  EXPECT_EQ(1, watch.creationMessages.load());
  ASSERT_TRUE(SUCCEEDED(manager->Run(FALSE)));
  EXPECT_TRUE(reader.WaitForFrame(atStop, kFrameWaitMs)) << "no frame after a second Run";

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
  FilterList list(OpenCamera(kTestCamStandard), OpenRenderer(UniqueInstanceName(L"capquick")));
  CGraphManager manager;  // built at once, before its thread may be ready
  EXPECT_EQ(S_OK, list.Build(manager));
}

TEST_F(GraphManagerTest, PreviewGoesThroughTheSmartTeeIntoTheOwnerWindowAndARebuildReusesTheTee) {
  const std::wstring instance = UniqueInstanceName(L"cappreview");
  ComPtr<IBaseFilter> camera = OpenCamera(kTestCamStandard);
  ComPtr<IBaseFilter> renderer = OpenRenderer(instance);
  // The first 640x480 capability (RGB24) although YUY2 was asked for: only the size counts, and
  // the capability's own type is written back.
  CMediaType request;
  ASSERT_EQ(S_OK, BuildVideoInfoType(640, 480, VideoSubtype::kYuy2, &request));
  ASSERT_EQ(S_OK, SetPinFormat(camera.Get(), PIN_CATEGORY_CAPTURE, &request));
  EXPECT_EQ(MEDIASUBTYPE_RGB24, request->subtype);
  // A height without a width reads the current format back: the pin took 640x480.
  ASSERT_EQ(S_OK, BuildVideoInfoType(0, 1080, VideoSubtype::kRgb24, &request));
  ASSERT_EQ(S_OK, SetPinFormat(camera.Get(), PIN_CATEGORY_CAPTURE, &request));
  EXPECT_EQ(640, reinterpret_cast<const VIDEOINFOHEADER*>(request->pbFormat)->bmiHeader.biWidth);
  const std::unique_ptr<HWND__, BOOL(WINAPI*)(HWND)> owner(
      ::CreateWindowExW(0, L"STATIC", L"preview owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 400, 300, nullptr,
                        nullptr, nullptr, nullptr),
      ::DestroyWindow);
  ASSERT_NE(nullptr, owner.get());

  CGraphManager manager;
  ComPtr<IGraphBuilder> graphs[2];
  ComPtr<IBaseFilter> tees[2];
  for (int build = 0; build < 2; ++build) {
    SCOPED_TRACE(build == 0 ? "first build" : "rebuild");
    ComPtr<IBaseFilter> preview;
    ASSERT_EQ(S_OK, CreateFilterInstance(CLSID_VideoRenderer, &preview));
    FilterList list(camera, renderer, preview);
    ASSERT_EQ(S_OK, list.Build(manager, owner.get()));
    EXPECT_TRUE(list.entries[1].connected && list.entries[2].connected);
    ASSERT_EQ(S_OK, manager.GetFilterGraph(&graphs[build]));
    ASSERT_EQ(S_OK, manager.GetSmartTee(&tees[build]));
    IBaseFilter* const tee = tees[build].Get();
    ASSERT_NE(nullptr, tee);
    const auto captureFeed = UpstreamOf(renderer.Get());
    EXPECT_EQ(tee, captureFeed.first.Get());
    EXPECT_NE(std::wstring::npos, captureFeed.second.find(L"Capture")) << "fed by " << captureFeed.second.c_str();
    EXPECT_EQ(camera.Get(), UpstreamOf(tee).first.Get());
    // The preview output feeds the preview renderer, perhaps through a converter.
    EXPECT_TRUE(PeerOf(preview.Get(), PINDIR_INPUT));

    ExpectPreviewFills(owner.get());
    ::SetWindowPos(owner.get(), nullptr, 0, 0, 520 + 40 * build, 410, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(S_OK, manager.ShowPreview(TRUE));
    ExpectPreviewFills(owner.get());

    CFrameRingReader reader;
    ASSERT_EQ(S_OK, reader.Open(instance.c_str()));
    const LONG64 before = reader.LatestCounter();
    ASSERT_TRUE(SUCCEEDED(manager.Run(FALSE)));
    // The preview window belongs to this thread: its messages are dispatched while waiting.
    const auto framesArrived = [&] {
      MSG message;
      while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
      return reader.LatestCounter() > before + 3;
    };
    EXPECT_TRUE(WaitUntil(framesArrived, kFrameWaitMs)) << "the capture output of the tee delivers no frames";
    EXPECT_EQ(S_OK, manager.Stop());
  }
  EXPECT_EQ(graphs[0].Get(), graphs[1].Get());
  EXPECT_EQ(tees[0].Get(), tees[1].Get());
  EXPECT_EQ(S_OK, manager.DestroyGraph());
  EXPECT_FALSE(manager.IsGraphBuilt());
  EXPECT_EQ(0, FilterCount(manager));
  EXPECT_FALSE(PeerOf(camera.Get(), PINDIR_OUTPUT, L"Capture"));
}

TEST_F(GraphManagerTest, CapturePinsAreChosenByCategoryAndAFailedBuildLeavesAnEmptyGraph) {
  ComPtr<IBaseFilter> renderer = OpenRenderer(UniqueInstanceName(L"capfail"));
  CGraphManager manager;
  // The camera's first output is its preview pin: the capture pin is chosen by category.
  ComPtr<IBaseFilter> previewFirst = OpenCamera(kTestCamPreviewFirst);
  ASSERT_EQ(S_OK, FilterList(previewFirst, renderer).Build(manager));
  const auto feed = UpstreamOf(renderer.Get());
  EXPECT_EQ(previewFirst.Get(), feed.first.Get());
  EXPECT_EQ(L"Capture", feed.second);
  EXPECT_FALSE(PeerOf(previewFirst.Get(), PINDIR_OUTPUT, L"Preview"));

  // Without IKsPropertySet no pin has the capture category. The old graph goes first.
  FilterList noCategory(OpenCamera(kTestCamNoKsProps), renderer);
  EXPECT_EQ(E_FAIL, noCategory.Build(manager));
  EXPECT_FALSE(manager.IsGraphBuilt());
  EXPECT_FALSE(noCategory.entries[1].connected);
  EXPECT_EQ(0, FilterCount(manager));
  EXPECT_FALSE(PeerOf(previewFirst.Get(), PINDIR_OUTPUT, L"Capture"));

  EXPECT_EQ(S_OK, FilterList(OpenCamera(kTestCamStandard), renderer).Build(manager));  // and builds again

  // 64-byte capability records are not understood: no pin takes a format, the record stays.
  CMediaType request;
  ASSERT_EQ(S_OK, BuildVideoInfoType(1280, 720, VideoSubtype::kRgb24, &request));
  EXPECT_EQ(E_FAIL, SetPinFormat(OpenCamera(kTestCamCaps64).Get(), PIN_CATEGORY_CAPTURE, &request));
  EXPECT_EQ(1280, reinterpret_cast<const VIDEOINFOHEADER*>(request->pbFormat)->bmiHeader.biWidth);
}
