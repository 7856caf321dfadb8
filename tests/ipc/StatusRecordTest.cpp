// The status record's state machine as clients observe it: state, pending, released, result,
// host condition and the three events after every step.
#include <gtest/gtest.h>

#include <cstddef>

#include "support/StatusFixture.h"

namespace {

constexpr unsigned kConnect = 1, kRun = 2, kDeviceChange = 4;
constexpr HRESULT kFailure = E_FAIL;
const GUID kCameraGuid = {0x12345678, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};

struct PairCase {
  int32_t op;
  // after BeginOperation
  int32_t beginState;
  uint32_t beginPending;
  uint32_t beginReleased;
  unsigned beginEvents;
  // after EndOperation with a success, then (in a fresh run) with a failure
  unsigned endEvents;
  unsigned failEvents;
};

}  // namespace

class StatusRecord : public StatusFixture {
 protected:
  // A record that holds a success, as after the host's start-up.
  void MakeSuccessRecord() {
    host.Reset();
    host.EndOperation(S_OK, kOpHostStartup);
    ASSERT_EQ(S_OK, Read().result);
  }
  void Build() {
    host.BeginOperation(kOpBuildGraph);
    host.EndOperation(S_OK, kOpBuildGraph);
  }
  void BuildAndRun() {
    Build();
    host.BeginOperation(kOpRunGraph);
    host.EndOperation(S_OK, kOpRunGraph);
  }
};

TEST_F(StatusRecord, LayoutMatchesTheClientsFormat) {
  static_assert(sizeof(GraphErrInfo) == 560, "size");
  GraphErrInfo* record = client.Record();
  auto* bytes = reinterpret_cast<unsigned char*>(record);
  // Writes through the host object land at the byte positions clients read.
  host.EndOperation(static_cast<HRESULT>(0x80070057), kOpSetCaptureFormat);
  EXPECT_EQ(7, *reinterpret_cast<int32_t*>(bytes + 0));
  EXPECT_EQ(3, *reinterpret_cast<int32_t*>(bytes + 4));
  EXPECT_EQ(static_cast<int32_t>(0x80070057), *reinterpret_cast<int32_t*>(bytes + 16));
  ASSERT_EQ(S_OK, client.RequestDevice(L"Cam", kCameraGuid));
  EXPECT_EQ(L'C', *reinterpret_cast<WCHAR*>(bytes + 20));
  EXPECT_EQ(0, memcmp(bytes + 540, &kCameraGuid, 16));
  EXPECT_EQ(1u, *reinterpret_cast<uint32_t*>(bytes + 556));
  host.BeginOperation(kOpReleaseGraph);
  EXPECT_EQ(1u, *reinterpret_cast<uint32_t*>(bytes + 12));
  EXPECT_EQ(1u, *reinterpret_cast<uint32_t*>(bytes + 8));
}

TEST_F(StatusRecord, FreshRecord) {
  const GraphErrInfo record = Read();
  EXPECT_EQ(0, record.state);
  EXPECT_EQ(3, record.hostCondition);
  EXPECT_EQ(static_cast<int32_t>(0x8000FFFF), record.result);
  EXPECT_EQ(0u, record.pending);
  EXPECT_EQ(0u, record.released);
  EXPECT_EQ(0u, record.deviceChangePending);
  EXPECT_EQ(0u, Events());
  EXPECT_FALSE(host.IsGraphHealthy());
}

TEST_F(StatusRecord, OperationPairsOnASuccessRecord) {
  const PairCase cases[] = {
      // op                 begin: state pending released events   end ok   end failed
      {kOpStopGraph, kOpStopGraph, 1, 0, 0, 0, 0},
      {kOpDestroyGraph, kOpDestroyGraph, 1, 0, 0, 0, 0},
      {kOpReleaseGraph, kOpReleaseGraph, 1, 1, 0, 0, 0},
      {kOpHostStartup, kOpHostStartup, 1, 0, 0, 0, 0},
      {kOpRestartCapture, kOpRestartCapture, 1, 0, 0, 0, 0},
      {kOpSetCaptureFormat, kOpSetCaptureFormat, 1, 0, 0, 0, 0},
      {kOpBuildGraph, kOpBuildGraph, 1, 0, 0, kConnect, kConnect},
      {kOpRunGraph, kOpRunGraph, 1, 0, 0, kConnect | kRun, kConnect | kRun},
  };
  for (const PairCase& c : cases) {
    for (const HRESULT outcome : {S_OK, kFailure}) {
      SCOPED_TRACE(testing::Message() << "operation " << c.op << " outcome " << std::hex << outcome);
      MakeSuccessRecord();
      host.BeginOperation(c.op);
      GraphErrInfo record = Read();
      EXPECT_EQ(c.beginState, record.state);
      EXPECT_EQ(c.beginPending, record.pending);
      EXPECT_EQ(c.beginReleased, record.released);
      EXPECT_EQ(c.beginEvents, Events());

      host.EndOperation(outcome, c.op);
      record = Read();
      EXPECT_EQ(c.op, record.state);
      EXPECT_EQ(0u, record.pending);
      EXPECT_EQ(outcome, record.result);
      EXPECT_EQ(c.beginReleased, record.released);
      EXPECT_EQ(outcome == S_OK ? c.endEvents : c.failEvents, Events());
      EXPECT_EQ(outcome == S_OK && (c.op == kOpBuildGraph || c.op == kOpRunGraph), !!host.IsGraphHealthy());
    }
  }
}

