// The test camera in real filter graphs under the system's filter graph manager: intelligent
// connect to the video renderer, frame delivery checked by a test renderer, state changes in
// every order, and no object left alive afterwards.
#include <gtest/gtest.h>

#include "CFrameCheckRenderer.h"
#include "CameraTestHelpers.h"
#include "filters/base/CAmMediaType.h"
#include "filters/base/CClassFactory.h"
#include "filters/base/CTaskMemMediaType.h"
#include "filters/base/ModuleLifetime.h"
#include "filters/testcam/TestCameraProfiles.h"
#include "ipc/ScopedHandle.h"

using Microsoft::WRL::ComPtr;

namespace {
constexpr DWORD kFirstFrameTimeoutMs = 5000;
constexpr DWORD kMeasureMs = 1000;
constexpr REFERENCE_TIME kClockSlack = 20 * 10000;     // 20 ms of timer jitter
constexpr REFERENCE_TIME kMaxLateness = 250 * 10000;  // a busy Wine host may lag this much

LONG Delivered(IPin* cameraPin) {
  ComPtr<IAMDroppedFrames> frames;
  LONG delivered = -1;
  if (SUCCEEDED(cameraPin->QueryInterface(IID_PPV_ARGS(&frames)))) frames->GetNumNotDropped(&delivered);
  return delivered;
}

CAmMediaType CapsType(IPin* pin, int index) {
  ComPtr<IAMStreamConfig> config;
  CTaskMemMediaType type;
  BYTE caps[sizeof(VIDEO_STREAM_CONFIG_CAPS)] = {};
  if (SUCCEEDED(pin->QueryInterface(IID_PPV_ARGS(&config)))) config->GetStreamCaps(index, type.Receive(), caps);
  return type ? CAmMediaType(*type.Get()) : CAmMediaType();
}

class TestCamGraph : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&m_graph)));
    ASSERT_EQ(S_OK, m_graph.As(&m_control));
  }

  void TearDown() override {
    m_pin.Reset();
    m_camera.Reset();
    m_renderer.Reset();
    m_control.Reset();
    m_graph.Reset();
    // Every camera, pin enumerator and class factory of the DLL is gone once the graph is, and so
    // is every test renderer of this program.
    EXPECT_EQ(0, g_cameras->Registration().LiveObjects());
    EXPECT_EQ(0, ModuleLiveObjectCount());
  }

  // Camera and frame-checking renderer connected directly with the camera's current format.
  void BuildCheckedGraph(size_t profile, int pinIndex = 0) {
    m_camera = CreateTestCamera(profile);
    ASSERT_TRUE(m_camera);
    m_renderer = AdoptNewObject(CFrameCheckRenderer::Create());
    ASSERT_EQ(S_OK, m_graph->AddFilter(m_camera.Get(), L"Camera"));
    ASSERT_EQ(S_OK, m_graph->AddFilter(m_renderer.Get(), L"Checker"));
    m_pin = PinAt(m_camera.Get(), pinIndex);
    ASSERT_EQ(S_OK, m_graph->ConnectDirect(m_pin.Get(), &m_renderer->Pin(), nullptr));
  }

  // Waits for the first frame, then counts frames over a measured window.
  double MeasureFramesPerSecond() {
    if (!WaitUntil([&] { return m_renderer->Pin().Stats().samples > 0; }, kFirstFrameTimeoutMs)) return 0;
    const LONG before = m_renderer->Pin().Stats().samples;
    const ULONGLONG start = ::GetTickCount64();
    WaitUntil([&] { return ::GetTickCount64() - start >= kMeasureMs; }, kMeasureMs + 500);
    const LONG after = m_renderer->Pin().Stats().samples;
    return (after - before) * 1000.0 / static_cast<double>(::GetTickCount64() - start);
  }

  void ExpectCleanStream(const FrameCheckStats& s) {
    EXPECT_EQ(0, s.unreadableCounters);
    EXPECT_EQ(0, s.counterGaps);
    EXPECT_EQ(0, s.missingTimes);
    EXPECT_EQ(0, s.nonIncreasingTimes);
    EXPECT_EQ(0, s.wrongLengths);
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
  m_camera = CreateTestCamera(kTestCamStandard);
  ASSERT_TRUE(m_camera);
  ASSERT_EQ(S_OK, m_graph->AddFilter(m_camera.Get(), L"Camera"));
  m_pin = PinAt(m_camera.Get(), 0);
  ASSERT_TRUE(SUCCEEDED(m_graph->Render(m_pin.Get())));
  ComPtr<IPin> peer;
  ASSERT_EQ(S_OK, m_pin->ConnectedTo(&peer));
  // Straight into a renderer: a filter without output pins (Wine picks its default video
  // renderer and a YUV type for it).
  PIN_INFO info = {};
  ASSERT_EQ(S_OK, peer->QueryPinInfo(&info));
  ComPtr<IBaseFilter> downstream;
  *downstream.ReleaseAndGetAddressOf() = info.pFilter;
  for (int i = 0;; ++i) {
    ComPtr<IPin> pin = PinAt(downstream.Get(), i);
    if (!pin) break;
    PIN_DIRECTION direction = PINDIR_OUTPUT;
    pin->QueryDirection(&direction);
    EXPECT_EQ(PINDIR_INPUT, direction);
  }
  downstream.Reset();

  for (int run = 0; run < 2; ++run) {
    const LONG before = Delivered(m_pin.Get());
    ASSERT_TRUE(SUCCEEDED(m_control->Run())) << run;
    EXPECT_EQ(State_Running, GraphState(m_control.Get()));
    // About one second of frames at 30 per second.
    EXPECT_TRUE(WaitUntil([&] { return Delivered(m_pin.Get()) - before >= 20; }, 3000))
        << "run " << run << ": " << Delivered(m_pin.Get()) - before << " frames";
    ASSERT_EQ(S_OK, m_control->Stop());
    EXPECT_EQ(State_Stopped, GraphState(m_control.Get()));
    const LONG stopped = Delivered(m_pin.Get());
    ::Sleep(150);
    EXPECT_EQ(stopped, Delivered(m_pin.Get())) << "frames after Stop";
  }
  m_pin.Reset();
  m_camera.Reset();
}

