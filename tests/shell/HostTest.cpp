// The host program end to end, started as a client starts it, with this program as its client:
// start-up, serving, ending and take-over, and session and power changes seen in the records.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "common/ScopedMutexLock.h"
#include "filters/testcam/TestCameraProfiles.h"
#include "graphctl/HostMessages.h"
#include "ipc/LiveInstance.h"
#include "ipc/NamedObjects.h"
#include "ipc/ObjectNames.h"
#include "resources/resource.h"
#include "support/FilterEnvironment.h"
#include "support/HostRig.h"
#include "support/TestCamFaultRecord.h"

namespace {

const wchar_t kGuid[] = L"{0B1C2D3E-4F50-6172-8394-A5B6C7D8E9F0}";
// Long enough for dozens of monitor cycles: what has not happened by then is not going to.
constexpr DWORD kQuietMs = 1500;

DWORD RunHost(const std::wstring& arguments) {
  TestProcess host;
  if (!host.Start(L"FontisHost.exe", arguments)) return 0xDEADBEEF;
  return host.Wait(kHostWaitMs);
}

std::wstring Arguments(const std::wstring& instance, const std::wstring& camera, const wchar_t* show = L"FALSE") {
  return L"\"" + instance + L"\" \"" + camera + L"\" \"" + kGuid + L"\" \"" + show + L"\" \"0\"";
}

// Counts how often the host let a built graph go (the record's `released` rising), on a thread
// of its own that looks at the record every millisecond: a release is followed by a camera
// lookup and a build, far longer than that.
class ReleaseCounter {
 public:
  explicit ReleaseCounter(const std::wstring& instance) {
    if (FAILED(m_status.Open(instance.c_str()))) return;
    m_thread = std::thread([this] {
      const volatile uint32_t* released = &m_status.Record()->released;
      for (uint32_t last = *released, now = last; !m_stop; ::Sleep(1), last = now) {
        now = *released;
        if (now != 0 && last == 0) ++m_count;
      }
    });
  }
  ~ReleaseCounter() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
  }
  bool IsWatching() const { return m_thread.joinable(); }
  LONG Count() const { return m_count.load(); }

 private:
  CStatusChannelClient m_status;
  std::atomic<bool> m_stop{false};
  std::atomic<LONG> m_count{0};
  std::thread m_thread;
};

bool Session(HostRig& rig, WORD code) { return rig.Send(WM_WTSSESSION_CHANGE, code, 1); }
bool Power(HostRig& rig, WORD event) { return rig.Send(WM_POWERBROADCAST, event, 0); }

// An orderly end: the status record reset and the instance given up.
void ExpectInstanceShutDown(const HostRig& rig) {
  const GraphErrInfo record = rig.Record();
  EXPECT_EQ(kOpNone, record.state);
  EXPECT_EQ(E_UNEXPECTED, record.result);
  EXPECT_FALSE(rig.HostHoldsInstance());
}

// The hosts started here create the capture renderer and open the test cameras.
class HostTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(IsCaptureRendererRegistered()); }
};

}  // namespace

TEST_F(HostTest, StartupEndsAtOnceForBadArgumentsAnUnknownCameraOrAHealthyHostServing) {
  // An instance too long for the named objects ends with E_UNEXPECTED (other bad arguments are
  // ShellRulesTest's).
  const std::wstring instance = UniqueInstanceName(L"host");
  CStatusChannelClient view;
  EXPECT_EQ(0x8000FFFFu, RunHost(Arguments(std::wstring(240, L'h'), L"Cam")));

  // An unknown camera shuts the instance down in order, resetting a record that was not fresh.
  HostRig rig(L"unknown");
  ASSERT_TRUE(rig.IsOpen());
  rig.Status().Record()->state = kOpBuildGraph;
  rig.Status().Record()->result = S_OK;
  ASSERT_TRUE(rig.Start(L"No Such Camera", GUID_NULL, false));
  EXPECT_EQ(0u, rig.WaitExit());
  ExpectInstanceShutDown(rig);

  // A host that waited for a healthy one serving would still run when RunHost gives up.
  TestProcess first;
  ASSERT_TRUE(StartPeer(first, instance, L"serve " + instance + L" healthy"));
  EXPECT_EQ(0u, RunHost(Arguments(instance, L"Fontis Test Camera")));
  ASSERT_EQ(S_OK, view.Open(instance.c_str()));
  EXPECT_EQ(kOpBuildGraph, view.Record()->state);  // the serving host's record is untouched
  StopPeer(instance);
  EXPECT_EQ(0u, first.Wait(10000));
}

