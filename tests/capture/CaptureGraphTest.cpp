// The capture graph's routines in real graphs, without the graph owner's thread: camera ->
// capture renderer and camera -> Smart Tee -> capture and preview renderers are built, run and
// rebuilt; the camera's capture format is chosen on its capture pin's capabilities; a failed
// build leaves an empty graph; a filter that will not leave does not keep the tear-down going.
#include <gtest/gtest.h>

#include <dshow.h>
#include <wrl/client.h>

#include <atomic>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "capture/CCaptureGraph.h"
#include "capture/CaptureFormat.h"
#include "capture/DeviceEnumeration.h"
#include "capture/GraphConstruction.h"
#include "capture/IRendererControl.h"
#include "common/ComReferences.h"
#include "common/CTaskMemMediaType.h"
#include "filters/base/CBaseFilter.h"
#include "framering/CFrameRingReader.h"
#include "ipc/VideoInfoFormat.h"
#include "support/CaptureGraphRig.h"
#include "support/FilterEnvironment.h"
#include "support/TestProcess.h"

using Microsoft::WRL::ComPtr;

namespace {

using Size = std::pair<LONG, LONG>;

// The size of the capture pin's current format.
Size CaptureFormatSize(IBaseFilter* camera) {
  ComPtr<IAMStreamConfig> config;
  CTaskMemMediaType current;
  if (FAILED(PinOf(camera, PINDIR_OUTPUT, L"Capture").As(&config)) || FAILED(config->GetFormat(current.Receive())) ||
      current.Get()->cbFormat < sizeof(VIDEOINFOHEADER)) {
    return {-1, -1};
  }
  const BITMAPINFOHEADER& bitmap = reinterpret_cast<const VIDEOINFOHEADER*>(current.Get()->pbFormat)->bmiHeader;
  return {bitmap.biWidth, bitmap.biHeight};
}

// The video window is a child of the owner and fills its client area less one border line at
// the bottom: left, top, right, bottom.
std::vector<LONG> PreviewPlacement(HWND owner) {
  HWND video = ::GetWindow(owner, GW_CHILD);
  RECT placed = {};
  if (video == nullptr || !(::GetWindowLongW(video, GWL_STYLE) & WS_CHILD)) return {};
  ::GetWindowRect(video, &placed);
  ::MapWindowPoints(nullptr, owner, reinterpret_cast<POINT*>(&placed), 2);
  return {placed.left, placed.top, placed.right, placed.bottom};
}

// A filter without pins that refuses to leave its graph while told to.
class CStayingFilter final : public CBaseFilter {
 public:
  CStayingFilter() : CBaseFilter(kClsid) {}
  STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override {
    if (graph == nullptr && refuse.load()) return E_ACCESSDENIED;
    return CBaseFilter::JoinFilterGraph(graph, name);
  }
  int GetPinCount() override { return 0; }
  CBasePin* GetPin(int) override { return nullptr; }

  static constexpr CLSID kClsid = {0x2F0E5C1A, 0x7B3D, 0x4E62, {0x9A, 0x41, 0x6D, 0x0C, 0x83, 0x5B, 0x17, 0xE9}};
  std::atomic<bool> refuse{true};
};

class CaptureGraphTest : public ::testing::Test {
 protected:
  void TearDown() override { ExpectNoLiveFilters(); }
};

}  // namespace

