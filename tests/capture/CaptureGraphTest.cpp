// The capture graph's routines in real graphs, without the graph owner's thread: camera ->
// capture renderer and camera -> Smart Tee -> capture and preview renderers are built, run,
// stopped and rebuilt; frames reach the renderer's ring only while the graph runs; the camera's
// capture format is chosen on its capture pin's capabilities; a failed build leaves an empty
// graph; a filter that will not leave does not keep the tear-down going.
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
#include "filters/testcam/TestCameraProfiles.h"
#include "framering/CFrameRingReader.h"
#include "ipc/VideoInfoFormat.h"
#include "support/CaptureGraphRig.h"
#include "support/FilterEnvironment.h"
#include "support/ScopedFailingClass.h"
#include "support/TestCamFaultRecord.h"
#include "support/TestProcess.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr DWORD kFrameWaitMs = 10000;
using Size = std::pair<LONG, LONG>;

Size SizeOf(const AM_MEDIA_TYPE* type) {
  if (type == nullptr || type->cbFormat < sizeof(VIDEOINFOHEADER)) return {-1, -1};
  const BITMAPINFOHEADER& bitmap = reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat)->bmiHeader;
  return {bitmap.biWidth, bitmap.biHeight};
}

// The size of the capture pin's current format.
Size CaptureFormatSize(IBaseFilter* camera) {
  ComPtr<IAMStreamConfig> config;
  CTaskMemMediaType current;
  if (FAILED(PinOf(camera, PINDIR_OUTPUT, L"Capture").As(&config)) || FAILED(config->GetFormat(current.Receive()))) {
    return {-1, -1};
  }
  return SizeOf(current.Get());
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

TEST_F(CaptureGraphTest, WhateverFormatTheClientsAnnounceTheGraphConnectsAndFramesFlowOnlyWhileRunning) {
  // As the host applies a request: announce it to the renderer, set the nearest size on the
  // camera, build. A refused announcement would cost the host its graph.
  const std::wstring instance = UniqueInstanceName(L"capdirect");
  ComPtr<IBaseFilter> camera = OpenCamera(kTestCamStandard);
  ComPtr<IBaseFilter> renderer = OpenRenderer(instance);
  ComPtr<IRendererControl> control;
  ASSERT_EQ(S_OK, QueryRendererControl(renderer.Get(), &control));
  CMediaType mjpg;
  ASSERT_EQ(S_OK, BuildVideoInfoType(1280, 720, VideoSubtype::kRgb24, &mjpg));
  mjpg.Edit().subtype = MEDIASUBTYPE_MJPG;
  mjpg.VideoInfo()->bmiHeader.biCompression = MAKEFOURCC('M', 'J', 'P', 'G');
  // Sides no camera has, a bitmap header longer than the block, a size that fits nothing.
  CMediaType oversized;
  ASSERT_EQ(S_OK, BuildVideoInfoType(640, 480, VideoSubtype::kRgb32, &oversized));
  BITMAPINFOHEADER& sides = oversized.VideoInfo()->bmiHeader;
  sides.biWidth = 100000;
  sides.biHeight = -70000;
  sides.biSize = 4000;
  sides.biSizeImage = 3;
  for (const CMediaType* announced : {&oversized, &mjpg}) EXPECT_EQ(S_OK, control->SetMediaType(&announced->Get()));
  // The camera takes the size, in its own format; the connection checks that format strictly.
  ASSERT_EQ(S_OK, SetPinFormat(camera.Get(), PIN_CATEGORY_CAPTURE, &mjpg));
  EXPECT_EQ(MEDIASUBTYPE_RGB24, mjpg->subtype);

  ComPtr<IGraphBuilder> given, used;
  ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&given)));
  CCaptureGraph graph;
  EXPECT_EQ(E_FAIL, graph.Run(FALSE)) << "nothing built";
  EXPECT_EQ(S_OK, graph.Stop());
  graph.SetFilterGraph(given.Get());
  FilterList list(camera, renderer);
  ASSERT_EQ(S_OK, list.Build(graph));
  EXPECT_TRUE(list.entries[0].connected && list.entries[1].connected);
  EXPECT_EQ(2, FilterCount(graph));
  const auto upstream = UpstreamOf(renderer.Get());
  EXPECT_EQ(camera.Get(), upstream.first.Get());
  EXPECT_EQ(L"Capture", upstream.second);

  CFrameRingReader reader;
  ASSERT_EQ(S_OK, reader.Open(instance.c_str()));
  ASSERT_TRUE(SUCCEEDED(graph.Run(FALSE)));
  ASSERT_TRUE(reader.WaitForFrame(0, kFrameWaitMs)) << "no frame after Run";
  FrameRingFrame frame = {};
  ASSERT_TRUE(reader.PeekLatest(&frame));
  EXPECT_EQ(Size(1280, 720), Size(frame.width, frame.height));
  EXPECT_EQ(S_OK, graph.Stop());
  const LONG64 atStop = reader.LatestCounter();
  ::Sleep(300);  // waiting for something not to happen
  EXPECT_EQ(atStop, reader.LatestCounter()) << "frames after Stop";

  ASSERT_EQ(S_OK, FilterList(camera, renderer).Build(graph));
  ASSERT_EQ(S_OK, graph.GetFilterGraph(&used));
  EXPECT_EQ(given.Get(), used.Get());
  ASSERT_TRUE(SUCCEEDED(graph.Run(FALSE)));
  EXPECT_TRUE(reader.WaitForFrame(atStop, kFrameWaitMs)) << "no frame after a second Run";
  EXPECT_EQ(S_OK, graph.DestroyGraph());
  EXPECT_EQ(0, FilterCount(graph));
}

