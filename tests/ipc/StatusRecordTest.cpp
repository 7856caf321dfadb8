// The status record's state machine as clients observe it: state, pending, released, result,
// host condition and the three events after every step.
#include <gtest/gtest.h>

#include <cstddef>

#include "support/StatusFixture.h"

namespace {

constexpr unsigned kConnect = 1, kRun = 2, kDeviceChange = 4;
constexpr HRESULT kFailure = E_FAIL;
const GUID kCameraGuid = {0x12345678, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};

}  // namespace

class StatusRecord : public StatusFixture {
 protected:
  // A record that holds a success, as after the host's start-up.
  void MakeSuccessRecord() {
    host.Reset();
    host.EndOperation(S_OK, kOpHostStartup);
    ASSERT_EQ(S_OK, Read().result);
  }
  void Operation(int32_t op, HRESULT outcome = S_OK) {
    host.BeginOperation(op);
    host.EndOperation(outcome, op);
  }
};

TEST_F(StatusRecord, FreshRecordHostConditionAndResetWhichKeepsOnlyTheGuid) {
  GraphErrInfo fresh = Read();
  EXPECT_EQ(kOpNone, fresh.state);
  EXPECT_EQ(3, fresh.hostCondition);
  EXPECT_EQ(E_UNEXPECTED, fresh.result);
  EXPECT_EQ(0u, fresh.pending | fresh.released | fresh.deviceChangePending);
  EXPECT_EQ(0u, Events());
  EXPECT_FALSE(host.IsGraphHealthy());
  host.SetHostCondition(1);  // changes only over a success
  EXPECT_EQ(3, Read().hostCondition);

  MakeSuccessRecord();
  host.SetHostCondition(2);
  EXPECT_EQ(2, Read().hostCondition);
  Operation(kOpBuildGraph);
  Operation(kOpRunGraph);
  ASSERT_EQ(S_OK, client.RequestDevice(L"Cam", kCameraGuid));
  host.BeginOperation(kOpReleaseGraph);
  host.Reset();
  const GraphErrInfo reset = Read();
  EXPECT_EQ(0, memcmp(&fresh, &reset, offsetof(GraphErrInfo, deviceName)));  // state .. result
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
      host.BeginOperation(c.op);
      GraphErrInfo record = Read();
      EXPECT_EQ(c.op, record.state);
      EXPECT_EQ(1u, record.pending);
      EXPECT_EQ(c.released, record.released);
      EXPECT_EQ(0u, Events());

      host.EndOperation(outcome, c.op);
      record = Read();
      EXPECT_EQ(c.op, record.state);
      EXPECT_EQ(0u, record.pending);
      EXPECT_EQ(outcome, record.result);
      EXPECT_EQ(c.released, record.released);
      EXPECT_EQ(c.events, Events());
      EXPECT_EQ(outcome == S_OK && (c.op == kOpBuildGraph || c.op == kOpRunGraph), !!host.IsGraphHealthy());
    }
  }
}

TEST_F(StatusRecord, StoppingABuiltGraphReportsBuilt) {
  MakeSuccessRecord();
  Operation(kOpBuildGraph);
  Operation(kOpRunGraph);
  ASSERT_EQ(kConnect | kRun, Events());

  host.BeginOperation(kOpStopGraph);
  GraphErrInfo record = Read();
  EXPECT_EQ(kOpBuildGraph, record.state);
  EXPECT_EQ(0u, record.pending);
  EXPECT_EQ(kConnect, Events());

  host.EndOperation(kFailure, kOpStopGraph);  // even a failed stop leaves the result alone
  record = Read();
  EXPECT_EQ(kOpBuildGraph, record.state);
  EXPECT_EQ(S_OK, record.result);
  EXPECT_EQ(kConnect, Events());
  EXPECT_TRUE(host.IsGraphHealthy());
}

TEST_F(StatusRecord, LowerReportsAreIgnoredAndAFailureSticks) {
  MakeSuccessRecord();
  Operation(kOpBuildGraph);
  host.EndOperation(S_OK, kOpSetCaptureFormat);  // a lower success without a begin
  EXPECT_EQ(kOpBuildGraph, Read().state);
  EXPECT_EQ(kConnect, Events());

  Operation(kOpBuildGraph, kFailure);
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

TEST_F(StatusRecord, CameraRequestRoundTrip) {
  MakeSuccessRecord();
  Operation(kOpBuildGraph);
  ASSERT_EQ(S_OK, client.RequestDevice(L"Second Camera", kCameraGuid));
  EXPECT_FALSE(host.IsGraphHealthy());

  WCHAR name[kNameCapacity];
  GUID guid = GUID_NULL;
  EXPECT_TRUE(host.GetDeviceRequest(name, kNameCapacity, &guid));
  EXPECT_STREQ(L"Second Camera", name);
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

TEST_F(StatusRecord, RequestNameIsCutToTheRecordAndToTheBuffer) {
  GraphErrInfo* record = client.Record();
  for (WCHAR& c : record->deviceName) c = L'n';  // unterminated
  WCHAR name[kNameCapacity + 8];
  for (WCHAR& c : name) c = L'#';
  host.GetDeviceRequest(name, kNameCapacity + 8, nullptr);
  EXPECT_EQ(259u, wcslen(name));
  WCHAR tiny[2] = {L'x', L'#'};
  host.GetDeviceRequest(tiny, 1, nullptr);
  EXPECT_EQ(L'\0', tiny[0]);
  EXPECT_EQ(L'#', tiny[1]);
  EXPECT_EQ(S_OK, host.AckDeviceRequest(std::wstring(260, L'n').c_str(), GUID_NULL));
  EXPECT_EQ(0u, record->deviceChangePending);  // nothing was pending; nothing matched wrongly
}
