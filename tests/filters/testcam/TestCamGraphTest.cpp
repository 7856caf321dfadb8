// The test camera in real filter graphs under the system's filter graph manager: intelligent
// connect to the video renderer and through a Smart Tee, frame delivery checked by a test
// renderer, state changes in every order and from another thread, and no object left alive.
#include <gtest/gtest.h>

#include "CFrameCheckRenderer.h"
#include "filters/base/CClassFactory.h"
#include "filters/base/ModuleLifetime.h"
#include "ipc/ScopedHandle.h"
#include "support/TestCameraGraph.h"

using Microsoft::WRL::ComPtr;

namespace {
constexpr DWORD kFrameTimeoutMs = 5000;

LONG Delivered(IPin* cameraPin) {
  ComPtr<IAMDroppedFrames> frames;
  LONG delivered = -1;
  if (SUCCEEDED(cameraPin->QueryInterface(IID_PPV_ARGS(&frames)))) frames->GetNumNotDropped(&delivered);
  return delivered;
}

OAFilterState GraphState(IMediaControl* control) {
  OAFilterState state = State_Stopped;
  control->GetState(2000, &state);
  return state;
}

class TestCamGraph : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&m_graph)));
    ASSERT_EQ(S_OK, m_graph.As(&m_control));
  }

  void TearDown() override {
    // A graph released while running stops and removes its filters itself; then every camera,
    // enumerator and class factory of the DLL is gone, and so is every test renderer.
    m_pin.Reset();
    m_camera.Reset();
    m_renderer.Reset();
    m_control.Reset();
    m_graph.Reset();
    EXPECT_EQ(0, g_cameras->Registration().LiveObjects());
    EXPECT_EQ(0, ModuleLiveObjectCount());
  }

  void AddCamera(size_t profile, int pinIndex = 0) {
    m_camera = CreateTestCamera(profile);
    ASSERT_TRUE(m_camera);
    ASSERT_EQ(S_OK, m_graph->AddFilter(m_camera.Get(), L"Camera"));
    m_pin = PinAt(m_camera.Get(), pinIndex);
  }

  void AddChecker() {
    m_renderer = AdoptNewObject(CFrameCheckRenderer::Create());
    ASSERT_EQ(S_OK, m_graph->AddFilter(m_renderer.Get(), L"Checker"));
  }

  // The standard camera (in capability `caps` when not negative) connected directly to a
  // frame checker.
  void BuildCheckedGraph(int caps = -1) {
    AddCamera(kTestCamStandard);
    if (caps >= 0) {
      ComPtr<IAMStreamConfig> config;
      ASSERT_EQ(S_OK, m_pin.As(&config));
      ASSERT_EQ(S_OK, config->SetFormat(&CapsType(m_pin.Get(), caps).Edit()));
    }
    AddChecker();
    ASSERT_EQ(S_OK, m_graph->ConnectDirect(m_pin.Get(), &m_renderer->Pin(), nullptr));
  }

  bool WaitForSamples(LONG count) {
    return WaitUntil([&] { return m_renderer->Pin().Stats().samples >= count; }, kFrameTimeoutMs);
  }

  void ExpectCleanStream() {
    const FrameCheckStats s = m_renderer->Pin().Stats();
    EXPECT_GT(s.samples, 0);
    EXPECT_EQ(0, s.badSamples);
    EXPECT_EQ(0, s.counterGaps);
  }

  // Declared first so that they are released last, after the filters.
  ComPtr<IGraphBuilder> m_graph;
  ComPtr<IMediaControl> m_control;
  ComPtr<IBaseFilter> m_camera;
  ComPtr<IPin> m_pin;
  ComPtr<CFrameCheckRenderer> m_renderer;
};
}  // namespace

TEST_F(TestCamGraph, RendersToTheVideoRendererAndRunsAgainAfterStop) {
  AddCamera(kTestCamStandard);
  ASSERT_TRUE(SUCCEEDED(m_graph->Render(m_pin.Get())));
  ComPtr<IPin> peer;
  ASSERT_EQ(S_OK, m_pin->ConnectedTo(&peer));
  PIN_INFO info = {};
  ASSERT_EQ(S_OK, peer->QueryPinInfo(&info));
  ComPtr<IBaseFilter> downstream;
  *downstream.ReleaseAndGetAddressOf() = info.pFilter;
  EXPECT_FALSE(PinAt(downstream.Get(), 1)) << "straight into a renderer, no filter between";
  for (int run = 0; run < 2; ++run) {
    const LONG before = Delivered(m_pin.Get());
    ASSERT_TRUE(SUCCEEDED(m_control->Run())) << run;
    EXPECT_EQ(State_Running, GraphState(m_control.Get()));
    EXPECT_TRUE(WaitUntil([&] { return Delivered(m_pin.Get()) - before >= 20; }, 3000)) << "run " << run;
    ASSERT_EQ(S_OK, m_control->Stop());
    EXPECT_EQ(State_Stopped, GraphState(m_control.Get()));
    const LONG stopped = Delivered(m_pin.Get());
    ::Sleep(150);
    EXPECT_EQ(stopped, Delivered(m_pin.Get())) << "frames after Stop";
  }
}

