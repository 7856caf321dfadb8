// The status record as clients observe it after every step of the host, its names, and its lock
// against a real peer process that holds and abandons it.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <tuple>

#include "IpcTestSupport.h"
#include "ipc/CGraphErrInfo.h"
#include "ipc/CStatusChannelClient.h"
#include "ipc/HostLauncher.h"
#include "ipc/LiveInstance.h"
#include "ipc/ObjectNames.h"
#include "common/ScopedHandle.h"
#include "support/StatusFixture.h"
#include "support/TestProcess.h"
#include "support/WaitUntil.h"

namespace {

constexpr unsigned kConnect = 1, kRun = 2, kDeviceChange = 4;
constexpr HRESULT kFailure = E_FAIL;
constexpr bool kBegin = true, kEnd = false;
const GUID kCameraGuid = {0x12345678, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};

// One call of the host (a begin, or an end with its outcome) and what a client reads after it.
struct Step {
  bool begin;
  int32_t op;
  HRESULT outcome;
  int32_t state;
  uint32_t pending, released;
  HRESULT result;
  unsigned events;
};

}  // namespace

class StatusRecord : public StatusFixture {
 protected:
  // A record that holds a success, as after the host's start-up.
  void MakeSuccessRecord() {
    host.Reset();
    host.EndOperation(S_OK, kOpHostStartup);
  }
  void Play(std::initializer_list<Step> steps) {
    int index = 0;
    for (const Step& s : steps) {
      SCOPED_TRACE(testing::Message() << "step " << index++);
      if (s.begin) {
        host.BeginOperation(s.op);
      } else {
        host.EndOperation(s.outcome, s.op);
      }
      const GraphErrInfo r = Read();
      EXPECT_EQ(std::make_tuple(s.state, s.pending, s.released, s.result, s.events),
                std::make_tuple(r.state, r.pending, r.released, r.result, Events()));
    }
  }
};

TEST_F(StatusRecord, HostConditionChangesOnlyOverASuccessAndResetKeepsOnlyTheGuid) {
  host.SetHostCondition(1);  // over the fresh record's failure
  EXPECT_EQ(3, Read().hostCondition);
  MakeSuccessRecord();
  host.SetHostCondition(2);
  EXPECT_EQ(2, Read().hostCondition);
  host.EndOperation(S_OK, kOpRunGraph);
  ASSERT_EQ(S_OK, client.RequestDevice(L"Cam", kCameraGuid));
  host.Reset();
  const GraphErrInfo reset = Read();
  EXPECT_EQ(L'\0', reset.deviceName[0]);
  EXPECT_EQ(0u, reset.deviceChangePending);
  EXPECT_TRUE(IsEqualGUID(kCameraGuid, reset.deviceGuid));
  EXPECT_EQ(0u, Events() & (kConnect | kRun));
}

TEST_F(StatusRecord, OperationPairsOnASuccessRecord) {
  struct {
    int32_t op;
    uint32_t released;  // after the begin, and still after the end
    unsigned events;    // after the end, whatever its outcome (none after the begin)
  } const cases[] = {
      {kOpStopGraph, 0, 0},       {kOpDestroyGraph, 0, 0},     {kOpReleaseGraph, 1, 0},
      {kOpHostStartup, 0, 0},     {kOpRestartCapture, 0, 0},   {kOpSetCaptureFormat, 0, 0},
      {kOpBuildGraph, 0, kConnect}, {kOpRunGraph, 0, kConnect | kRun},
  };
  for (const auto& c : cases) {
    for (const HRESULT outcome : {S_OK, kFailure}) {
      SCOPED_TRACE(testing::Message() << "operation " << c.op << " outcome " << std::hex << outcome);
      MakeSuccessRecord();
      Play({{kBegin, c.op, 0, c.op, 1, c.released, S_OK, 0},
            {kEnd, c.op, outcome, c.op, 0, c.released, outcome, c.events}});
      EXPECT_EQ(outcome == S_OK && (c.op == kOpBuildGraph || c.op == kOpRunGraph), !!host.IsGraphHealthy());
    }
  }
}