class TestCamFormatRate : public TestCamGraph, public ::testing::WithParamInterface<int> {};

TEST_P(TestCamFormatRate, FramesArriveAtTheNominalRateIntactAndInOrder) {
  m_camera = CreateTestCamera(kTestCamStandard);
  ASSERT_TRUE(m_camera);
  {
    ComPtr<IPin> pin = PinAt(m_camera.Get(), 0);
    CAmMediaType format = CapsType(pin.Get(), GetParam());
    ComPtr<IAMStreamConfig> config;
    ASSERT_EQ(S_OK, pin.As(&config));
    ASSERT_EQ(S_OK, config->SetFormat(&format.Edit()));
  }
  ComPtr<IBaseFilter> keep = m_camera;
  m_camera.Reset();
  m_renderer = AdoptNewObject(CFrameCheckRenderer::Create());
  ASSERT_EQ(S_OK, m_graph->AddFilter(keep.Get(), L"Camera"));
  ASSERT_EQ(S_OK, m_graph->AddFilter(m_renderer.Get(), L"Checker"));
  m_pin = PinAt(keep.Get(), 0);
  ASSERT_EQ(S_OK, m_graph->ConnectDirect(m_pin.Get(), &m_renderer->Pin(), nullptr));
  m_camera = keep;

  ASSERT_TRUE(SUCCEEDED(m_control->Run()));
  const double rate = MeasureFramesPerSecond();
  ASSERT_EQ(S_OK, m_control->Stop());
  EXPECT_NEAR(30.0, rate, 5.0) << "format " << GetParam();
  const FrameCheckStats s = m_renderer->Pin().Stats();
  ExpectCleanStream(s);
  EXPECT_EQ(0u, s.firstCounter);
  EXPECT_EQ(1, s.discontinuities);  // only the first sample of the run
  EXPECT_EQ(0, s.irregularSpacing);
  EXPECT_EQ(static_cast<uint32_t>(s.samples - 1), s.lastCounter);
  // Stamped in the graph clock's stream time: delivered once their start time has come, and
  // not long after it.
  EXPECT_GT(s.timedSamples, 0);
  EXPECT_GE(s.minLateness, -kClockSlack);
  EXPECT_LE(s.maxLateness, kMaxLateness);
}

