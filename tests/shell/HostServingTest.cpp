// The host serving its clients end to end: the test program is the client, registering in the
// request channel, wanting video or not, asking for another camera; the host runs the graph for
// it, in the largest size asked for, and ends (or not) when the clients are gone.
#include <gtest/gtest.h>

#include "graphctl/HostMessages.h"
#include "resources/resource.h"
#include "HostTest.h"
#include "filters/testcam/TestCameraProfiles.h"
#include "support/HostRig.h"

using HostServing = HostTest;

namespace {

// Long enough for dozens of monitor cycles: what has not happened by then is not going to.
constexpr DWORD kQuietMs = 1500;

}  // namespace

TEST_F(HostServing, RunsWhileAClientWantsVideoInTheLargestSizeAndSwitchesCamera) {
  HostRig rig(L"serve");
  ASSERT_TRUE(rig.IsOpen());
  const int first = rig.Join(false, 640, 480);
  ASSERT_GE(first, 0);
  ASSERT_TRUE(rig.Start(L"Fontis Test Camera", GUID_NULL, false));
  ASSERT_TRUE(rig.WaitRunning(false)) << "no graph was built";

  // The only client does not want video: the graph is built and stays idle.
  ::Sleep(kQuietMs);
  EXPECT_FALSE(rig.IsRunEventSet());
  CFrameRingReader* ring = rig.Ring(0);
  EXPECT_TRUE(ring == nullptr || ring->LatestCounter() == 0);

  ASSERT_TRUE(rig.SetWantsVideo(first, true));
  EXPECT_TRUE(rig.WaitRunning(true));
  EXPECT_TRUE(rig.WaitFrames(5));
  EXPECT_TRUE(rig.WaitFrameSize(640, 480));

  // A second client asks for more: the camera runs at the larger of the two.
  const int second = rig.Join(true, 1280, 720);
  ASSERT_GE(second, 0);
  EXPECT_TRUE(rig.WaitFrameSize(1280, 720));
  EXPECT_TRUE(rig.WaitRunning(true));

  // Nobody wants video any more: the graph stops and stays built.
  ASSERT_TRUE(rig.Leave(second));
  ASSERT_TRUE(rig.SetWantsVideo(first, false));
  EXPECT_TRUE(rig.WaitRunning(false));

  // The client asks for the second camera while it wants video again.
  ASSERT_TRUE(rig.SetWantsVideo(first, true));
  ASSERT_TRUE(rig.WaitRunning(true));
  EXPECT_TRUE(rig.WaitCamera(kTestCamStandard));
  TestProcess ctl;
  ASSERT_TRUE(ctl.Start(L"fontisctl.exe", L"switch " + rig.Instance() + L" \"Fontis Second Camera\"", true));
  EXPECT_EQ(0u, ctl.Wait(kHostWaitMs));
  EXPECT_TRUE(WaitUntil([&] { return rig.Record().deviceChangePending == 0 && !rig.IsDeviceChangeEventSet(); },
                        kHostWaitMs))
      << "the request was not acknowledged";
  EXPECT_TRUE(rig.WaitRunning(true));
  EXPECT_TRUE(rig.WaitCamera(kTestCamSecond)) << "no frame of the second camera";
  const RgCenterBlock channel = rig.Channel();
  EXPECT_EQ(1u, channel.clientCount);

  // The last client of another process leaves: the hidden host ends by itself, releasing its
  // graph and the instance.
  ASSERT_TRUE(rig.Leave(first));
  EXPECT_EQ(0u, rig.WaitExit());
  EXPECT_FALSE(rig.HostHoldsInstance());
  EXPECT_EQ(kOpReleaseGraph, rig.Record().state);
}

TEST_F(HostServing, AShownHostStaysWithoutClientsAndEndsInOrderWhenItsWindowCloses) {
  HostRig rig(L"shown");
  const int client = rig.StartServing(true);
  ASSERT_GE(client, 0);

  HWND window = rig.Window();
  ASSERT_NE(nullptr, window);
  EXPECT_TRUE(::IsWindowVisible(window));
  WCHAR title[64] = {};
  ::GetWindowTextW(window, title, 64);
  EXPECT_STREQ(L"Fontis Camera Host", title);  // the prefix's user interface is English
  EXPECT_TRUE(rig.Send(WM_COMMAND, MAKEWPARAM(IDM_ABOUT, 0)));  // does nothing
  // The client check is a hidden host's: a shown one ignores it even when told not to ask.
  EXPECT_TRUE(rig.Send(WM_HOST_CHECK_CLIENTS, 0));

  // The client stops wanting video (the graph stops, still built) and leaves.
  ASSERT_TRUE(rig.SetWantsVideo(client, false));
  EXPECT_TRUE(rig.WaitRunning(false));
  ASSERT_TRUE(rig.Leave(client));
  ::Sleep(kQuietMs);
  EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), rig.WaitExit(0));
  EXPECT_TRUE(rig.HostHoldsInstance());

  // Closing the window destroys it, and with it the host: in order, with a reset record.
  ASSERT_TRUE(rig.Post(WM_CLOSE, 0));
  EXPECT_EQ(0u, rig.WaitExit());
  const GraphErrInfo record = rig.Record();
  EXPECT_EQ(kOpNone, record.state);
  EXPECT_EQ(static_cast<int32_t>(0x8000FFFF), record.result);
  EXPECT_FALSE(rig.HostHoldsInstance());
}
