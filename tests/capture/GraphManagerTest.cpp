// The graph owner in real graphs: its thread creates the graph once and is joined after the graph
// is gone; camera -> capture renderer and camera -> Smart Tee -> capture and preview renderers are
// built, run, stopped, rebuilt and taken apart; frames reach the renderer's ring only while the
// graph runs; the camera's capture format is chosen on its capabilities.
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
#include "capture/ScopedTaskMemMediaType.h"
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
  EXPECT_EQ(S_OK, CreateFilterInstance(CLSID_FontisCaptureRenderer, &renderer));
  if (!renderer) return renderer;
  ComPtr<IRendererControl> control;
  EXPECT_EQ(S_OK, QueryRendererControl(renderer.Get(), &control));
  if (control) {
    EXPECT_EQ(S_OK, control->SetInstanceName(instance.c_str()));
  }
  return renderer;
}

void SetEntry(GraphFilterEntry* entry, DWORD role, const ComPtr<IBaseFilter>& filter, const WCHAR* name,
              const GUID& category) {
  entry->role = role;
  entry->filter = filter;
  BoundedCopy(entry->name, name);
  entry->pinCategory = category;
  entry->connected = FALSE;
}

// The list the graph-control object hands in: camera, capture renderer, optionally the preview.
struct FilterList {
  GraphFilterEntry entries[3] = {};
  int count = 2;
  FilterList(const ComPtr<IBaseFilter>& camera, const ComPtr<IBaseFilter>& renderer,
             const ComPtr<IBaseFilter>& preview = nullptr) {
    SetEntry(&entries[0], kRoleSource, camera, kSourceFilterName, PIN_CATEGORY_CAPTURE);
    SetEntry(&entries[1], kRoleCaptureRenderer, renderer, kCaptureRendererName, GUID_NULL);
    if (preview) {
      SetEntry(&entries[2], kRolePreviewRenderer, preview, kPreviewRendererName, GUID_NULL);
      count = 3;
    }
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

// The pin at the other end of the filter's first input, with its name and filter.
struct PeerInfo {
  ComPtr<IPin> pin;
  ComPtr<IBaseFilter> filter;
  std::wstring name;
};
PeerInfo UpstreamOf(IBaseFilter* filter) {
  PeerInfo peer;
  ComPtr<IPin> input = PinOf(filter, PINDIR_INPUT);
  if (!input || input->ConnectedTo(&peer.pin) != S_OK) return peer;
  PIN_INFO info = {};
  if (SUCCEEDED(peer.pin->QueryPinInfo(&info))) {
    *peer.filter.ReleaseAndGetAddressOf() = info.pFilter;  // takes over the reference
    peer.name = info.achName;
  }
  return peer;
}

bool IsPinConnected(IPin* pin) {
  ComPtr<IPin> peer;
  return pin != nullptr && pin->ConnectedTo(&peer) == S_OK;
}

// Polls while dispatching this thread's messages: the preview window belongs to this thread.
template <class Pred>
bool PumpUntil(Pred pred, DWORD timeoutMs) {
  return WaitUntil(
      [&pred] {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
        return pred();
      },
      timeoutMs);
}

// The camera's current format on its capture pin.
bool CurrentSize(IBaseFilter* camera, const wchar_t* pinName, LONG* width, LONG* height, GUID* subtype) {
  ComPtr<IPin> pin = PinOf(camera, PINDIR_OUTPUT, pinName);
  ComPtr<IAMStreamConfig> config;
  if (!pin || FAILED(pin.As(&config))) return false;
  ScopedTaskMemMediaType type;
  if (FAILED(config->GetFormat(type.Receive())) || !type) return false;
  const auto* header = reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
  *width = header->bmiHeader.biWidth;
  *height = header->bmiHeader.biHeight;
  *subtype = type->subtype;
  return true;
}

// An owner window for the preview, on this thread.
class OwnerWindow {
 public:
  OwnerWindow(int width, int height, DWORD style) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = ::DefWindowProcW;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"FontisCaptureTestOwner";
    ::RegisterClassW(&windowClass);  // a second registration fails harmlessly
    m_window = ::CreateWindowExW(0, windowClass.lpszClassName, L"preview owner", style, 10, 10, width, height,
                                 nullptr, nullptr, windowClass.hInstance, nullptr);
  }
  ~OwnerWindow() {
    if (m_window != nullptr) ::DestroyWindow(m_window);
  }
  OwnerWindow(const OwnerWindow&) = delete;
  OwnerWindow& operator=(const OwnerWindow&) = delete;
  HWND Get() const { return m_window; }

 private:
  HWND m_window = nullptr;
};

// The video window's size as a child of the owner, and the size the owner's client area offers.
void ExpectPreviewFills(HWND owner) {
  HWND video = ::GetWindow(owner, GW_CHILD);
  ASSERT_NE(nullptr, video) << "no video window inside the owner";
  EXPECT_EQ(owner, ::GetParent(video));
  EXPECT_TRUE(::GetWindowLongW(video, GWL_STYLE) & WS_CHILD);
  RECT client = {};
  ::GetClientRect(owner, &client);
  RECT placed = {};
  ::GetWindowRect(video, &placed);
  ::MapWindowPoints(nullptr, owner, reinterpret_cast<POINT*>(&placed), 2);
  EXPECT_EQ(0, placed.left);
  EXPECT_EQ(0, placed.top);
  EXPECT_EQ(client.right, placed.right);
  EXPECT_EQ(client.bottom - ::GetSystemMetrics(SM_CYBORDER), placed.bottom);
}

// Counts what the graph thread takes from its queue, watching the camera at WM_QUIT.
struct ThreadWatch {
  std::atomic<UINT> graphMessage{0};
  std::atomic<int> creationMessages{0};
  std::atomic<int> otherRequests{0};
  std::atomic<bool> quitSeen{false};
  std::atomic<bool> cameraInGraphAtQuit{true};
  std::atomic<ULONG> graphReferencesAtQuit{0};
  IBaseFilter* camera = nullptr;
  IGraphBuilder* graph = nullptr;  // the test holds one reference of its own
};
ThreadWatch* g_watch = nullptr;

LRESULT CALLBACK WatchGraphThread(int code, WPARAM removed, LPARAM lParam) {
  const MSG* message = reinterpret_cast<const MSG*>(lParam);
  if (code == HC_ACTION && removed == PM_REMOVE && g_watch != nullptr && message->hwnd == nullptr) {
    if (message->message == g_watch->graphMessage.load()) {
      if (message->wParam == CGraphManager::kCreateGraphRequest) {
        ++g_watch->creationMessages;
      } else {
        ++g_watch->otherRequests;
      }
    }
    if (message->message == WM_QUIT) {
      FILTER_INFO info = {};
      if (g_watch->camera != nullptr && SUCCEEDED(g_watch->camera->QueryFilterInfo(&info))) {
        g_watch->cameraInGraphAtQuit = info.pGraph != nullptr;
        if (info.pGraph != nullptr) info.pGraph->Release();
      }
      if (g_watch->graph != nullptr) {
        g_watch->graph->AddRef();
        g_watch->graphReferencesAtQuit = g_watch->graph->Release();
      }
      g_watch->quitSeen = true;
    }
  }
  return ::CallNextHookEx(nullptr, code, removed, lParam);
}

class GraphManagerTest : public ::testing::Test {
 protected:
  void TearDown() override {
    // Every camera and renderer object is gone once the graph and the test let go.
    EXPECT_TRUE(WaitUntil([] { return CameraRegistration().LiveObjects() == 0; }, 3000))
        << CameraRegistration().LiveObjects() << " test camera objects alive";
    HMODULE renderer = ::GetModuleHandleW(L"fontis_renderer.dll");
    using CanUnload = HRESULT(STDAPICALLTYPE*)();
    const auto canUnload = renderer == nullptr ? nullptr
                                               : reinterpret_cast<CanUnload>(reinterpret_cast<void*>(
                                                     ::GetProcAddress(renderer, "DllCanUnloadNow")));
    if (canUnload != nullptr) {
      EXPECT_TRUE(WaitUntil([canUnload] { return canUnload() == S_OK; }, 3000));
    }
  }
};

}  // namespace