// RGB24 320x240, YUY2 640x480, NV12 1920x1080 of the standard camera.
INSTANTIATE_TEST_SUITE_P(Formats, TestCamFormatRate, ::testing::Values(0, 2, 4));

TEST_F(TestCamGraph, PauseRunStopInAnyOrderKeepsTheStreamConsistent) {
  BuildCheckedGraph(kTestCamStandard);
  CFrameCheckPin& checker = m_renderer->Pin();

  ASSERT_TRUE(SUCCEEDED(m_control->Pause()));
  ::Sleep(150);
  EXPECT_EQ(0, checker.Stats().samples) << "a paused live source sends nothing";
  ASSERT_TRUE(SUCCEEDED(m_control->Run()));
  ASSERT_TRUE(WaitUntil([&] { return checker.Stats().samples >= 5; }, kFirstFrameTimeoutMs));
  ASSERT_TRUE(SUCCEEDED(m_control->Pause()));
  const LONG paused = checker.Stats().samples;
  ::Sleep(150);
  EXPECT_EQ(paused, checker.Stats().samples);
  ASSERT_TRUE(SUCCEEDED(m_control->Run()));
  ASSERT_TRUE(WaitUntil([&] { return checker.Stats().samples >= paused + 5; }, kFirstFrameTimeoutMs));
  // Counters continue across a pause and the stream times keep increasing.
  ExpectCleanStream(checker.Stats());

  ASSERT_EQ(S_OK, m_control->Stop());
  ASSERT_EQ(S_OK, m_control->Stop());  // stopping twice is harmless
  ASSERT_TRUE(SUCCEEDED(m_control->Run()));
  ASSERT_TRUE(WaitUntil([&] { return checker.Stats().samples >= 3; }, kFirstFrameTimeoutMs));
  // A run from Stopped starts the counter again.
  EXPECT_EQ(0u, checker.Stats().firstCounter);
  ExpectCleanStream(checker.Stats());
  ASSERT_EQ(S_OK, m_control->Stop());
}

TEST_F(TestCamGraph, RunsAtItsRateWithoutAReferenceClock) {
  BuildCheckedGraph(kTestCamSecond);
  ComPtr<IMediaFilter> graphFilter;
  ASSERT_EQ(S_OK, m_graph.As(&graphFilter));
  ASSERT_EQ(S_OK, graphFilter->SetSyncSource(nullptr));
  ASSERT_TRUE(SUCCEEDED(m_control->Run()));
  const double rate = MeasureFramesPerSecond();
  EXPECT_NEAR(30.0, rate, 5.0);
  // Without a clock the camera keeps its own running time, which a pause must not set back.
  ASSERT_TRUE(SUCCEEDED(m_control->Pause()));
  ::Sleep(100);
  const LONG paused = m_renderer->Pin().Stats().samples;
  ASSERT_TRUE(SUCCEEDED(m_control->Run()));
  ASSERT_TRUE(WaitUntil([&] { return m_renderer->Pin().Stats().samples >= paused + 5; }, kFirstFrameTimeoutMs));
  ASSERT_EQ(S_OK, m_control->Stop());
  ExpectCleanStream(m_renderer->Pin().Stats());
}