TEST_F(CaptureGraphTest, ARequestTakesTheCapabilityOfItsSizeInItsOwnTypeAndConnectsOnTheGraphGiven) {
  // As the host applies a request: announce it to the renderer, set the nearest size on the
  // camera, build. The connection checks the camera's format strictly.
  ComPtr<IBaseFilter> camera = CreateTestCamera(kTestCamStandard);
  ComPtr<IBaseFilter> renderer = OpenRenderer(UniqueInstanceName(L"capdirect"));
  ComPtr<IRendererControl> control;
  ASSERT_EQ(S_OK, QueryRendererControl(renderer.Get(), &control));
  CMediaType mjpg;
  ASSERT_EQ(S_OK, BuildVideoInfoType(1280, 720, VideoSubtype::kRgb24, &mjpg));
  mjpg.Edit().subtype = MEDIASUBTYPE_MJPG;
  mjpg.VideoInfo()->bmiHeader.biCompression = MAKEFOURCC('M', 'J', 'P', 'G');
  EXPECT_EQ(S_OK, control->SetMediaType(&mjpg.Get()));
  ASSERT_EQ(S_OK, SetPinFormat(camera.Get(), PIN_CATEGORY_CAPTURE, &mjpg));
  EXPECT_EQ(MEDIASUBTYPE_RGB24, mjpg->subtype) << "only the size counts";
  EXPECT_EQ(Size(1280, 720), CaptureFormatSize(camera.Get()));
  // Without a width the request reads the current format.
  CMediaType current;
  ASSERT_EQ(S_OK, BuildVideoInfoType(0, 1080, VideoSubtype::kYuy2, &current));
  EXPECT_EQ(S_OK, SetPinFormat(camera.Get(), PIN_CATEGORY_CAPTURE, &current));
  EXPECT_EQ(1280, current.VideoInfo()->bmiHeader.biWidth);
  // 64-byte capability records are not understood: the pin keeps its format.
  ComPtr<IBaseFilter> caps64 = CreateTestCamera(kTestCamCaps64);
  const Size before = CaptureFormatSize(caps64.Get());
  EXPECT_EQ(E_FAIL, SetPinFormat(caps64.Get(), PIN_CATEGORY_CAPTURE, &mjpg));
  EXPECT_EQ(before, CaptureFormatSize(caps64.Get()));

  ComPtr<IGraphBuilder> given, used;
  ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&given)));
  CCaptureGraph graph;
  EXPECT_EQ(E_FAIL, graph.Run(FALSE)) << "nothing built";
  graph.SetFilterGraph(given.Get());
  FilterList list(camera, renderer);
  ASSERT_EQ(S_OK, list.Build(graph));
  EXPECT_TRUE(list.entries[0].connected && list.entries[1].connected);
  EXPECT_EQ(2, FilterCount(graph));
  EXPECT_EQ(std::make_pair(camera, std::wstring(L"Capture")), UpstreamOf(renderer.Get()));
  ASSERT_EQ(S_OK, graph.GetFilterGraph(&used));
  EXPECT_EQ(given.Get(), used.Get());
  EXPECT_EQ(S_OK, graph.DestroyGraph());
  EXPECT_EQ(0, FilterCount(graph));
}