TEST_F(GraphManagerTest, TheGraphThreadCreatesTheGraphOnceAndIsJoinedAfterTheGraphIsGone) {
  ThreadWatch watch;
  g_watch = &watch;
  ComPtr<IBaseFilter> camera = OpenCamera(kTestCamStandard);
  ComPtr<IGraphBuilder> graph;
  ScopedHandle graphThread;
  {
    auto manager = std::make_unique<CGraphManager>();
    watch.graphMessage = manager->GraphMessage();
    EXPECT_NE(0u, manager->GraphMessage());
    ASSERT_TRUE(WaitUntil([&] { return manager->GraphThreadId() != 0; }, 3000));
    graphThread.Reset(::OpenThread(SYNCHRONIZE, FALSE, manager->GraphThreadId()));
    ASSERT_TRUE(graphThread.IsValid());
    HHOOK hook = ::SetWindowsHookExW(WH_GETMESSAGE, WatchGraphThread, nullptr, manager->GraphThreadId());
    ASSERT_NE(nullptr, hook);

    // The message with another wParam creates nothing and is not answered.
    ASSERT_TRUE(::PostThreadMessageW(manager->GraphThreadId(), manager->GraphMessage(), 11, 0));
    ASSERT_TRUE(WaitUntil([&] { return watch.otherRequests.load() == 1; }, 3000));
    EXPECT_EQ(S_OK, manager->GetFilterGraph(&graph));
    EXPECT_EQ(nullptr, graph.Get());

    const std::wstring instance = UniqueInstanceName(L"capthread");
    ComPtr<IBaseFilter> renderer = OpenRenderer(instance);
    FilterList list(camera, renderer);
    ASSERT_EQ(S_OK, manager->BuildGraph(list.entries, list.count, FALSE, nullptr, FALSE, FALSE));
    EXPECT_EQ(1, watch.creationMessages.load());
    ASSERT_EQ(S_OK, manager->GetFilterGraph(&graph));
    ASSERT_NE(nullptr, graph.Get());

    // A rebuild reuses the graph object and asks the thread for nothing.
    FilterList again(camera, renderer);
    ASSERT_EQ(S_OK, manager->BuildGraph(again.entries, again.count, FALSE, nullptr, FALSE, FALSE));
    ComPtr<IGraphBuilder> sameGraph;
    ASSERT_EQ(S_OK, manager->GetFilterGraph(&sameGraph));
    EXPECT_EQ(graph.Get(), sameGraph.Get());
    sameGraph.Reset();
    EXPECT_EQ(1, watch.creationMessages.load());
    EXPECT_EQ(S_OK, manager->Run(FALSE));

    watch.camera = camera.Get();
    watch.graph = graph.Get();
    manager.reset();  // built and running
    ::UnhookWindowsHookEx(hook);  // the thread is gone; the hook may be already
  }
  g_watch = nullptr;
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(graphThread.Get(), 0)) << "the graph thread still runs";
  EXPECT_TRUE(watch.quitSeen.load());
  EXPECT_FALSE(watch.cameraInGraphAtQuit.load()) << "the graph was not dismantled before WM_QUIT";
  EXPECT_EQ(1u, watch.graphReferencesAtQuit.load()) << "the graph was not released before WM_QUIT";
  EXPECT_EQ(1, watch.creationMessages.load());
  graph.Reset();
}