TEST_F(TestCamGraph, SetFormatIsRefusedWhileRunningAndReconnectsWhenStopped) {
  BuildCheckedGraph(kTestCamStandard);
  ComPtr<IAMStreamConfig> config;
  ASSERT_EQ(S_OK, m_pin.As(&config));
  CAmMediaType yuy2 = CapsType(m_pin.Get(), 2);

  ASSERT_TRUE(SUCCEEDED(m_control->Run()));
  EXPECT_EQ(VFW_E_NOT_STOPPED, config->SetFormat(&yuy2.Edit()));
  ComPtr<IPin> peer;
  EXPECT_EQ(VFW_E_NOT_STOPPED, m_pin->Disconnect());
  ASSERT_EQ(S_OK, m_control->Stop());

  ASSERT_TRUE(SUCCEEDED(config->SetFormat(&yuy2.Edit())));
  EXPECT_TRUE(WaitUntil(
      [&] {
        AM_MEDIA_TYPE connected = {};
        if (m_renderer->Pin().ConnectionMediaType(&connected) != S_OK) return false;
        const bool same = yuy2.Equals(connected);
        CAmMediaType::FreeFields(connected);
        return same;
      },
      3000));
  ASSERT_TRUE(SUCCEEDED(m_control->Run()));
  ASSERT_TRUE(WaitUntil([&] { return m_renderer->Pin().Stats().samples >= 5; }, kFirstFrameTimeoutMs));
  ASSERT_EQ(S_OK, m_control->Stop());
  ExpectCleanStream(m_renderer->Pin().Stats());
  EXPECT_EQ(yuy2.Get().lSampleSize, m_renderer->Pin().ConnectionType().Get().lSampleSize);
}

TEST_F(TestCamGraph, FiltersAreDestroyedWhateverTheReleaseOrder) {
  // A running graph released without Stop: the graph stops and removes its filters itself.
  BuildCheckedGraph(kTestCamStandard);
  ASSERT_TRUE(SUCCEEDED(m_control->Run()));
  ASSERT_TRUE(WaitUntil([&] { return m_renderer->Pin().Stats().samples >= 2; }, kFirstFrameTimeoutMs));
  m_pin.Reset();
  m_camera.Reset();
  m_renderer.Reset();
  m_control.Reset();
  m_graph.Reset();
  EXPECT_EQ(0, g_cameras->Registration().LiveObjects());

  // A connected camera removed from a stopped graph is disconnected and dies with its last
  // reference, before the graph does.
  ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&m_graph)));
  ASSERT_EQ(S_OK, m_graph.As(&m_control));
  BuildCheckedGraph(kTestCamPreviewFirst, 1);
  ASSERT_TRUE(SUCCEEDED(m_control->Run()));
  ASSERT_TRUE(WaitUntil([&] { return m_renderer->Pin().Stats().samples >= 2; }, kFirstFrameTimeoutMs));
  ASSERT_EQ(S_OK, m_control->Stop());
  ASSERT_EQ(S_OK, m_graph->RemoveFilter(m_camera.Get()));
  ComPtr<IPin> peer;
  EXPECT_EQ(VFW_E_NOT_CONNECTED, m_pin->ConnectedTo(&peer));
  EXPECT_EQ(VFW_E_NOT_CONNECTED, m_renderer->Pin().ConnectedTo(&peer));
  m_pin.Reset();
  m_camera.Reset();
  EXPECT_EQ(0, g_cameras->Registration().LiveObjects());
  // What COM asks before it unloads the DLL.
  using CanUnloadFunction = HRESULT(STDAPICALLTYPE*)();
  const auto canUnload = reinterpret_cast<CanUnloadFunction>(
      reinterpret_cast<void*>(::GetProcAddress(g_cameras->Registration().Module(), "DllCanUnloadNow")));
  ASSERT_NE(nullptr, canUnload);
  EXPECT_EQ(S_OK, canUnload());
}

