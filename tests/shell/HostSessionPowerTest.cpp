// Session and power changes as the platform delivers them: WM_WTSSESSION_CHANGE and
// WM_POWERBROADCAST sent to the host's window from this process, while a client wants video.
// What the host does shows in the status record: the host condition, the released flag of a
// graph let go, the connect and run events of a graph rebuilt.
#include <gtest/gtest.h>

#include <atomic>

#include "HostTest.h"
#include "support/HostRig.h"

using HostSessionPower = HostTest;

namespace {

// Counts how often the host let a built graph go (the record's `released` rising), on a thread
// of its own that looks at the record every millisecond: a release is followed by a camera
// lookup and a build, far longer than that.
class ReleaseCounter {
 public:
  explicit ReleaseCounter(const std::wstring& instance)
      : m_stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    if (SUCCEEDED(m_status.Open(instance.c_str()))) {
      m_thread.Reset(::CreateThread(nullptr, 0, Watch, this, 0, nullptr));
    }
  }
  ~ReleaseCounter() {
    ::SetEvent(m_stop.Get());
    if (m_thread.IsValid()) ::WaitForSingleObject(m_thread.Get(), INFINITE);
  }
  bool IsWatching() const { return m_thread.IsValid(); }
  LONG Count() const { return m_count.load(); }

 private:
  static DWORD WINAPI Watch(void* self) {
    auto* counter = static_cast<ReleaseCounter*>(self);
    const volatile uint32_t* released = &counter->m_status.Record()->released;
    uint32_t last = *released;
    while (::WaitForSingleObject(counter->m_stop.Get(), 1) == WAIT_TIMEOUT) {
      const uint32_t now = *released;
      if (now != 0 && last == 0) ++counter->m_count;
      last = now;
    }
    return 0;
  }

  CStatusChannelClient m_status;
  ScopedHandle m_stop;
  ScopedHandle m_thread;
  std::atomic<LONG> m_count{0};
};

bool Session(HostRig& rig, WORD code) { return rig.Send(WM_WTSSESSION_CHANGE, code, 1); }
bool Power(HostRig& rig, WORD event) { return rig.Send(WM_POWERBROADCAST, event, 0); }

}  // namespace

TEST_F(HostSessionPower, FollowsLockSuspendAndConsoleChanges) {
  HostRig rig(L"session");
  ASSERT_GE(rig.StartServing(), 0);
  ASSERT_NE(nullptr, rig.Window());
  ReleaseCounter releases(rig.Instance());
  ASSERT_TRUE(releases.IsWatching());
  EXPECT_EQ(kHostConditionNormal, rig.Record().hostCondition);

  // Lock: the graph stays, and the host counts as a client wanting video until the unlock.
  ASSERT_TRUE(Session(rig, WTS_SESSION_LOCK));
  EXPECT_EQ(kHostConditionLocked, rig.Record().hostCondition);
  EXPECT_EQ(1u, rig.Channel().placeholderActive);
  EXPECT_TRUE(rig.IsRunEventSet());
  // Unlock with a graph that is fine: nothing is restarted.
  ASSERT_TRUE(Session(rig, WTS_SESSION_UNLOCK));
  EXPECT_EQ(kHostConditionNormal, rig.Record().hostCondition);
  EXPECT_EQ(0u, rig.Channel().placeholderActive);
  EXPECT_TRUE(rig.IsRunEventSet());
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
  EXPECT_TRUE(rig.IsRunEventSet());

  // The console goes: the camera is let go. Unlocking with no graph restarts it.
  ASSERT_TRUE(Session(rig, WTS_CONSOLE_DISCONNECT));
  EXPECT_EQ(kHostConditionDisconnected, rig.Record().hostCondition);
  EXPECT_EQ(2, releases.Count());
  EXPECT_FALSE(rig.IsConnectEventSet());
  ASSERT_TRUE(Session(rig, WTS_SESSION_LOCK));
  EXPECT_EQ(kHostConditionLocked, rig.Record().hostCondition);
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
  EXPECT_EQ(kHostConditionSuspended, rig.Record().hostCondition);
  ASSERT_EQ(S_OK, g_cameras->Registration().Unregister());
  ASSERT_TRUE(Power(rig, PBT_APMRESUMESUSPEND));
  EXPECT_EQ(0u, rig.WaitExit());
  ASSERT_EQ(S_OK, g_cameras->Registration().Register());
}