TEST_F(GraphManagerTest, DestructionRightAfterConstructionEndsTheThreadAndAFirstBuildRightAwayWorks) {
  for (int i = 0; i < 20; ++i) CGraphManager overtaken;
  ComPtr<IBaseFilter> camera = OpenCamera(kTestCamStandard);
  ComPtr<IBaseFilter> renderer = OpenRenderer(UniqueInstanceName(L"capquick"));
  for (int i = 0; i < 3; ++i) {
    CGraphManager manager;
    FilterList list(camera, renderer);
    EXPECT_EQ(S_OK, manager.BuildGraph(list.entries, list.count, FALSE, nullptr, FALSE, FALSE));
  }
}

TEST_F(GraphManagerTest, CameraToCaptureRendererRunsStopsAndIsTakenApart) {
  const std::wstring instance = UniqueInstanceName(L"capdirect");
  ComPtr<IBaseFilter> camera = OpenCamera(kTestCamStandard);
  ComPtr<IBaseFilter> renderer = OpenRenderer(instance);
  CMediaType format;
  ASSERT_EQ(S_OK, BuildVideoInfoType(320, 240, VideoSubtype::kRgb24, &format));
  ASSERT_EQ(S_OK, SetPinFormat(camera.Get(), PIN_CATEGORY_CAPTURE, &format));

  CGraphManager manager;
  EXPECT_EQ(E_FAIL, manager.DestroyGraph());  // no graph object yet
  EXPECT_EQ(S_OK, manager.Stop());
  EXPECT_EQ(E_FAIL, manager.Run(FALSE));
  EXPECT_EQ(E_FAIL, manager.ShowPreview(TRUE));

  FilterList list(camera, renderer);
  ASSERT_EQ(S_OK, manager.BuildGraph(list.entries, list.count, FALSE, nullptr, FALSE, FALSE));
  EXPECT_TRUE(manager.IsGraphBuilt());
  EXPECT_TRUE(list.entries[0].connected);
  EXPECT_TRUE(list.entries[1].connected);
  EXPECT_EQ(2, FilterCount(manager));
  ComPtr<IBaseFilter> tee;
  EXPECT_EQ(S_OK, manager.GetSmartTee(&tee));
  EXPECT_EQ(nullptr, tee.Get()) << "a build without preview created the Smart Tee";
  const PeerInfo upstream = UpstreamOf(renderer.Get());
  EXPECT_EQ(camera.Get(), upstream.filter.Get());
  EXPECT_EQ(L"Capture", upstream.name);

  CFrameRingReader reader;
  ASSERT_EQ(S_OK, reader.Open(instance.c_str()));
  ASSERT_TRUE(SUCCEEDED(manager.Run(FALSE)));
  ASSERT_TRUE(reader.WaitForFrame(0, kFrameWaitMs)) << "no frame after Run";
  FrameRingFrame frame = {};
  ASSERT_TRUE(reader.PeekLatest(&frame));
  EXPECT_EQ(320, frame.width);
  EXPECT_EQ(240, frame.height);

  EXPECT_EQ(S_OK, manager.Stop());
  const LONG64 atStop = reader.LatestCounter();
  ::Sleep(300);
  EXPECT_EQ(atStop, reader.LatestCounter()) << "frames after Stop";
  ASSERT_TRUE(SUCCEEDED(manager.Run(FALSE)));
  EXPECT_TRUE(reader.WaitForFrame(atStop, kFrameWaitMs)) << "no frame after a second Run";

  EXPECT_EQ(S_OK, manager.DestroyGraph());  // stops first
  EXPECT_FALSE(manager.IsGraphBuilt());
  EXPECT_TRUE(FilterCount(manager) == 0);
  const LONG64 atDestroy = reader.LatestCounter();
  ::Sleep(200);
  EXPECT_EQ(atDestroy, reader.LatestCounter());
  EXPECT_FALSE(IsPinConnected(PinOf(camera.Get(), PINDIR_OUTPUT).Get()));
  EXPECT_EQ(S_OK, manager.Stop());
  EXPECT_EQ(E_FAIL, manager.Run(FALSE));
}