TEST_F(TestCamGraph, PreviewFirstCameraRendersFromItsCapturePin) {
  m_camera = CreateTestCamera(kTestCamPreviewFirst);
  ASSERT_EQ(S_OK, m_graph->AddFilter(m_camera.Get(), L"Camera"));
  m_pin = PinAt(m_camera.Get(), 1);
  ASSERT_TRUE(SUCCEEDED(m_graph->Render(m_pin.Get())));
  ASSERT_TRUE(SUCCEEDED(m_control->Run()));
  EXPECT_TRUE(WaitUntil([&] { return Delivered(m_pin.Get()) >= 10; }, kFirstFrameTimeoutMs));
  ASSERT_EQ(S_OK, m_control->Stop());
  ComPtr<IPin> preview = PinAt(m_camera.Get(), 0);
  ComPtr<IPin> peer;
  EXPECT_EQ(VFW_E_NOT_CONNECTED, preview->ConnectedTo(&peer));
  EXPECT_EQ(0, Delivered(preview.Get()));
}

TEST_F(TestCamGraph, ConnectionAgreesOnTheFirstTypeBothPinsAccept) {
  m_camera = CreateTestCamera(kTestCamStandard);
  m_renderer = AdoptNewObject(CFrameCheckRenderer::Create(MEDIASUBTYPE_NV12));
  ASSERT_EQ(S_OK, m_graph->AddFilter(m_camera.Get(), L"Camera"));
  ASSERT_EQ(S_OK, m_graph->AddFilter(m_renderer.Get(), L"Checker"));
  m_pin = PinAt(m_camera.Get(), 0);
  // The camera offers RGB24 and YUY2 first; the only type this receiver takes is its NV12 one.
  ASSERT_EQ(S_OK, m_graph->ConnectDirect(m_pin.Get(), &m_renderer->Pin(), nullptr));
  EXPECT_EQ(CapsType(m_pin.Get(), 4), m_renderer->Pin().ConnectionType());
  EXPECT_EQ(VFW_E_ALREADY_CONNECTED, m_pin->Connect(&m_renderer->Pin(), nullptr));
  ASSERT_EQ(S_OK, m_graph->Disconnect(m_pin.Get()));
  ASSERT_EQ(S_OK, m_graph->Disconnect(&m_renderer->Pin()));

  // A fully specified type is the only one tried.
  CAmMediaType yuy2 = CapsType(m_pin.Get(), 2);
  EXPECT_EQ(VFW_E_NO_ACCEPTABLE_TYPES, m_pin->Connect(&m_renderer->Pin(), yuy2.Ptr()));
  ComPtr<IPin> peer;
  EXPECT_EQ(VFW_E_NOT_CONNECTED, m_pin->ConnectedTo(&peer));
  EXPECT_EQ(VFW_E_NOT_CONNECTED, m_renderer->Pin().ConnectedTo(&peer));
  // An output pin does not connect to another output pin.
  ComPtr<IBaseFilter> other = CreateTestCamera(kTestCamNoKsProps);
  ASSERT_EQ(S_OK, m_graph->AddFilter(other.Get(), L"Other"));
  EXPECT_EQ(VFW_E_INVALID_DIRECTION, m_pin->Connect(PinAt(other.Get(), 0).Get(), nullptr));
}