TEST_F(StatusRecord, StopOfABuiltGraphLowerReportsAndStickingFailures) {
  MakeSuccessRecord();
  Play({
      {kEnd, kOpBuildGraph, S_OK, kOpBuildGraph, 0, 0, S_OK, kConnect},
      {kEnd, kOpRunGraph, S_OK, kOpRunGraph, 0, 0, S_OK, kConnect | kRun},
      // Stopping a built graph reports it as built; even a failed stop leaves the result alone.
      {kBegin, kOpStopGraph, 0, kOpBuildGraph, 0, 0, S_OK, kConnect},
      {kEnd, kOpStopGraph, kFailure, kOpBuildGraph, 0, 0, S_OK, kConnect},
      // A lower success without a begin is ignored.
      {kEnd, kOpSetCaptureFormat, S_OK, kOpBuildGraph, 0, 0, S_OK, kConnect},
      {kEnd, kOpBuildGraph, kFailure, kOpBuildGraph, 0, 0, kFailure, kConnect},
      // Over a failure a begin does not lower the state, nor does a lower success.
      {kBegin, kOpReleaseGraph, 0, kOpBuildGraph, 0, 1, kFailure, 0},
      {kEnd, kOpReleaseGraph, S_OK, kOpBuildGraph, 0, 1, kFailure, 0},
      {kBegin, kOpSetCaptureFormat, 0, kOpBuildGraph, 0, 0, kFailure, 0},  // any other begin clears released
      // A later failure of a nonzero operation is recorded; of operation 0 it is not.
      {kEnd, kOpDestroyGraph, E_OUTOFMEMORY, kOpDestroyGraph, 0, 0, E_OUTOFMEMORY, 0},
      {kEnd, kOpNone, kFailure, kOpDestroyGraph, 0, 0, E_OUTOFMEMORY, 0},
      {kEnd, kOpRunGraph, S_OK, kOpRunGraph, 0, 0, S_OK, kConnect | kRun},  // 9 always is
  });
}

TEST_F(StatusRecord, CameraRequestAcknowledgedByGuidOrNameAndUnterminatedNamesCut) {
  MakeSuccessRecord();
  host.EndOperation(S_OK, kOpBuildGraph);
  ASSERT_EQ(S_OK, client.RequestDevice(L"Second Camera", kCameraGuid));
  EXPECT_FALSE(host.IsGraphHealthy());
  // While a request waits, every begin takes the state, even over a recorded failure.
  Play({{kEnd, kOpBuildGraph, kFailure, kOpBuildGraph, 0, 0, kFailure, kConnect | kDeviceChange},
        {kBegin, kOpRestartCapture, 0, kOpRestartCapture, 1, 0, kFailure, kConnect | kDeviceChange}});

  host.AckDeviceRequest(L"Other Camera", GUID_NULL);
  EXPECT_EQ(1u, Read().deviceChangePending);
  host.AckDeviceRequest(L"Other Camera", kCameraGuid);  // matched by GUID
  EXPECT_EQ(0u, Read().deviceChangePending);
  EXPECT_EQ(0u, Events() & kDeviceChange);
  ASSERT_EQ(S_OK, client.RequestDevice(L"Second Camera", GUID_NULL));
  host.AckDeviceRequest(L"Second Camera", GUID_NULL);  // matched by name
  EXPECT_EQ(0u, Read().deviceChangePending);

  // A client may leave the name unterminated.
  for (WCHAR& c : client.Record()->deviceName) c = L'n';
  WCHAR longer[kNameCapacity + 8];
  for (WCHAR& c : longer) c = L'#';
  host.GetDeviceRequest(longer, kNameCapacity + 8, nullptr);
  EXPECT_EQ(259u, wcslen(longer));
  EXPECT_EQ(S_OK, host.AckDeviceRequest(std::wstring(260, L'n').c_str(), GUID_NULL));
  EXPECT_EQ(0u, Read().deviceChangePending);  // nothing was pending; nothing matched wrongly
}