TEST_F(CaptureGraphTest, PreviewGoesThroughTheSmartTeeIntoTheOwnerWindowAndARebuildReusesTheTee) {
  const std::wstring instance = UniqueInstanceName(L"cappreview");
  ComPtr<IBaseFilter> camera = OpenCamera(kTestCamStandard);
  ComPtr<IBaseFilter> renderer = OpenRenderer(instance);
  const std::unique_ptr<HWND__, BOOL(WINAPI*)(HWND)> owner(
      ::CreateWindowExW(0, L"STATIC", L"preview owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 400, 300, nullptr,
                        nullptr, nullptr, nullptr),
      ::DestroyWindow);
  ASSERT_NE(nullptr, owner.get());
  CCaptureGraph graph;
  ComPtr<IGraphBuilder> graphs[2];
  ComPtr<IBaseFilter> tees[2];
  for (int build = 0; build < 2; ++build) {
    SCOPED_TRACE(build == 0 ? "first build" : "rebuild");
    ComPtr<IBaseFilter> preview;
    ASSERT_EQ(S_OK, CreateFilterInstance(CLSID_VideoRenderer, &preview));
    FilterList list(camera, renderer, preview);
    ASSERT_EQ(S_OK, list.Build(graph, owner.get()));
    EXPECT_TRUE(list.entries[1].connected && list.entries[2].connected);
    ASSERT_EQ(S_OK, graph.GetFilterGraph(&graphs[build]));
    ASSERT_EQ(S_OK, graph.GetSmartTee(&tees[build]));
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
    EXPECT_EQ(S_OK, graph.ShowPreview(TRUE));
    ExpectPreviewFills(owner.get());

    CFrameRingReader reader;
    ASSERT_EQ(S_OK, reader.Open(instance.c_str()));
    const LONG64 before = reader.LatestCounter();
    ASSERT_TRUE(SUCCEEDED(graph.Run(FALSE)));
    // The preview window belongs to this thread: WaitUntil dispatches its messages.
    EXPECT_TRUE(WaitUntil([&] { return reader.LatestCounter() > before + 3; }, kFrameWaitMs))
        << "the capture output of the tee delivers no frames";
    EXPECT_EQ(S_OK, graph.Stop());
  }
  EXPECT_EQ(graphs[0].Get(), graphs[1].Get());
  EXPECT_EQ(tees[0].Get(), tees[1].Get());
  EXPECT_EQ(S_OK, graph.DestroyGraph());
  EXPECT_FALSE(graph.IsGraphBuilt());
  EXPECT_EQ(0, FilterCount(graph));
  EXPECT_FALSE(PeerOf(camera.Get(), PINDIR_OUTPUT, L"Capture"));
}

