// The standard test camera and a frame-checking renderer in a real graph: state changes racing
// with queries, then frames whole and in order up to a stop, no object left.
#include <gtest/gtest.h>

#include "common/ScopedHandle.h"
#include "filters/base/ModuleLifetime.h"
#include "support/CheckedGraph.h"

using Microsoft::WRL::ComPtr;

TEST(TestCamGraph, StateChangesRaceWithQueriesThenFramesArriveWholeAndInOrder) {
  {
    CheckedGraph g;
    ASSERT_EQ(S_OK, g.Build(kTestCameraProfiles[kTestCamStandard].clsid));
    ASSERT_EQ(S_OK, g.Connect());
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
    ScopedHandle thread(::CreateThread(nullptr, 0, &Driver::Run, g.control.Get(), 0, nullptr));
    ASSERT_TRUE(thread.IsValid());
    for (int queries = 0; ::WaitForSingleObject(thread.Get(), 0) == WAIT_TIMEOUT && queries < 100000; ++queries) {
      CTaskMemMediaType format;
      EXPECT_EQ(S_OK, g.config->GetFormat(format.Receive()));
      AM_MEDIA_TYPE connected = {};
      EXPECT_EQ(S_OK, g.pin->ConnectionMediaType(&connected));
      CMediaType::FreeFields(connected);
      FILTER_STATE state = State_Stopped;
      EXPECT_TRUE(SUCCEEDED(g.source->GetState(0, &state)));
      ComPtr<IEnumPins> pins;
      EXPECT_EQ(S_OK, g.source->EnumPins(&pins));
    }
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(thread.Get(), 30000)) << "state changes stalled";
    // Then, from Stopped: a paused live source sends nothing; frames arrive whole and in order.
    ASSERT_TRUE(SUCCEEDED(g.control->Pause()));
    ::Sleep(150);
    EXPECT_EQ(0, g.Stats().samples) << "a paused live source sends nothing";
    CMediaType nv12 = CapsType(g.pin.Get(), 4);
    ASSERT_TRUE(SUCCEEDED(g.control->Run()));
    ASSERT_TRUE(g.WaitForSamples(20));
    EXPECT_EQ(VFW_E_NOT_STOPPED, g.config->SetFormat(&nv12.Edit()));
    EXPECT_EQ(VFW_E_NOT_STOPPED, g.pin->Disconnect());
    ASSERT_EQ(S_OK, g.control->Stop());
    const FrameCheckStats s = g.Stats();
    ::Sleep(150);
    EXPECT_EQ(s.samples, g.Stats().samples) << "frames after Stop";
    EXPECT_EQ(0, s.badSamples);
    EXPECT_EQ(0, s.counterGaps);
    EXPECT_EQ(0, s.irregularSpacing);
    EXPECT_EQ(1, s.discontinuities);  // only the first sample of the run
    EXPECT_EQ(0u, s.firstCounter) << "a run from Stopped starts the counter again";
  }
  // Every camera, enumerator and class factory of the DLL is gone with the graph, and so is the
  // test renderer.
  EXPECT_EQ(0, g_cameras->Registration().LiveObjects());
  EXPECT_EQ(0, ModuleLiveObjectCount());
}