TEST_F(CaptureGraphTest, PreviewGoesThroughTheSmartTeeIntoTheOwnerWindowAndARebuildReusesTheTee) {
  const std::wstring instance = UniqueInstanceName(L"cappreview");
  ComPtr<IBaseFilter> camera = CreateTestCamera(kTestCamStandard);
  ComPtr<IBaseFilter> renderer = OpenRenderer(instance);
  const std::unique_ptr<HWND__, BOOL(WINAPI*)(HWND)> owner(
      ::CreateWindowExW(0, L"STATIC", L"preview owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 400, 300, nullptr,
                        nullptr, nullptr, nullptr),
      ::DestroyWindow);
  ASSERT_NE(nullptr, owner.get());
  CCaptureGraph graph;
  ComPtr<IBaseFilter> tees[2];
  for (int build = 0; build < 2; ++build) {
    SCOPED_TRACE(build == 0 ? "first build" : "rebuild");
    ComPtr<IBaseFilter> preview;
    ASSERT_EQ(S_OK, CreateFilterInstance(CLSID_VideoRenderer, &preview));
    ASSERT_EQ(S_OK, FilterList(camera, renderer, preview).Build(graph, owner.get()));
    ASSERT_EQ(S_OK, graph.GetSmartTee(&tees[build]));
    ASSERT_NE(nullptr, tees[build].Get());
    const auto captureFeed = UpstreamOf(renderer.Get());
    EXPECT_EQ(tees[build], captureFeed.first);
    EXPECT_NE(std::wstring::npos, captureFeed.second.find(L"Capture")) << "fed by " << captureFeed.second.c_str();
    EXPECT_EQ(camera, UpstreamOf(tees[build].Get()).first);
    // The preview output feeds the preview renderer, perhaps through a converter.
    EXPECT_TRUE(PeerOf(preview.Get(), PINDIR_INPUT));

    ::SetWindowPos(owner.get(), nullptr, 0, 0, 520 + 40 * build, 410, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(S_OK, graph.ShowPreview(TRUE));
    RECT client = {};
    ::GetClientRect(owner.get(), &client);
    EXPECT_EQ((std::vector<LONG>{0, 0, client.right, client.bottom - ::GetSystemMetrics(SM_CYBORDER)}),
              PreviewPlacement(owner.get()));
  }
  EXPECT_EQ(tees[0], tees[1]);
  CFrameRingReader reader;
  ASSERT_EQ(S_OK, reader.Open(instance.c_str()));
  ASSERT_TRUE(SUCCEEDED(graph.Run(FALSE)));
  // The preview window belongs to this thread: WaitUntil dispatches its messages.
  EXPECT_TRUE(WaitUntil([&] { return reader.LatestCounter() > 3; }, 10000)) << "the tee's capture output delivers nothing";
  EXPECT_EQ(S_OK, graph.DestroyGraph());
  EXPECT_EQ(0, FilterCount(graph));
  EXPECT_FALSE(PeerOf(camera.Get(), PINDIR_OUTPUT, L"Capture"));
}

TEST_F(CaptureGraphTest, CapturePinsByCategoryFailedBuildsLeaveNoGraphAndATearDownEndsAlthoughAFilterStays) {
  ComPtr<IBaseFilter> camera = CreateTestCamera(kTestCamStandard);
  ComPtr<IBaseFilter> renderer = OpenRenderer(UniqueInstanceName(L"capfail"));
  CCaptureGraph graph;
  // The camera's first output is its preview pin: the capture pin is chosen by category.
  ComPtr<IBaseFilter> previewFirst = CreateTestCamera(kTestCamPreviewFirst);
  ASSERT_EQ(S_OK, FilterList(previewFirst, renderer).Build(graph));
  EXPECT_EQ(std::make_pair(previewFirst, std::wstring(L"Capture")), UpstreamOf(renderer.Get()));
  EXPECT_FALSE(PeerOf(previewFirst.Get(), PINDIR_OUTPUT, L"Preview"));

  // Without IKsPropertySet no pin has the capture category. The old graph goes first, and no
  // failed build leaves one.
  EXPECT_EQ(E_FAIL, FilterList(CreateTestCamera(kTestCamNoKsProps), renderer).Build(graph));
  EXPECT_FALSE(PeerOf(previewFirst.Get(), PINDIR_OUTPUT, L"Capture"));
  EXPECT_FALSE(graph.IsGraphBuilt());
  EXPECT_EQ(0, FilterCount(graph));
  ComPtr<IBaseFilter> preview;
  ASSERT_EQ(S_OK, CreateFilterInstance(CLSID_VideoRenderer, &preview));
  EXPECT_EQ(E_INVALIDARG, FilterList(camera, renderer, preview).Build(graph, nullptr)) << "preview without an owner";
  EXPECT_EQ(0, FilterCount(graph));

  ASSERT_EQ(S_OK, FilterList(camera, renderer).Build(graph));
  ComPtr<IGraphBuilder> builder;
  ASSERT_EQ(S_OK, graph.GetFilterGraph(&builder));
  CStayingFilter* staying = new CStayingFilter();
  ComPtr<IBaseFilter> stayingFilter = AdoptNewObject<IBaseFilter>(staying);
  ASSERT_EQ(S_OK, builder->AddFilter(stayingFilter.Get(), L"Staying"));
  // Every other filter goes, the refusal is reported, and the tear-down ends.
  EXPECT_TRUE(FAILED(graph.DestroyGraph()));
  EXPECT_EQ(1, FilterCount(graph));
  EXPECT_FALSE(PeerOf(camera.Get(), PINDIR_OUTPUT, L"Capture"));
  staying->refuse = false;
  EXPECT_EQ(S_OK, TearDownGraph(builder.Get()));
  EXPECT_EQ(0, FilterCount(graph));
}