// A shown host finds a client's request for another camera waiting (by its GUID, under an empty
// name), opens that camera and publishes it in the request channel. Which requests name another
// camera is ShellRulesTest's. Without clients it stays; a WM_QUIT sent to its procedure gives the
// instance up in order and quits nothing; closing the window then destroys it, and with it the host.
TEST_F(HostTest, StartupAShownHostTakesOverAWaitingRequestStaysWithoutClientsAndEndsWhenItsWindowCloses) {
  const GUID second = kTestCameraProfiles[kTestCamSecond].clsid;
  HostRig rig(L"takeover");
  ASSERT_TRUE(rig.IsOpen());
  ASSERT_EQ(S_OK, rig.Status().RequestDevice(L"", second));
  ASSERT_TRUE(rig.Process().Start(L"FontisHost.exe", Arguments(rig.Instance(), L"Fontis Test Camera", L"TRUE")));
  ASSERT_TRUE(rig.WaitRunning(false));
  // The camera is published once the graph is built.
  ASSERT_TRUE(WaitUntil([&] { return rig.Channel().deviceGuidText[0] != L'\0'; }, kHostWaitMs));
  const RgCenterBlock channel = rig.Channel();
  EXPECT_STREQ(L"", channel.deviceName);
  EXPECT_EQ(GuidString(second), std::wstring(channel.deviceGuidText));
  EXPECT_EQ(0u, rig.Record().deviceChangePending);

  HWND window = rig.Window();
  ASSERT_NE(nullptr, window);
  EXPECT_TRUE(::IsWindowVisible(window));
  WCHAR title[64] = {};
  ::GetWindowTextW(window, title, 64);
  EXPECT_STREQ(L"Fontis Camera Host", title);  // the prefix's user interface is English
  // The client check is a hidden host's: a shown one ignores it even when told not to ask.
  EXPECT_TRUE(rig.Send(WM_HOST_CHECK_CLIENTS, 0));
  ::Sleep(kQuietMs);
  EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), rig.WaitExit(0));
  EXPECT_TRUE(rig.HostHoldsInstance());

  ASSERT_TRUE(rig.Send(WM_QUIT, 0));
  ExpectInstanceShutDown(rig);
  EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), rig.WaitExit(0));
  ASSERT_TRUE(rig.Post(WM_CLOSE, 0));
  EXPECT_EQ(0u, rig.WaitExit());
}

TEST_F(HostTest, ServingRunsWhileAClientWantsVideoInTheLargestSizeAndSwitchesCamera) {
  HostRig rig(L"serve");
  ASSERT_TRUE(rig.IsOpen());
  const int first = rig.Join(false, 640, 480);
  ASSERT_GE(first, 0);
  ASSERT_TRUE(rig.Start(L"Fontis Test Camera", GUID_NULL, false));
  ASSERT_TRUE(rig.WaitRunning(false)) << "no graph was built";
  ASSERT_TRUE(rig.SetWantsVideo(first, true));
  EXPECT_TRUE(rig.WaitFrameSize(640, 480));

  // A second client asks for more: the camera runs at the larger of the two.
  const int second = rig.Join(true, 1280, 720);
  ASSERT_GE(second, 0);
  EXPECT_TRUE(rig.WaitFrameSize(1280, 720));

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
  EXPECT_TRUE(WaitUntil(
      [&] { return rig.Record().deviceChangePending == 0 && !rig.IsEventSet(CStatusChannelClient::kDeviceChangeEvent); },
      kHostWaitMs));
  EXPECT_TRUE(rig.WaitCamera(kTestCamSecond));

  // The last client of another process leaves: the hidden host ends by itself, releasing its
  // graph and the instance.
  ASSERT_TRUE(rig.Leave(first));
  EXPECT_EQ(0u, rig.WaitExit());
  EXPECT_FALSE(rig.HostHoldsInstance());
  EXPECT_EQ(kOpReleaseGraph, rig.Record().state);
}