class TestCamFormatRate : public TestCamGraph, public ::testing::WithParamInterface<int> {};

TEST_P(TestCamFormatRate, FramesArriveAtTheNominalRateIntactAndInOrder) {
  BuildCheckedGraph(GetParam());
  ASSERT_TRUE(SUCCEEDED(m_control->Run()));
  ASSERT_TRUE(WaitForSamples(1));
  const LONG first = m_renderer->Pin().Stats().samples;
  ::Sleep(1000);
  const LONG perSecond = m_renderer->Pin().Stats().samples - first;
  ASSERT_EQ(S_OK, m_control->Stop());
  EXPECT_NEAR(30, perSecond, 5) << "format " << GetParam();
  ExpectCleanStream();
  const FrameCheckStats s = m_renderer->Pin().Stats();
  EXPECT_EQ(0u, s.firstCounter);
  EXPECT_EQ(static_cast<uint32_t>(s.samples - 1), s.lastCounter);
  EXPECT_EQ(1, s.discontinuities);  // only the first sample of the run
  EXPECT_EQ(0, s.irregularSpacing);
}

// RGB24 320x240, YUY2 640x480, NV12 1920x1080 of the standard camera.
INSTANTIATE_TEST_SUITE_P(Formats, TestCamFormatRate, ::testing::Values(0, 2, 4));

TEST_F(TestCamGraph, PauseRunStopInAnyOrderKeepsTheStreamConsistent) {
  BuildCheckedGraph();
  ASSERT_TRUE(SUCCEEDED(m_control->Pause()));
  ::Sleep(150);
  EXPECT_EQ(0, m_renderer->Pin().Stats().samples) << "a paused live source sends nothing";
  ASSERT_TRUE(SUCCEEDED(m_control->Run()));
  ASSERT_TRUE(WaitForSamples(5));
  ASSERT_TRUE(SUCCEEDED(m_control->Pause()));
  const LONG paused = m_renderer->Pin().Stats().samples;
  ::Sleep(150);
  EXPECT_EQ(paused, m_renderer->Pin().Stats().samples);
  ASSERT_TRUE(SUCCEEDED(m_control->Run()));
  ASSERT_TRUE(WaitForSamples(paused + 5));
  ExpectCleanStream();  // counters and stream times continue across a pause
  ASSERT_EQ(S_OK, m_control->Stop());
  ASSERT_EQ(S_OK, m_control->Stop());  // stopping twice is harmless
  ASSERT_TRUE(SUCCEEDED(m_control->Run()));
  ASSERT_TRUE(WaitForSamples(3));
  ASSERT_EQ(S_OK, m_control->Stop());
  EXPECT_EQ(0u, m_renderer->Pin().Stats().firstCounter) << "a run from Stopped starts the counter again";
  ExpectCleanStream();
}

TEST_F(TestCamGraph, SetFormatReconnectsWhenStoppedAndARemovedCameraDiesBeforeTheGraph) {
  BuildCheckedGraph();
  ComPtr<IAMStreamConfig> config;
  ASSERT_EQ(S_OK, m_pin.As(&config));
  CMediaType yuy2 = CapsType(m_pin.Get(), 2);
  ASSERT_TRUE(SUCCEEDED(m_control->Run()));
  EXPECT_EQ(VFW_E_NOT_STOPPED, config->SetFormat(&yuy2.Edit()));
  EXPECT_EQ(VFW_E_NOT_STOPPED, m_pin->Disconnect());
  ASSERT_EQ(S_OK, m_control->Stop());
  ASSERT_TRUE(SUCCEEDED(config->SetFormat(&yuy2.Edit())));
  EXPECT_TRUE(WaitUntil(
      [&] {
        AM_MEDIA_TYPE connected = {};
        const bool same = m_renderer->Pin().ConnectionMediaType(&connected) == S_OK && yuy2.Equals(connected);
        CMediaType::FreeFields(connected);
        return same;
      },
      3000));
  ASSERT_TRUE(SUCCEEDED(m_control->Run()));
  ASSERT_TRUE(WaitForSamples(5));
  ASSERT_EQ(S_OK, m_control->Stop());
  ExpectCleanStream();  // including sample lengths of the new type

  // A connected camera removed from a stopped graph is disconnected and dies with its last
  // reference, before the graph does; then COM may unload the DLL.
  ASSERT_EQ(S_OK, m_graph->RemoveFilter(m_camera.Get()));
  ComPtr<IPin> peer;
  EXPECT_EQ(VFW_E_NOT_CONNECTED, m_pin->ConnectedTo(&peer));
  EXPECT_EQ(VFW_E_NOT_CONNECTED, m_renderer->Pin().ConnectedTo(&peer));
  m_pin.Reset();
  config.Reset();
  m_camera.Reset();
  EXPECT_EQ(0, g_cameras->Registration().LiveObjects());
  using CanUnloadFunction = HRESULT(STDAPICALLTYPE*)();
  const auto canUnload = reinterpret_cast<CanUnloadFunction>(
      reinterpret_cast<void*>(::GetProcAddress(g_cameras->Registration().Module(), "DllCanUnloadNow")));
  ASSERT_NE(nullptr, canUnload);
  EXPECT_EQ(S_OK, canUnload());
}

