// The host program started as a client starts it: what ends it at once, with which exit code and
// what it leaves behind, and which waiting camera request it takes over.
#include <gtest/gtest.h>

#include "ipc/CGraphErrInfo.h"
#include "ipc/CStatusChannelClient.h"
#include "HostTest.h"
#include "support/HostRig.h"
#include "support/TestProcess.h"

using HostStartup = HostTest;

namespace {

const wchar_t kGuid[] = L"{0B1C2D3E-4F50-6172-8394-A5B6C7D8E9F0}";
const GUID kCommandLineGuid = {0x0B1C2D3E, 0x4F50, 0x6172, {0x83, 0x94, 0xA5, 0xB6, 0xC7, 0xD8, 0xE9, 0xF0}};
const GUID kOtherGuid = {0x7E57C0DE, 0x1111, 0x2222, {0x33, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x66}};

DWORD RunHost(const std::wstring& arguments) {
  TestProcess host;
  if (!host.Start(L"FontisHost.exe", arguments)) return 0xDEADBEEF;
  return host.Wait(kHostWaitMs);
}

std::wstring Arguments(const std::wstring& instance, const std::wstring& camera) {
  return L"\"" + instance + L"\" \"" + camera + L"\" \"" + kGuid + L"\" \"FALSE\" \"0\"";
}

}  // namespace

TEST_F(HostStartup, BadArgumentsEndWithZeroBeforeAnyNamedObject) {
  const std::wstring instance = UniqueInstanceName(L"host");
  EXPECT_EQ(0u, RunHost(L"\"" + instance + L"\" \"Cam\" \"" + kGuid + L"\" \"FALSE\""));  // five entries
  EXPECT_EQ(0u, RunHost(L"\"\" \"Cam\" \"" + std::wstring(kGuid) + L"\" \"FALSE\" \"0\""));
  CStatusChannelClient view;
  EXPECT_TRUE(FAILED(view.Open(instance.c_str())));
}

TEST_F(HostStartup, InstanceTooLongForItsObjectsEndsWithUnexpected) {
  EXPECT_EQ(0x8000FFFFu, RunHost(Arguments(std::wstring(240, L'h'), L"Cam")));
}

TEST_F(HostStartup, UnknownCameraShutsTheInstanceDownInOrder) {
  HostRig rig(L"unknown");
  ASSERT_TRUE(rig.IsOpen());
  // A record that is not fresh, so that the reset shows.
  CGraphErrInfo status;
  ASSERT_EQ(S_OK, status.Open(rig.Instance().c_str()));
  status.EndOperation(S_OK, kOpHostStartup);
  status.EndOperation(S_OK, kOpBuildGraph);

  ASSERT_TRUE(rig.Start(L"No Such Camera", GUID_NULL, false));
  EXPECT_EQ(0u, rig.WaitExit());
  const GraphErrInfo record = rig.Record();
  EXPECT_EQ(kOpNone, record.state);
  EXPECT_EQ(static_cast<int32_t>(0x8000FFFF), record.result);
  EXPECT_FALSE(rig.HostHoldsInstance());
}

TEST_F(HostStartup, SecondHostEndsAtOnceWhileAHealthyHostServes) {
  const std::wstring instance = UniqueInstanceName(L"host");
  TestProcess first;
  ASSERT_TRUE(StartPeer(first, instance, L"serve " + instance + L" healthy"));
  // A host that waited for the serving one would still run when RunHost gives up.
  EXPECT_EQ(0u, RunHost(Arguments(instance, L"Fontis Test Camera")));
  CStatusChannelClient view;
  ASSERT_EQ(S_OK, view.Open(instance.c_str()));
  EXPECT_EQ(kOpBuildGraph, view.Record()->state);  // the serving host's record is untouched
  EXPECT_EQ(S_OK, view.Record()->result);
  StopPeer(instance);
  EXPECT_EQ(0u, first.Wait(10000));
}

// Each host below finds a client's request waiting, opens its camera, publishes the camera it
// opened in the request channel and, hidden and without clients, ends by itself.
TEST_F(HostStartup, AWaitingRequestIsTakenOverOnlyWhenItNamesAnotherCamera) {
  struct Case {
    const wchar_t* requestedName;
    GUID requestedGuid;
    const wchar_t* publishedName;
    GUID publishedGuid;
  };
  const Case cases[] = {
      // The same name without a GUID: the command line's camera and GUID stay.
      {L"Fontis Test Camera", GUID_NULL, L"Fontis Test Camera", kCommandLineGuid},
      // The same name with another GUID: taken over.
      {L"Fontis Test Camera", kOtherGuid, L"Fontis Test Camera", kOtherGuid},
      // Another name, even an empty one, with the second camera's GUID: found by that GUID.
      {L"", kTestCameraProfiles[kTestCamSecond].clsid, L"", kTestCameraProfiles[kTestCamSecond].clsid},
  };
  for (const Case& c : cases) {
    HostRig rig(L"takeover");
    ASSERT_TRUE(rig.IsOpen());
    ASSERT_EQ(S_OK, rig.Status().RequestDevice(c.requestedName, c.requestedGuid));
    ASSERT_TRUE(rig.StartWithArguments(Arguments(rig.Instance(), L"Fontis Test Camera")));
    EXPECT_EQ(0u, rig.WaitExit()) << testing::PrintToString(std::wstring(c.requestedName));
    const RgCenterBlock channel = rig.Channel();
    EXPECT_STREQ(c.publishedName, channel.deviceName);
    EXPECT_EQ(GuidString(c.publishedGuid), std::wstring(channel.deviceGuidText));
    // It served (released its graph when no client came) and acknowledged the request.
    const GraphErrInfo record = rig.Record();
    EXPECT_EQ(kOpReleaseGraph, record.state);
    EXPECT_EQ(S_OK, record.result);
    EXPECT_EQ(0u, record.deviceChangePending);
  }
}
