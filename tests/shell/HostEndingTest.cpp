// How a serving host ends without its orderly shutdown, and who serves its clients next: a
// WM_QUIT posted to its window, its own quit with more messages behind it, being killed while it
// serves, and being killed while a successor waits for its unhealthy graph.
#include <gtest/gtest.h>

#include "common/ScopedMutexLock.h"
#include "graphctl/HostMessages.h"
#include "ipc/NamedObjects.h"
#include "ipc/ObjectNames.h"
#include "resources/resource.h"
#include "HostTest.h"
#include "support/HostRig.h"
#include "support/TestCamFaultRecord.h"

using HostEnding = HostTest;

namespace {

// A handle of our own on one of the instance's named objects, opened (never created).
ScopedHandle OpenInstanceObject(const std::wstring& instance, const WCHAR* suffix, bool isEvent) {
  WCHAR name[kNameCapacity];
  if (!ComposeObjectName(name, instance.c_str(), suffix)) return ScopedHandle();
  return ScopedHandle(isEvent ? ::OpenEventW(SYNCHRONIZE, FALSE, name) : ::OpenMutexW(SYNCHRONIZE, FALSE, name));
}

}  // namespace

TEST_F(HostEnding, APostedQuitEndsTheProcessWithZeroAndNoShutdown) {
  HostRig rig(L"quit");
  ASSERT_GE(rig.StartServing(), 0);
  ScopedHandle flag = OpenInstanceObject(rig.Instance(), kSuffixLiveFlag, false);
  ASSERT_TRUE(flag.IsValid());

  ASSERT_TRUE(rig.Post(WM_QUIT, 0));
  EXPECT_EQ(0u, rig.WaitExit());
  // Nothing was released or reset, and the flag was never given back: the process just ended.
  const GraphErrInfo record = rig.Record();
  EXPECT_EQ(kOpRunGraph, record.state);
  EXPECT_EQ(0u, record.released);
  EXPECT_EQ(static_cast<DWORD>(WAIT_ABANDONED), ::WaitForSingleObject(flag.Get(), 0));
}

TEST_F(HostEnding, FormatAndCameraMessagesAfterTheHostsOwnQuitAreIgnored) {
  HostRig rig(L"afterquit");
  ASSERT_GE(rig.StartServing(), 0);
  // A request for another camera, written without the event, so that only our message could act
  // on it.
  {
    ScopedMutexLock lock(rig.Status().LockHandle(), 5000);
    ASSERT_TRUE(lock.Held());
    BoundedCopy(rig.Status().Record()->deviceName, L"Fontis Second Camera");
  }
  // The client check without asking ends the host (it quits); the other two queue behind it.
  ASSERT_TRUE(rig.Post(WM_HOST_CHECK_CLIENTS, 0));
  ASSERT_TRUE(rig.Post(WM_HOST_DEVICE_CHANGED, 0));
  ASSERT_TRUE(rig.Post(WM_HOST_FORMAT_CHANGED, 0));
  EXPECT_EQ(0u, rig.WaitExit());
  // The graph was released by the client check and nothing built another one.
  const GraphErrInfo record = rig.Record();
  EXPECT_EQ(kOpReleaseGraph, record.state);
  EXPECT_EQ(1u, record.released);
  EXPECT_FALSE(rig.IsConnectEventSet());
}

TEST_F(HostEnding, AKilledHostsClientsAreServedByTheNextHostAClientStarts) {
  HostRig rig(L"killed");
  const int client = rig.StartServing();
  ASSERT_GE(client, 0);
  ASSERT_TRUE(rig.WaitFrames(3));
  const LONG64 framesBefore = rig.Ring()->LatestCounter();

  rig.Process().Kill();
  // The slot and the record are as the host left them.
  const RgCenterBlock channel = rig.Channel();
  EXPECT_EQ(1u, channel.clientCount);
  EXPECT_EQ(::GetCurrentProcessId(), channel.clientSlots[client].processId);
  EXPECT_EQ(kOpRunGraph, rig.Record().state);

  // A client starts a host as clients do; it serves the same client.
  TestProcess ctl;
  ASSERT_TRUE(ctl.Start(L"fontisctl.exe", L"launch " + rig.Instance() + L" \"Fontis Test Camera\" " +
                                              GuidString(GUID_NULL) + L" FALSE",
                        true));
  EXPECT_EQ(0u, ctl.Wait(kHostWaitMs));
  EXPECT_TRUE(rig.WaitRunning(true));
  EXPECT_TRUE(WaitUntil([&] { return rig.Ring()->LatestCounter() > framesBefore + 3; }, kHostWaitMs));
  EXPECT_TRUE(rig.HostHoldsInstance());
  ASSERT_TRUE(rig.Leave(client));
  EXPECT_TRUE(WaitUntil([&] { return !rig.HostHoldsInstance(); }, kHostWaitMs));
}

TEST_F(HostEnding, ASuccessorWaitingForAnUnhealthyHostTakesOverWhenItIsKilledAndServes) {
  TestCamFaultRecord faults;
  ASSERT_TRUE(faults.IsValid());
  faults.FailStarts(1000000, E_FAIL);
  HostRig rig(L"unhealthy");
  ASSERT_TRUE(rig.IsOpen());
  ASSERT_GE(rig.Join(true, 640, 480), 0);
  ASSERT_TRUE(rig.Start(L"Fontis Test Camera Faulty", GUID_NULL, false));
  // Built, but every start of the camera fails: recorded as a failed run.
  ASSERT_TRUE(WaitUntil([&] { return rig.Record().state == kOpRunGraph && rig.Record().result == E_FAIL; },
                        kHostWaitMs));

  TestProcess successor;
  ASSERT_TRUE(successor.Start(L"FontisHost.exe", L"\"" + rig.Instance() +
                                                    L"\" \"Fontis Test Camera Faulty\" \"" + GuidString(GUID_NULL) +
                                                    L"\" \"FALSE\" \"0\""));
  EXPECT_TRUE(WaitUntil(
      [&] {
        ScopedHandle waiting = OpenInstanceObject(rig.Instance(), kSuffixLiveWaitEvent, true);
        return waiting.IsValid() && ::WaitForSingleObject(waiting.Get(), 0) == WAIT_OBJECT_0;
      },
      kHostWaitMs))
      << "the successor does not wait";
  EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), successor.Wait(0));

  faults.FailStarts(0, S_OK);
  rig.Process().Kill();
  // The successor took the abandoned flag and serves the same client with the same camera.
  EXPECT_TRUE(rig.WaitRunning(true));
  EXPECT_TRUE(rig.WaitFrames(5));
  EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), successor.Wait(0));

  // Its window's exit command ends it in order, as the installer and stop-hosts rely on.
  HWND window = nullptr;
  EXPECT_TRUE(WaitUntil(
      [&] {
        window = ::FindWindowW(L"" FONTIS_WINDOW_CLASS, nullptr);
        DWORD id = 0;
        while (window != nullptr && (::GetWindowThreadProcessId(window, &id), id != successor.Id())) {
          window = ::FindWindowExW(nullptr, window, L"" FONTIS_WINDOW_CLASS, nullptr);
        }
        return window != nullptr;
      },
      kHostWaitMs));
  ASSERT_TRUE(::PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0));
  EXPECT_EQ(0u, successor.Wait(kHostWaitMs));
  EXPECT_EQ(kOpNone, rig.Record().state);
  EXPECT_FALSE(rig.HostHoldsInstance());
}