TEST_F(GraphManagerTest, PreviewGoesThroughTheSmartTeeIntoTheOwnerWindowAndARebuildReusesTheTee) {
  const std::wstring instance = UniqueInstanceName(L"cappreview");
  ComPtr<IBaseFilter> camera = OpenCamera(kTestCamStandard);
  ComPtr<IBaseFilter> renderer = OpenRenderer(instance);
  CMediaType format;
  ASSERT_EQ(S_OK, BuildVideoInfoType(640, 480, VideoSubtype::kRgb24, &format));
  ASSERT_EQ(S_OK, SetPinFormat(camera.Get(), PIN_CATEGORY_CAPTURE, &format));
  OwnerWindow owner(400, 300, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  ASSERT_NE(nullptr, owner.Get());

  CGraphManager manager;
  ComPtr<IGraphBuilder> firstGraph;
  ComPtr<IBaseFilter> firstTee;
  for (int build = 0; build < 2; ++build) {
    SCOPED_TRACE(build == 0 ? "first build" : "rebuild");
    ComPtr<IBaseFilter> preview;
    ASSERT_EQ(S_OK, CreateFilterInstance(CLSID_VideoRenderer, &preview));
    FilterList list(camera, renderer, preview);
    ASSERT_EQ(S_OK, manager.BuildGraph(list.entries, list.count, TRUE, owner.Get(), FALSE, FALSE));
    EXPECT_TRUE(list.entries[1].connected);
    EXPECT_TRUE(list.entries[2].connected);

    ComPtr<IBaseFilter> tee;
    ASSERT_EQ(S_OK, manager.GetSmartTee(&tee));
    ASSERT_NE(nullptr, tee.Get());
    ComPtr<IGraphBuilder> graph;
    ASSERT_EQ(S_OK, manager.GetFilterGraph(&graph));
    if (build == 0) {
      firstGraph = graph;
      firstTee = tee;
    } else {
      EXPECT_EQ(firstGraph.Get(), graph.Get());
      EXPECT_EQ(firstTee.Get(), tee.Get());
    }
    ComPtr<IBaseFilter> named;
    ASSERT_EQ(S_OK, graph->FindFilterByName(kSmartTeeName, &named));
    EXPECT_EQ(tee.Get(), named.Get());
    const PeerInfo captureFeed = UpstreamOf(renderer.Get());
    EXPECT_EQ(tee.Get(), captureFeed.filter.Get());
    EXPECT_NE(std::wstring::npos, captureFeed.name.find(L"Capture")) << "fed by " << captureFeed.name.c_str();
    EXPECT_EQ(camera.Get(), UpstreamOf(tee.Get()).filter.Get());
    // The preview output feeds the preview renderer, perhaps through a converter.
    EXPECT_TRUE(IsPinConnected(PinOf(preview.Get(), PINDIR_INPUT).Get()));
    ComPtr<IPin> teePreview = PinOf(tee.Get(), PINDIR_OUTPUT, L"Preview");
    EXPECT_TRUE(IsPinConnected(teePreview.Get()));

    ExpectPreviewFills(owner.Get());
    EXPECT_TRUE(::IsWindowVisible(::GetWindow(owner.Get(), GW_CHILD)));
    ::SetWindowPos(owner.Get(), nullptr, 0, 0, 520 + 40 * build, 410, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(S_OK, manager.ShowPreview(TRUE));
    ExpectPreviewFills(owner.Get());
    EXPECT_EQ(S_OK, manager.ShowPreview(FALSE));
    EXPECT_FALSE(::IsWindowVisible(::GetWindow(owner.Get(), GW_CHILD)));
    EXPECT_EQ(S_OK, manager.ShowPreview(TRUE));

    CFrameRingReader reader;
    ASSERT_EQ(S_OK, reader.Open(instance.c_str()));
    const LONG64 before = reader.LatestCounter();
    ASSERT_TRUE(SUCCEEDED(manager.Run(FALSE)));
    EXPECT_TRUE(PumpUntil([&] { return reader.LatestCounter() > before + 3; }, kFrameWaitMs))
        << "the capture output of the tee delivers no frames";
    EXPECT_EQ(S_OK, manager.Stop());
  }
  EXPECT_EQ(S_OK, manager.DestroyGraph());
  EXPECT_TRUE(FilterCount(manager) == 0);
}

TEST_F(GraphManagerTest, CamerasThatCannotBeConnectedAndBadListsLeaveAnEmptyGraph) {
  const std::wstring instance = UniqueInstanceName(L"capfail");
  ComPtr<IBaseFilter> renderer = OpenRenderer(instance);
  CGraphManager manager;

  // The camera's first output is its preview pin: the capture pin is chosen by category.
  ComPtr<IBaseFilter> previewFirst = OpenCamera(kTestCamPreviewFirst);
  FilterList good(previewFirst, renderer);
  ASSERT_EQ(S_OK, manager.BuildGraph(good.entries, good.count, FALSE, nullptr, FALSE, FALSE));
  const PeerInfo feed = UpstreamOf(renderer.Get());
  EXPECT_EQ(previewFirst.Get(), feed.filter.Get());
  EXPECT_EQ(L"Capture", feed.name);
  EXPECT_FALSE(IsPinConnected(PinOf(previewFirst.Get(), PINDIR_OUTPUT, L"Preview").Get()));

  // Without IKsPropertySet no pin has the capture category. The old graph goes first.
  ComPtr<IBaseFilter> noKs = OpenCamera(kTestCamNoKsProps);
  FilterList noCategory(noKs, renderer);
  EXPECT_EQ(E_FAIL, manager.BuildGraph(noCategory.entries, noCategory.count, FALSE, nullptr, FALSE, FALSE));
  EXPECT_FALSE(manager.IsGraphBuilt());
  EXPECT_FALSE(noCategory.entries[1].connected);
  EXPECT_TRUE(FilterCount(manager) == 0);
  EXPECT_FALSE(IsPinConnected(PinOf(previewFirst.Get(), PINDIR_OUTPUT, L"Capture").Get()));

  // A preview without an owner window.
  ComPtr<IBaseFilter> camera = OpenCamera(kTestCamStandard);
  ComPtr<IBaseFilter> preview;
  ASSERT_EQ(S_OK, CreateFilterInstance(CLSID_VideoRenderer, &preview));
  FilterList noOwner(camera, renderer, preview);
  EXPECT_EQ(E_INVALIDARG, manager.BuildGraph(noOwner.entries, noOwner.count, TRUE, nullptr, FALSE, FALSE));
  EXPECT_FALSE(manager.IsGraphBuilt());
  EXPECT_TRUE(FilterCount(manager) == 0);

  // Chained entries only: the chain is connected, then the missing renderers fail the build.
  FilterList chained(camera, renderer);
  chained.entries[1].role = kRoleSource;
  EXPECT_EQ(E_INVALIDARG, manager.BuildGraph(chained.entries, chained.count, FALSE, nullptr, FALSE, FALSE));
  EXPECT_TRUE(chained.entries[1].connected);
  EXPECT_TRUE(FilterCount(manager) == 0);
  EXPECT_EQ(E_INVALIDARG, manager.BuildGraph(chained.entries, 1, FALSE, nullptr, FALSE, FALSE));
  EXPECT_EQ(E_INVALIDARG, manager.BuildGraph(nullptr, 2, FALSE, nullptr, FALSE, FALSE));

  // And the manager still builds afterwards.
  FilterList after(camera, renderer);
  EXPECT_EQ(S_OK, manager.BuildGraph(after.entries, after.count, FALSE, nullptr, FALSE, FALSE));
}

TEST_F(GraphManagerTest, TheCaptureFormatIsChosenOnTheCapturePinsCapabilities) {
  ComPtr<IBaseFilter> camera = OpenCamera(kTestCamStandard);
  LONG width = 0, height = 0;
  GUID subtype = GUID_NULL;
  // The first 640x480 capability (RGB24) although YUY2 was asked for: only the size counts, and
  // the capability's own type is written back.
  CMediaType request;
  ASSERT_EQ(S_OK, BuildVideoInfoType(640, 480, VideoSubtype::kYuy2, &request));
  ASSERT_EQ(S_OK, SetPinFormat(camera.Get(), PIN_CATEGORY_CAPTURE, &request));
  EXPECT_TRUE(IsEqualGUID(MEDIASUBTYPE_RGB24, request->subtype));
  ASSERT_TRUE(CurrentSize(camera.Get(), L"Capture", &width, &height, &subtype));
  EXPECT_EQ(640, width);
  EXPECT_TRUE(IsEqualGUID(MEDIASUBTYPE_RGB24, subtype));
  // A height without a width reads the current format back.
  ASSERT_EQ(S_OK, BuildVideoInfoType(0, 1080, VideoSubtype::kRgb24, &request));
  ASSERT_EQ(S_OK, SetPinFormat(camera.Get(), PIN_CATEGORY_CAPTURE, &request));
  EXPECT_EQ(640, reinterpret_cast<const VIDEOINFOHEADER*>(request->pbFormat)->bmiHeader.biWidth);

  // 64-byte capability records are not understood: no pin takes a format, the record stays.
  ComPtr<IBaseFilter> caps64 = OpenCamera(kTestCamCaps64);
  ASSERT_EQ(S_OK, BuildVideoInfoType(1280, 720, VideoSubtype::kRgb24, &request));
  EXPECT_EQ(E_FAIL, SetPinFormat(caps64.Get(), PIN_CATEGORY_CAPTURE, &request));
  EXPECT_EQ(1280, reinterpret_cast<const VIDEOINFOHEADER*>(request->pbFormat)->bmiHeader.biWidth);
  // The preview pin comes first but is of another category.
  ComPtr<IBaseFilter> previewFirst = OpenCamera(kTestCamPreviewFirst);
  ASSERT_EQ(S_OK, SetPinFormat(previewFirst.Get(), PIN_CATEGORY_CAPTURE, &request));
  ASSERT_TRUE(CurrentSize(previewFirst.Get(), L"Capture", &width, &height, &subtype));
  EXPECT_EQ(1280, width);
  ASSERT_TRUE(CurrentSize(previewFirst.Get(), L"Preview", &width, &height, &subtype));
  EXPECT_EQ(640, width);
  // A pin whose category cannot be read is taken.
  ComPtr<IBaseFilter> noKs = OpenCamera(kTestCamNoKsProps);
  ASSERT_EQ(S_OK, BuildVideoInfoType(320, 240, VideoSubtype::kRgb24, &request));
  EXPECT_EQ(S_OK, SetPinFormat(noKs.Get(), PIN_CATEGORY_CAPTURE, &request));
  ASSERT_TRUE(CurrentSize(noKs.Get(), L"Capture", &width, &height, &subtype));
  EXPECT_EQ(320, width);
  CMediaType empty;
  EXPECT_EQ(E_FAIL, SetPinFormat(camera.Get(), PIN_CATEGORY_CAPTURE, &empty));
}
