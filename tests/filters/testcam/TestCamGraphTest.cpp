// The standard test camera connected to a frame-checking renderer in a real filter graph: frames
// whole, in order and evenly time-stamped, through stop, run and a reconnection in another format;
// state changes racing with queries; and no object left alive.
#include <gtest/gtest.h>

#include "support/CFrameCheckRenderer.h"
#include "common/ComReferences.h"
#include "common/ScopedHandle.h"
#include "filters/base/ModuleLifetime.h"
#include "support/TestCameraGraph.h"

using Microsoft::WRL::ComPtr;

namespace {

class TestCamGraph : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&m_graph)));
    ASSERT_EQ(S_OK, m_graph.As(&m_control));
    m_camera = CreateTestCamera(kTestCamStandard);
    m_pin = PinAt(m_camera.Get(), 0);
    ASSERT_EQ(S_OK, m_pin.As(&m_config));
    m_renderer = AdoptNewObject(CFrameCheckRenderer::Create());
    ASSERT_EQ(S_OK, m_graph->AddFilter(m_camera.Get(), L"Camera"));
    ASSERT_EQ(S_OK, m_graph->AddFilter(m_renderer.Get(), L"Checker"));
    ASSERT_EQ(S_OK, m_graph->ConnectDirect(m_pin.Get(), &m_renderer->InputPin(), nullptr));
  }

  void TearDown() override {
    // A graph released while running stops and removes its filters itself; then every camera,
    // enumerator and class factory of the DLL is gone, and so is the test renderer.
    m_config.Reset();
    m_pin.Reset();
    m_camera.Reset();
    m_renderer.Reset();
    m_control.Reset();
    m_graph.Reset();
    EXPECT_EQ(0, g_cameras->Registration().LiveObjects());
    EXPECT_EQ(0, ModuleLiveObjectCount());
  }

  FrameCheckStats Stats() { return m_renderer->InputPin().Stats(); }
  bool WaitForSamples(LONG count) {
    return WaitUntil([&] { return Stats().samples >= count; }, 30000);
  }

  ComPtr<IGraphBuilder> m_graph;
  ComPtr<IMediaControl> m_control;
  ComPtr<IBaseFilter> m_camera;
  ComPtr<IPin> m_pin;
  ComPtr<IAMStreamConfig> m_config;
  ComPtr<CFrameCheckRenderer> m_renderer;
};

}  // namespace

TEST_F(TestCamGraph, FramesArriveWholeAndInOrderAcrossAStopAndAReconnection) {
  ASSERT_TRUE(SUCCEEDED(m_control->Pause()));
  ::Sleep(150);
  EXPECT_EQ(0, Stats().samples) << "a paused live source sends nothing";
  // RGB24 320x240 as connected, then NV12 1920x1080 after a reconnection while stopped.
  CMediaType nv12 = CapsType(m_pin.Get(), 4);
  for (int run = 0; run < 2; ++run) {
    ASSERT_TRUE(SUCCEEDED(m_control->Run())) << run;
    ASSERT_TRUE(WaitForSamples(20)) << run;
    if (run == 0) {
      EXPECT_EQ(VFW_E_NOT_STOPPED, m_config->SetFormat(&nv12.Edit()));
      EXPECT_EQ(VFW_E_NOT_STOPPED, m_pin->Disconnect());
    }
    ASSERT_EQ(S_OK, m_control->Stop());
    const FrameCheckStats s = Stats();
    ::Sleep(150);
    EXPECT_EQ(s.samples, Stats().samples) << "frames after Stop";
    EXPECT_EQ(0, s.badSamples) << run;  // including sample lengths of the new type
    EXPECT_EQ(0, s.unreadableCounters) << run;
    EXPECT_EQ(0, s.counterGaps) << run;
    EXPECT_EQ(0, s.irregularSpacing) << run;
    EXPECT_EQ(1, s.discontinuities) << run;  // only the first sample of the run
    EXPECT_EQ(0u, s.firstCounter) << "a run from Stopped starts the counter again";
    EXPECT_EQ(static_cast<uint32_t>(s.samples - 1), s.lastCounter) << run;
    if (run > 0) break;
    ASSERT_TRUE(SUCCEEDED(m_config->SetFormat(&nv12.Edit())));
    EXPECT_TRUE(WaitUntil(
        [&] {
          AM_MEDIA_TYPE connected = {};
          const bool same = m_renderer->InputPin().ConnectionMediaType(&connected) == S_OK && nv12.Equals(connected);
          CMediaType::FreeFields(connected);
          return same;
        },
        3000));
  }
}

TEST_F(TestCamGraph, StateChangesRaceWithQueriesWithoutDeadlockOrDamage) {
  // Another thread drives the graph through its states while this one asks the camera and its
  // pin what a capture application asks; both take the camera's filter lock.
  struct Driver {
    static DWORD WINAPI Run(void* parameter) {
      ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
      IMediaControl* control = static_cast<IMediaControl*>(parameter);
      for (int i = 0; i < 25; ++i) {
        control->Run();
        ::Sleep(i % 3 == 0 ? 40 : 5);
        if (i % 2 == 0) control->Pause();
        control->Stop();
      }
      ::CoUninitialize();
      return 0;
    }
  };
  ScopedHandle thread(::CreateThread(nullptr, 0, &Driver::Run, m_control.Get(), 0, nullptr));
  ASSERT_TRUE(thread.IsValid());
  for (int queries = 0; ::WaitForSingleObject(thread.Get(), 0) == WAIT_TIMEOUT && queries < 100000; ++queries) {
    CTaskMemMediaType format;
    EXPECT_EQ(S_OK, m_config->GetFormat(format.Receive()));
    AM_MEDIA_TYPE connected = {};
    EXPECT_EQ(S_OK, m_pin->ConnectionMediaType(&connected));
    CMediaType::FreeFields(connected);
    FILTER_STATE state = State_Stopped;
    EXPECT_TRUE(SUCCEEDED(m_camera->GetState(0, &state)));
    ComPtr<IEnumPins> pins;
    EXPECT_EQ(S_OK, m_camera->EnumPins(&pins));
  }
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(thread.Get(), 30000)) << "state changes stalled";
  // Within a run from Stopped afterwards nothing is torn or out of order.
  ASSERT_TRUE(SUCCEEDED(m_control->Run()));
  ASSERT_TRUE(WaitForSamples(5));
  ASSERT_EQ(S_OK, m_control->Stop());
  EXPECT_EQ(0, Stats().badSamples);
  EXPECT_EQ(0, Stats().unreadableCounters);
  EXPECT_EQ(0, Stats().counterGaps);
  EXPECT_EQ(0u, Stats().firstCounter);
}