TEST_F(CaptureGraphTest, SetPinFormatTakesTheNearestCapabilityInItsOwnTypeOrPassesOnARefusal) {
  ComPtr<IBaseFilter> camera = OpenCamera(kTestCamStandard);
  TestCamFaultRecord faults;
  ASSERT_TRUE(faults.IsValid());
  faults.RefuseSize(1280, 720, VFW_E_INVALIDMEDIATYPE);
  const struct {
    size_t camera;
    Size asked;
    VideoSubtype subtype;
    HRESULT result;
    Size taken;  // by the record and the pin; nothing changes on a failure
  } cases[] = {
      // The first 640x480 capability (RGB24) although YUY2 was asked for: only the size counts.
      {kTestCamStandard, {640, 480}, VideoSubtype::kYuy2, S_OK, {640, 480}},
      {kTestCamStandard, {0, 1080}, VideoSubtype::kRgb24, S_OK, {640, 480}},  // no width: the current format
      // 800 x 600 lies 172,800 pixels from 640 x 480 and 441,600 from 1280 x 720.
      {kTestCamStandard, {800, 600}, VideoSubtype::kRgb24, S_OK, {640, 480}},
      {kTestCamStandard, {0, 0}, VideoSubtype::kRgb24, S_OK, {320, 240}},
      // An exact size the pin refuses is the answer: no other size is tried.
      {kTestCamFaulty, {1280, 720}, VideoSubtype::kRgb24, VFW_E_INVALIDMEDIATYPE, {1280, 720}},
      // 64-byte capability records are not understood: no pin takes a format.
      {kTestCamCaps64, {1280, 720}, VideoSubtype::kRgb24, E_FAIL, {1280, 720}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "camera " << c.camera << " asked " << c.asked.first << "x" << c.asked.second);
    ComPtr<IBaseFilter> filter = c.camera == kTestCamStandard ? camera : OpenCamera(c.camera);
    const Size before = CaptureFormatSize(filter.Get());
    CMediaType request;
    ASSERT_EQ(S_OK, BuildVideoInfoType(c.asked.first, c.asked.second, c.subtype, &request));
    EXPECT_EQ(c.result, SetPinFormat(filter.Get(), PIN_CATEGORY_CAPTURE, &request));
    EXPECT_EQ(c.taken, SizeOf(&request.Get()));
    EXPECT_EQ(SUCCEEDED(c.result) ? c.taken : before, CaptureFormatSize(filter.Get()));
    EXPECT_TRUE(FAILED(c.result) || request->subtype == MEDIASUBTYPE_RGB24) << "the capability's own type";
  }
  faults.RefuseSize(0, 0, S_OK);
}

TEST_F(CaptureGraphTest, CapturePinsByCategoryFailedBuildsLeaveNoGraphAndATearDownEndsAlthoughAFilterStays) {
  ComPtr<IBaseFilter> camera = OpenCamera(kTestCamStandard);
  ComPtr<IBaseFilter> renderer = OpenRenderer(UniqueInstanceName(L"capfail"));
  ComPtr<IBaseFilter> preview;
  ASSERT_EQ(S_OK, CreateFilterInstance(CLSID_VideoRenderer, &preview));
  CCaptureGraph graph;
  {
    ScopedFailingClass noGraph(CLSID_FilterGraph, E_OUTOFMEMORY);
    ASSERT_TRUE(noGraph.IsRegistered());
    EXPECT_EQ(E_FAIL, FilterList(camera, renderer).Build(graph)) << "no graph object";
    EXPECT_FALSE(graph.HasFilterGraph());
    EXPECT_EQ(E_FAIL, graph.DestroyGraph());
  }
  // The camera's first output is its preview pin: the capture pin is chosen by category.
  ComPtr<IBaseFilter> previewFirst = OpenCamera(kTestCamPreviewFirst);
  ASSERT_EQ(S_OK, FilterList(previewFirst, renderer).Build(graph));
  const auto feed = UpstreamOf(renderer.Get());
  EXPECT_EQ(previewFirst.Get(), feed.first.Get());
  EXPECT_EQ(L"Capture", feed.second);
  EXPECT_FALSE(PeerOf(previewFirst.Get(), PINDIR_OUTPUT, L"Preview"));

  // Without IKsPropertySet no pin has the capture category. The old graph goes first, and no
  // failed build leaves one.
  const auto expectNoGraph = [&] {
    EXPECT_FALSE(graph.IsGraphBuilt());
    EXPECT_EQ(0, FilterCount(graph));
  };
  FilterList noCategory(OpenCamera(kTestCamNoKsProps), renderer);
  EXPECT_EQ(E_FAIL, noCategory.Build(graph));
  EXPECT_FALSE(noCategory.entries[1].connected);
  EXPECT_FALSE(PeerOf(previewFirst.Get(), PINDIR_OUTPUT, L"Capture"));
  expectNoGraph();
  EXPECT_EQ(E_INVALIDARG, FilterList(camera, renderer, preview).Build(graph, nullptr)) << "preview without an owner";
  expectNoGraph();
  FilterList noRenderer(camera, renderer);
  noRenderer.entries[1].role = kRoleSource;  // chained after the camera: no renderer in the list
  EXPECT_EQ(E_INVALIDARG, noRenderer.Build(graph));
  expectNoGraph();

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
