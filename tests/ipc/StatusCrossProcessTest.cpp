// The status channel against other real processes: a client that created the record first,
// one that holds the lock too long, one that dies holding it.
#include <gtest/gtest.h>

#include "ipc/CGraphErrInfo.h"
#include "ipc/CStatusChannelClient.h"
#include "ipc/ScopedHandle.h"
#include "support/TestProcess.h"

namespace {

// Whether another thread could take the mutex at once (this thread's own ownership would
// otherwise hide a lock left held).
bool IsFreeForAnotherThread(HANDLE mutex) {
  struct Probe {
    HANDLE mutex;
    DWORD result;
  } probe{mutex, 0};
  ScopedHandle thread(::CreateThread(
      nullptr, 0,
      [](void* p) -> DWORD {
        auto* probe = static_cast<Probe*>(p);
        probe->result = ::WaitForSingleObject(probe->mutex, 0);
        if (probe->result == WAIT_OBJECT_0 || probe->result == WAIT_ABANDONED) ::ReleaseMutex(probe->mutex);
        return 0;
      },
      &probe, 0, nullptr));
  ::WaitForSingleObject(thread.Get(), INFINITE);
  return probe.result == WAIT_OBJECT_0;
}

}  // namespace

TEST(StatusAcrossProcesses, RecordCreatedByAClientIsTakenAsItStands) {
  const std::wstring instance = UniqueInstanceName(L"xstatus");
  TestProcess peer;
  ASSERT_TRUE(StartPeer(peer, instance,
                        L"request " + instance + L" \"Front Camera\" {0B1C2D3E-4F50-6172-8394-A5B6C7D8E9F0} 30000"));

  CGraphErrInfo host;
  ASSERT_EQ(S_OK, host.Open(instance.c_str()));
  CStatusChannelClient view;
  ASSERT_EQ(S_OK, view.Open(instance.c_str()));
  GraphErrInfo record;
  view.Snapshot(&record, nullptr);
  EXPECT_EQ(kOpRunGraph, record.state);
  EXPECT_EQ(S_OK, record.result);
  EXPECT_EQ(1, record.hostCondition);

  WCHAR name[kNameCapacity];
  GUID guid = GUID_NULL;
  EXPECT_TRUE(host.GetDeviceRequest(name, kNameCapacity, &guid));
  EXPECT_STREQ(L"Front Camera", name);
  const GUID expected = {0x0B1C2D3E, 0x4F50, 0x6172, {0x83, 0x94, 0xA5, 0xB6, 0xC7, 0xD8, 0xE9, 0xF0}};
  EXPECT_TRUE(IsEqualGUID(expected, guid));
  EXPECT_FALSE(host.IsGraphHealthy());  // a request waits
  peer.Kill();
}

TEST(StatusAcrossProcesses, LockHeldPastTheTimeoutMakesOperationsDoNothing) {
  const std::wstring instance = UniqueInstanceName(L"xstatus");
  CGraphErrInfo host;
  ASSERT_EQ(S_OK, host.Open(instance.c_str()));
  host.EndOperation(S_OK, kOpHostStartup);

  TestProcess peer;
  ASSERT_TRUE(StartPeer(peer, instance, L"hold-lock " + instance + L" 9500"));
  EXPECT_FALSE(host.IsGraphHealthy());  // only tries the lock
  const ULONGLONG start = ::GetTickCount64();
  EXPECT_EQ(S_OK, host.BeginOperation(kOpBuildGraph));
  const ULONGLONG waited = ::GetTickCount64() - start;
  EXPECT_GE(waited, 7900u);
  EXPECT_LT(waited, 9400u);

  CStatusChannelClient view;
  ASSERT_EQ(S_OK, view.Open(instance.c_str()));
  EXPECT_EQ(kOpHostStartup, view.Record()->state);
  EXPECT_EQ(0u, view.Record()->pending);
  EXPECT_EQ(0u, peer.Wait(10000));
}

TEST(StatusAcrossProcesses, LockAbandonedByADeadClientIsTakenAndFreedAgain) {
  const std::wstring instance = UniqueInstanceName(L"xstatus");
  CGraphErrInfo host;
  ASSERT_EQ(S_OK, host.Open(instance.c_str()));
  host.EndOperation(S_OK, kOpHostStartup);

  TestProcess peer;
  ASSERT_TRUE(StartPeer(peer, instance, L"hold-lock-forever " + instance));
  peer.Kill();

  const ULONGLONG start = ::GetTickCount64();
  EXPECT_EQ(S_OK, host.BeginOperation(kOpBuildGraph));
  EXPECT_LT(::GetTickCount64() - start, 2000u);
  CStatusChannelClient view;
  ASSERT_EQ(S_OK, view.Open(instance.c_str()));
  EXPECT_EQ(kOpBuildGraph, view.Record()->state);
  EXPECT_EQ(1u, view.Record()->pending);
  EXPECT_TRUE(IsFreeForAnotherThread(view.LockHandle()));
  host.EndOperation(S_OK, kOpBuildGraph);
  EXPECT_TRUE(host.IsGraphHealthy());
}