TEST(ObjectNames, ComposesBothFormsAndRefusesNamesThatDoNotFit) {
  WCHAR name[kNameCapacity], base[kNameCapacity];
  ASSERT_TRUE(ComposeObjectName(name, L"cam", kSuffixStatusRecord));
  EXPECT_STREQ(L"cam_NVFS_GRAPHERR_INFO", name);
  ASSERT_TRUE(ComposeRgCenterBase(base, L"cam"));
  ASSERT_TRUE(ComposeObjectName(name, base, kSuffixRgCenterRecord));
  EXPECT_STREQ(L"camLumx_RgCenter_smem", name);
  // 235 characters leave room for the longest suffix; 236 do not.
  EXPECT_TRUE(ComposeObjectName(name, std::wstring(235, L'a').c_str(), kSuffixConnectEvent));
  EXPECT_EQ(259u, wcslen(name));
  EXPECT_FALSE(ComposeObjectName(name, std::wstring(236, L'a').c_str(), kSuffixConnectEvent));
  EXPECT_STREQ(L"", name);
  EXPECT_FALSE(ComposeObjectName(name, nullptr, kSuffixConnectEvent));
}

using StatusLock = StatusFixture;

TEST_F(StatusLock, HeldPastTheTimeoutTheOperationDoesNothingAndOnceAbandonedItIsTakenAndFreed) {
  host.EndOperation(S_OK, kOpHostStartup);  // over a failure a begin would change nothing anyway
  TestProcess peer;
  ASSERT_TRUE(StartPeer(peer, instance, L"hold " + instance + L" status"));
  EXPECT_FALSE(host.IsGraphHealthy());  // only tries the lock
  EXPECT_EQ(S_OK, host.BeginOperation(kOpBuildGraph));
  EXPECT_EQ(kOpHostStartup, client.Record()->state);

  peer.Kill();
  EXPECT_EQ(S_OK, host.BeginOperation(kOpBuildGraph));
  EXPECT_EQ(kOpBuildGraph, client.Record()->state);
  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), TryMutexFromOtherThread(client.LockHandle()));
}

// A host that holds the instance but is not seen healthy (a failed graph, or only a record busy
// at the moment the client looks) gets a successor started beside it. The client asks it for no
// camera: the serving host would take the request as a switch and restart for it.
TEST(LiveInstance, AClientBesideAnUnhealthyHostStartsASuccessorButAsksForNoCamera) {
  const std::wstring instance = UniqueInstanceName(L"unhealthy");
  TestProcess serving;
  ASSERT_TRUE(StartPeer(serving, instance, L"serve " + instance + L" unhealthy"));
  CStatusChannelClient status;
  ASSERT_EQ(S_OK, status.Open(instance.c_str()));
  EXPECT_EQ(HostPresence::kUnhealthy, ProbeHostPresence(instance.c_str()));

  WCHAR hostPath[MAX_PATH];
  ASSERT_TRUE(HostPathBeside(nullptr, hostPath, MAX_PATH));
  const HostLaunchRequest request = {hostPath, instance.c_str(), L"Fontis Test Camera", L"", FALSE};
  LaunchOutcome outcome = LaunchOutcome::kHostServes;
  HANDLE started = nullptr;
  ASSERT_EQ(S_OK, LaunchHostIfNeeded(request, &outcome, &started));
  ScopedHandle successor(started);
  EXPECT_EQ(LaunchOutcome::kStarted, outcome);
  EXPECT_EQ(0u, status.Record()->deviceChangePending);
  EXPECT_EQ(L'\0', status.Record()->deviceName[0]);
  EXPECT_TRUE(WaitUntil([&] { return ProbeHostPresence(instance.c_str()) == HostPresence::kSuccessorWaiting; },
                        60000));
  ::TerminateProcess(successor.Get(), 0);
}