TEST_F(TestCamGraph, CaptureGraphBuilderFindsTheCapturePinAndFeedsASmartTee) {
  // What capture applications and the host do: find the pin by category, split it with a
  // Smart Tee, take frames from the tee's capture output. The preview pin stays idle.
  AddCamera(kTestCamPreviewFirst);
  ComPtr<ICaptureGraphBuilder2> builder;
  ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&builder)));
  ASSERT_EQ(S_OK, builder->SetFiltergraph(m_graph.Get()));
  ComPtr<IPin> capture;
  ASSERT_EQ(S_OK, builder->FindPin(m_camera.Get(), PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, TRUE, 0,
                                   &capture));
  EXPECT_EQ(PinAt(m_camera.Get(), 1).Get(), capture.Get());
  ComPtr<IBaseFilter> tee;
  ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_SmartTee, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&tee)));
  ASSERT_EQ(S_OK, m_graph->AddFilter(tee.Get(), L"Smart Tee"));
  AddChecker();
  ASSERT_EQ(S_OK, m_graph->Connect(capture.Get(), PinAt(tee.Get(), 0).Get()));
  ASSERT_EQ(S_OK, m_graph->Connect(PinAt(tee.Get(), 1).Get(), &m_renderer->Pin()));
  ASSERT_TRUE(SUCCEEDED(m_control->Run()));
  ASSERT_TRUE(WaitForSamples(10));
  ExpectCleanStream();
  EXPECT_EQ(0, Delivered(m_pin.Get())) << "the preview pin";
  // Left running: TearDown releases the running graph.
}

TEST_F(TestCamGraph, StateChangesRaceWithQueriesWithoutDeadlockOrDamage) {
  BuildCheckedGraph();
  // Another thread drives the graph through its states while this one asks the camera and its
  // pin what a capture application asks; both take the camera's filter lock.
  struct Driver {
    static DWORD WINAPI Run(void* control) {
      ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
      for (int i = 0; i < 25; ++i) {
        static_cast<IMediaControl*>(control)->Run();
        ::Sleep(i % 3 == 0 ? 40 : 5);
        if (i % 2 == 0) static_cast<IMediaControl*>(control)->Pause();
        static_cast<IMediaControl*>(control)->Stop();
      }
      ::CoUninitialize();
      return 0;
    }
  };
  ScopedHandle thread(::CreateThread(nullptr, 0, &Driver::Run, m_control.Get(), 0, nullptr));
  ASSERT_TRUE(thread.IsValid());
  ComPtr<IAMStreamConfig> config;
  ASSERT_EQ(S_OK, m_pin.As(&config));
  for (int queries = 0; ::WaitForSingleObject(thread.Get(), 0) == WAIT_TIMEOUT && queries < 100000; ++queries) {
    CTaskMemMediaType format;
    EXPECT_EQ(S_OK, config->GetFormat(format.Receive()));
    AM_MEDIA_TYPE connected = {};
    EXPECT_EQ(S_OK, m_pin->ConnectionMediaType(&connected));
    CMediaType::FreeFields(connected);
    FILTER_STATE state = State_Stopped;
    EXPECT_TRUE(SUCCEEDED(m_camera->GetState(0, &state)));
    ComPtr<IEnumPins> pins;
    EXPECT_EQ(S_OK, m_camera->EnumPins(&pins));
    Delivered(m_pin.Get());
  }
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(thread.Get(), 30000)) << "state changes stalled";
  EXPECT_EQ(State_Stopped, GraphState(m_control.Get()));
  // Runs from Stopped restart the counter; within each run nothing was torn or out of order.
  ASSERT_TRUE(SUCCEEDED(m_control->Run()));
  ASSERT_TRUE(WaitForSamples(5));
  ASSERT_EQ(S_OK, m_control->Stop());
  ExpectCleanStream();
  EXPECT_EQ(0u, m_renderer->Pin().Stats().firstCounter);
}