TEST_F(StatusRecord, StoppingABuiltGraphReportsBuilt) {
  MakeSuccessRecord();
  BuildAndRun();
  ASSERT_EQ(kConnect | kRun, Events());

  host.BeginOperation(kOpStopGraph);
  GraphErrInfo record = Read();
  EXPECT_EQ(kOpBuildGraph, record.state);
  EXPECT_EQ(0u, record.pending);
  EXPECT_EQ(kConnect, Events());

  // Even a failed stop leaves the recorded result alone.
  host.EndOperation(kFailure, kOpStopGraph);
  record = Read();
  EXPECT_EQ(kOpBuildGraph, record.state);
  EXPECT_EQ(S_OK, record.result);
  EXPECT_EQ(kConnect, Events());
  EXPECT_TRUE(host.IsGraphHealthy());
}

TEST_F(StatusRecord, LowerSuccessWithoutBeginIsNotRecorded) {
  MakeSuccessRecord();
  Build();
  host.EndOperation(S_OK, kOpSetCaptureFormat);
  EXPECT_EQ(kOpBuildGraph, Read().state);
  EXPECT_EQ(kConnect, Events());
}

TEST_F(StatusRecord, RecordedFailureStaysUntilAHigherReportOrReset) {
  MakeSuccessRecord();
  host.BeginOperation(kOpBuildGraph);
  host.EndOperation(kFailure, kOpBuildGraph);
  ASSERT_EQ(kConnect, Events());

  host.BeginOperation(kOpReleaseGraph);
  GraphErrInfo record = Read();
  EXPECT_EQ(kOpBuildGraph, record.state);  // begin does not lower the state over a failure
  EXPECT_EQ(1u, record.released);
  EXPECT_EQ(0u, Events());

  host.EndOperation(S_OK, kOpReleaseGraph);  // 3 < 8: a lower success is not recorded
  record = Read();
  EXPECT_EQ(kOpBuildGraph, record.state);
  EXPECT_EQ(kFailure, record.result);

  host.BeginOperation(kOpSetCaptureFormat);
  EXPECT_EQ(0u, Read().released);  // any other begin clears it

  host.EndOperation(E_OUTOFMEMORY, kOpDestroyGraph);  // a later failure of a nonzero op is recorded
  record = Read();
  EXPECT_EQ(kOpDestroyGraph, record.state);
  EXPECT_EQ(E_OUTOFMEMORY, record.result);

  host.EndOperation(kFailure, kOpNone);  // op 0 lower than the state over a failure: not recorded
  EXPECT_EQ(E_OUTOFMEMORY, Read().result);

  host.EndOperation(S_OK, kOpRunGraph);  // op 9 is always recorded
  record = Read();
  EXPECT_EQ(kOpRunGraph, record.state);
  EXPECT_EQ(S_OK, record.result);
  EXPECT_EQ(kConnect | kRun, Events());
}

TEST_F(StatusRecord, HostConditionChangesOnlyOverASuccess) {
  host.SetHostCondition(1);  // fresh record: result is E_UNEXPECTED
  EXPECT_EQ(3, Read().hostCondition);
  MakeSuccessRecord();
  host.SetHostCondition(2);
  EXPECT_EQ(2, Read().hostCondition);
  host.Reset();
  EXPECT_EQ(3, Read().hostCondition);
}

TEST_F(StatusRecord, CameraRequestRoundTrip) {
  MakeSuccessRecord();
  Build();
  ASSERT_EQ(S_OK, client.RequestDevice(L"Second Camera", kCameraGuid));
  EXPECT_FALSE(host.IsGraphHealthy());

  WCHAR name[kNameCapacity];
  GUID guid = GUID_NULL;
  EXPECT_TRUE(host.GetDeviceRequest(name, kNameCapacity, &guid));
  EXPECT_STREQ(L"Second Camera", name);
  EXPECT_TRUE(IsEqualGUID(kCameraGuid, guid));

  WCHAR tiny[1] = {L'x'};
  guid = GUID_NULL;
  EXPECT_TRUE(host.GetDeviceRequest(tiny, 1, &guid));
  EXPECT_EQ(L'\0', tiny[0]);
  EXPECT_TRUE(IsEqualGUID(kCameraGuid, guid));

  // While a request waits, every begin takes the state, even over a recorded failure.
  host.EndOperation(kFailure, kOpBuildGraph);
  host.BeginOperation(kOpRestartCapture);
  GraphErrInfo record = Read();
  EXPECT_EQ(kOpRestartCapture, record.state);
  EXPECT_EQ(1u, record.pending);

  host.AckDeviceRequest(L"Other Camera", GUID_NULL);
  EXPECT_EQ(1u, Read().deviceChangePending);
  EXPECT_EQ(kDeviceChange, Events() & kDeviceChange);

  host.AckDeviceRequest(L"Other Camera", kCameraGuid);  // matched by GUID
  EXPECT_EQ(0u, Read().deviceChangePending);
  EXPECT_EQ(0u, Events() & kDeviceChange);
  EXPECT_FALSE(host.GetDeviceRequest(name, kNameCapacity, &guid));
  EXPECT_STREQ(L"Second Camera", name);  // copied even when no request is signalled

  ASSERT_EQ(S_OK, client.RequestDevice(L"Second Camera", GUID_NULL));
  host.AckDeviceRequest(L"Second Camera", GUID_NULL);  // matched by name
  EXPECT_EQ(0u, Read().deviceChangePending);
}