TEST_F(HostTest, EndingKilledOrQuitWithoutShutdownItsClientsAreServedNextAndItsOwnQuitIgnoresLaterMessages) {
  HostRig rig(L"ending");
  const int client = rig.StartServing();
  ASSERT_GE(client, 0);
  ASSERT_TRUE(rig.WaitFrames(3));
  // Killed while it serves: the slot and the record are as the host left them.
  rig.Process().Kill();
  EXPECT_EQ(::GetCurrentProcessId(), rig.Channel().clientSlots[client].processId);
  EXPECT_EQ(kOpRunGraph, rig.Record().state);
  EXPECT_EQ(HostPresence::kNone, ProbeHostPresence(rig.Instance().c_str()));

  // The next start by the client brings up a host that serves the same client.
  const auto restart = [&] {
    const LONG64 framesBefore = rig.Ring()->LatestCounter();
    ASSERT_TRUE(rig.Start(L"Fontis Test Camera", GUID_NULL, false));
    ASSERT_TRUE(rig.WaitRunning(true));
    ASSERT_TRUE(WaitUntil([&] { return rig.Ring()->LatestCounter() > framesBefore + 3; }, kHostWaitMs));
  };
  ASSERT_NO_FATAL_FAILURE(restart());
  // A WM_QUIT posted to its window ends it with 0 and nothing else: nothing released or reset,
  // the flag never given back.
  WCHAR flagName[kNameCapacity];
  ASSERT_TRUE(ComposeObjectName(flagName, rig.Instance().c_str(), kSuffixLiveFlag));
  ScopedHandle flag(::OpenMutexW(SYNCHRONIZE, FALSE, flagName));  // opened, never created
  ASSERT_TRUE(flag.IsValid());
  ASSERT_TRUE(rig.Post(WM_QUIT, 0));
  EXPECT_EQ(0u, rig.WaitExit());
  EXPECT_EQ(kOpRunGraph, rig.Record().state);
  EXPECT_EQ(0u, rig.Record().released);
  ASSERT_EQ(static_cast<DWORD>(WAIT_ABANDONED), ::WaitForSingleObject(flag.Get(), 0));
  ::ReleaseMutex(flag.Get());

  ASSERT_NO_FATAL_FAILURE(restart());
  // A request for another camera, written without the event, so that only our message could act
  // on it. The client check without asking ends the host (it quits); the other two queue behind it.
  {
    ScopedMutexLock lock(rig.Status().LockHandle(), 5000);
    ASSERT_TRUE(lock.Held());
    BoundedCopy(rig.Status().Record()->deviceName, L"Fontis Second Camera");
  }
  ASSERT_TRUE(rig.Post(WM_HOST_CHECK_CLIENTS, 0));
  ASSERT_TRUE(rig.Post(WM_HOST_DEVICE_CHANGED, 0));
  ASSERT_TRUE(rig.Post(WM_HOST_FORMAT_CHANGED, 0));
  EXPECT_EQ(0u, rig.WaitExit());
  // The graph was released by the client check and nothing built another one.
  EXPECT_EQ(kOpReleaseGraph, rig.Record().state);
  EXPECT_EQ(1u, rig.Record().released);
  EXPECT_FALSE(rig.IsConnectEventSet());
}

TEST_F(HostTest, EndingASuccessorWaitingForAnUnhealthyHostTakesOverWhenItIsKilledAndServes) {
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
  EXPECT_EQ(HostPresence::kUnhealthy, ProbeHostPresence(rig.Instance().c_str()));  // a client would start one

  TestProcess successor;
  ASSERT_TRUE(successor.Start(L"FontisHost.exe", Arguments(rig.Instance(), L"Fontis Test Camera Faulty")));
  EXPECT_TRUE(WaitUntil([&] { return ProbeHostPresence(rig.Instance().c_str()) == HostPresence::kSuccessorWaiting; },
                        kHostWaitMs));

  faults.FailStarts(0, S_OK);
  rig.Process().Kill();
  // The successor took the abandoned flag and serves the same client with the same camera.
  EXPECT_TRUE(rig.WaitRunning(true));
  EXPECT_TRUE(rig.WaitFrames(5));
  EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), successor.Wait(0));

  // Its window's exit command ends it in order, as the installer and stop-hosts rely on.
  HWND window = HostRig::FindHostWindow(successor);
  ASSERT_NE(nullptr, window);
  ASSERT_TRUE(::PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0));
  EXPECT_EQ(0u, successor.Wait(kHostWaitMs));
  ExpectInstanceShutDown(rig);
}