TEST_F(TestCamGraph, CaptureGraphBuilderFindsTheCapturePinAndFeedsASmartTee) {
  // What capture applications and the host do: find the pin by category, split it with a
  // Smart Tee, and take frames from the tee's capture output.
  m_camera = CreateTestCamera(kTestCamPreviewFirst);
  ASSERT_EQ(S_OK, m_graph->AddFilter(m_camera.Get(), L"Camera"));
  ComPtr<ICaptureGraphBuilder2> builder;
  ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_PPV_ARGS(&builder)));
  ASSERT_EQ(S_OK, builder->SetFiltergraph(m_graph.Get()));
  ASSERT_EQ(S_OK, builder->FindPin(m_camera.Get(), PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, TRUE, 0,
                                   &m_pin));
  EXPECT_EQ(PinAt(m_camera.Get(), 1).Get(), m_pin.Get());

  ComPtr<IBaseFilter> tee;
  ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_SmartTee, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&tee)));
  ASSERT_EQ(S_OK, m_graph->AddFilter(tee.Get(), L"Smart Tee"));
  m_renderer = AdoptNewObject(CFrameCheckRenderer::Create());
  ASSERT_EQ(S_OK, m_graph->AddFilter(m_renderer.Get(), L"Checker"));
  ASSERT_EQ(S_OK, m_graph->Connect(m_pin.Get(), PinAt(tee.Get(), 0).Get()));
  ASSERT_EQ(S_OK, m_graph->Connect(PinAt(tee.Get(), 1).Get(), &m_renderer->Pin()));
  ASSERT_TRUE(SUCCEEDED(m_control->Run()));
  ASSERT_TRUE(WaitUntil([&] { return m_renderer->Pin().Stats().samples >= 10; }, kFirstFrameTimeoutMs));
  ASSERT_EQ(S_OK, m_control->Stop());
  const FrameCheckStats s = m_renderer->Pin().Stats();
  EXPECT_EQ(0, s.unreadableCounters);
  EXPECT_EQ(0, s.counterGaps);
  EXPECT_EQ(0, s.wrongLengths);
}

TEST_F(TestCamGraph, StateChangesRaceWithQueriesWithoutDeadlockOrDamage) {
  BuildCheckedGraph(kTestCamStandard);
  // Another thread drives the graph through its states while this one keeps asking the camera
  // and its pin what a capture application asks; both take the camera's filter lock.
  struct Driver {
    IMediaControl* control;
    static DWORD WINAPI Run(void* self) {
      IMediaControl* control = static_cast<Driver*>(self)->control;
      ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
      for (int i = 0; i < 25; ++i) {
        control->Run();
        ::Sleep(i % 3 == 0 ? 40 : 5);
        if (i % 2 == 0) control->Pause();
        control->Stop();
      }
      ::CoUninitialize();
      return 0;
    }
  } driver{m_control.Get()};
  ScopedHandle thread(::CreateThread(nullptr, 0, &Driver::Run, &driver, 0, nullptr));
  ASSERT_TRUE(thread.IsValid());
  ComPtr<IAMStreamConfig> config;
  ASSERT_EQ(S_OK, m_pin.As(&config));
  int queries = 0;
  while (::WaitForSingleObject(thread.Get(), 0) == WAIT_TIMEOUT && queries < 100000) {
    CTaskMemMediaType format;
    EXPECT_EQ(S_OK, config->GetFormat(format.Receive()));
    AM_MEDIA_TYPE connected = {};
    EXPECT_EQ(S_OK, m_pin->ConnectionMediaType(&connected));
    CAmMediaType::FreeFields(connected);
    FILTER_STATE state = State_Stopped;
    EXPECT_TRUE(SUCCEEDED(m_camera->GetState(0, &state)));
    ComPtr<IEnumPins> pins;
    EXPECT_EQ(S_OK, m_camera->EnumPins(&pins));
    Delivered(m_pin.Get());
    ++queries;
  }
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(thread.Get(), 30000)) << "state changes stalled";
  EXPECT_EQ(State_Stopped, GraphState(m_control.Get()));
  // Runs from Stopped restart the counter; within each run nothing was torn or out of order.
  ASSERT_TRUE(SUCCEEDED(m_control->Run()));
  ASSERT_TRUE(WaitUntil([&] { return m_renderer->Pin().Stats().samples >= 5; }, kFirstFrameTimeoutMs));
  ASSERT_EQ(S_OK, m_control->Stop());
  ExpectCleanStream(m_renderer->Pin().Stats());
  EXPECT_EQ(0u, m_renderer->Pin().Stats().firstCounter);
}