TEST_F(StatusRecord, UnterminatedRequestNameIsCutNotOverrun) {
  GraphErrInfo* record = client.Record();
  for (size_t i = 0; i < kNameCapacity; ++i) record->deviceName[i] = L'n';
  WCHAR name[kNameCapacity + 8];
  for (WCHAR& c : name) c = L'#';
  host.GetDeviceRequest(name, kNameCapacity + 8, nullptr);
  EXPECT_EQ(259u, wcslen(name));
  EXPECT_EQ(S_OK, host.AckDeviceRequest(std::wstring(260, L'n').c_str(), GUID_NULL));
  EXPECT_EQ(0u, record->deviceChangePending);  // nothing was pending; nothing matched wrongly
}

TEST_F(StatusRecord, ResetReturnsToFreshButKeepsTheGuid) {
  MakeSuccessRecord();
  BuildAndRun();
  ASSERT_EQ(S_OK, client.RequestDevice(L"Cam", kCameraGuid));
  host.BeginOperation(kOpReleaseGraph);
  host.Reset();
  const GraphErrInfo record = Read();
  EXPECT_EQ(0, record.state);
  EXPECT_EQ(static_cast<int32_t>(0x8000FFFF), record.result);
  EXPECT_EQ(3, record.hostCondition);
  EXPECT_EQ(0u, record.pending);
  EXPECT_EQ(0u, record.released);
  EXPECT_EQ(0u, record.deviceChangePending);
  EXPECT_EQ(L'\0', record.deviceName[0]);
  EXPECT_TRUE(IsEqualGUID(kCameraGuid, record.deviceGuid));
  EXPECT_EQ(0u, Events() & (kConnect | kRun));
}

TEST_F(StatusRecord, ClosedChannelRefusesEverything) {
  CGraphErrInfo closed;
  WCHAR name[8];
  GUID guid;
  EXPECT_EQ(E_UNEXPECTED, closed.BeginOperation(kOpBuildGraph));
  EXPECT_EQ(E_UNEXPECTED, closed.EndOperation(S_OK, kOpBuildGraph));
  EXPECT_EQ(E_UNEXPECTED, closed.SetHostCondition(1));
  EXPECT_EQ(E_UNEXPECTED, closed.AckDeviceRequest(L"x", GUID_NULL));
  EXPECT_EQ(S_OK, closed.Reset());
  EXPECT_FALSE(closed.GetDeviceRequest(name, 8, &guid));
  EXPECT_FALSE(closed.IsGraphHealthy());
  EXPECT_EQ(E_UNEXPECTED, host.AckDeviceRequest(nullptr, GUID_NULL));
  EXPECT_FALSE(host.GetDeviceRequest(nullptr, 8, &guid));
}

TEST_F(StatusRecord, OpenSameNameIsANoOpAnotherNameRebinds) {
  MakeSuccessRecord();
  EXPECT_EQ(S_OK, host.Open(instance.c_str()));
  Build();
  EXPECT_EQ(kOpBuildGraph, Read().state);

  const std::wstring other = UniqueInstanceName(L"status_other");
  ASSERT_EQ(S_OK, host.Open(other.c_str()));
  host.EndOperation(S_OK, kOpRunGraph);
  EXPECT_EQ(kOpBuildGraph, Read().state);  // the first instance's record is untouched
  CStatusChannelClient otherClient;
  ASSERT_EQ(S_OK, otherClient.Open(other.c_str()));
  EXPECT_EQ(kOpRunGraph, otherClient.Record()->state);
}

TEST_F(StatusRecord, InstanceNameTooLongForItsObjectsFailsToOpen) {
  CGraphErrInfo channel;
  EXPECT_EQ(E_UNEXPECTED, channel.Open(std::wstring(237, L'z').c_str()));
  EXPECT_FALSE(channel.IsOpen());
  EXPECT_EQ(E_UNEXPECTED, channel.BeginOperation(kOpBuildGraph));
  EXPECT_EQ(E_UNEXPECTED, channel.Open(nullptr));
}