TEST_F(HostTest, SessionPowerFollowsLockSuspendAndConsoleChanges) {
  HostRig rig(L"session");
  ASSERT_GE(rig.StartServing(), 0);
  ReleaseCounter releases(rig.Instance());
  ASSERT_TRUE(releases.IsWatching());

  // Lock: the graph stays, and the host counts as a client wanting video until the unlock.
  ASSERT_TRUE(Session(rig, WTS_SESSION_LOCK));
  EXPECT_EQ(kHostConditionLocked, rig.Record().hostCondition);
  EXPECT_EQ(1u, rig.Channel().placeholderActive);
  EXPECT_TRUE(rig.IsRunEventSet());
  // Unlock with a graph that is fine: nothing is restarted.
  ASSERT_TRUE(Session(rig, WTS_SESSION_UNLOCK));
  EXPECT_EQ(kHostConditionNormal, rig.Record().hostCondition);
  EXPECT_EQ(0u, rig.Channel().placeholderActive);
  EXPECT_EQ(0, releases.Count());

  // Asked whether it may suspend, the host lets the camera go; when the suspend is called off,
  // it builds and runs the graph again.
  ASSERT_TRUE(Power(rig, PBT_APMQUERYSUSPEND));
  EXPECT_EQ(kHostConditionSuspended, rig.Record().hostCondition);
  EXPECT_EQ(1, releases.Count());
  EXPECT_FALSE(rig.IsConnectEventSet());
  ASSERT_TRUE(Power(rig, PBT_APMQUERYSUSPENDFAILED));
  EXPECT_TRUE(rig.WaitRunning(true));
  EXPECT_EQ(kHostConditionNormal, rig.Record().hostCondition);
  // A resume with nothing pending, and the automatic resume, change nothing.
  ASSERT_TRUE(Power(rig, PBT_APMRESUMESUSPEND));
  ASSERT_TRUE(Power(rig, PBT_APMRESUMEAUTOMATIC));
  EXPECT_EQ(1, releases.Count());

  // The console goes: the camera is let go. Unlocking with no graph restarts it.
  ASSERT_TRUE(Session(rig, WTS_CONSOLE_DISCONNECT));
  EXPECT_EQ(kHostConditionDisconnected, rig.Record().hostCondition);
  EXPECT_EQ(2, releases.Count());
  ASSERT_TRUE(Session(rig, WTS_SESSION_LOCK));
  ASSERT_TRUE(Session(rig, WTS_SESSION_UNLOCK));
  EXPECT_TRUE(rig.WaitRunning(true));
  EXPECT_EQ(kHostConditionNormal, rig.Record().hostCondition);

  // The console comes back: restarted, and kept running even when the restart finds no camera.
  ASSERT_TRUE(Session(rig, WTS_CONSOLE_CONNECT));
  EXPECT_TRUE(rig.WaitRunning(true));
  EXPECT_EQ(3, releases.Count());
  ASSERT_EQ(S_OK, g_cameras->Registration().Unregister());
  ASSERT_TRUE(Session(rig, WTS_CONSOLE_CONNECT));
  EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), rig.WaitExit(1000));
  EXPECT_FALSE(rig.IsConnectEventSet());
  ASSERT_EQ(S_OK, g_cameras->Registration().Register());
  ASSERT_TRUE(Session(rig, WTS_CONSOLE_CONNECT));
  EXPECT_TRUE(rig.WaitRunning(true));

  // A real suspend, and a resume whose restart finds no camera: the host ends.
  ASSERT_TRUE(Power(rig, PBT_APMSUSPEND));
  ASSERT_EQ(S_OK, g_cameras->Registration().Unregister());
  ASSERT_TRUE(Power(rig, PBT_APMRESUMESUSPEND));
  EXPECT_EQ(0u, rig.WaitExit());
  ASSERT_EQ(S_OK, g_cameras->Registration().Register());
}
