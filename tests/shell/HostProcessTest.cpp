// The host program itself, started as a client starts it: its exit codes and what it leaves
// in the instance's records.
#include <gtest/gtest.h>

#include "ipc/CGraphErrInfo.h"
#include "ipc/CStatusChannelClient.h"
#include "ipc/NamedObjects.h"
#include "ipc/ObjectNames.h"
#include "support/TestProcess.h"

namespace {

const wchar_t kGuid[] = L"{0B1C2D3E-4F50-6172-8394-A5B6C7D8E9F0}";

DWORD RunHost(const std::wstring& arguments) {
  TestProcess host;
  if (!host.Start(L"FontisHost.exe", arguments)) return 0xDEADBEEF;
  return host.Wait(30000);
}

}  // namespace

TEST(HostProcess, BadArgumentsEndWithZeroBeforeAnyNamedObject) {
  const std::wstring instance = UniqueInstanceName(L"host");
  EXPECT_EQ(0u, RunHost(L"\"" + instance + L"\" \"Cam\" \"" + kGuid + L"\" \"FALSE\""));  // five entries
  EXPECT_EQ(0u, RunHost(L"\"\" \"Cam\" \"" + std::wstring(kGuid) + L"\" \"FALSE\" \"0\""));
  CStatusChannelClient view;
  EXPECT_TRUE(FAILED(view.Open(instance.c_str())));
}

TEST(HostProcess, InstanceTooLongForItsObjectsEndsWithUnexpected) {
  const std::wstring instance(240, L'h');
  EXPECT_EQ(0x8000FFFFu, RunHost(L"\"" + instance + L"\" \"Cam\" \"" + kGuid + L"\" \"FALSE\" \"0\""));
}

TEST(HostProcess, HostThatCannotServeResetsTheRecordAndFreesTheInstance) {
  const std::wstring instance = UniqueInstanceName(L"host");
  CGraphErrInfo status;  // keeps the record alive after the host ends
  ASSERT_EQ(S_OK, status.Open(instance.c_str()));
  status.EndOperation(S_OK, kOpHostStartup);
  status.EndOperation(S_OK, kOpBuildGraph);

  EXPECT_EQ(0u, RunHost(L"\"" + instance + L"\" \"No Such Camera\" \"" + kGuid + L"\" \"FALSE\" \"0\""));
  CStatusChannelClient view;
  ASSERT_EQ(S_OK, view.Open(instance.c_str()));
  EXPECT_EQ(kOpNone, view.Record()->state);
  EXPECT_EQ(static_cast<int32_t>(0x8000FFFF), view.Record()->result);
  WCHAR flagName[kNameCapacity];
  ComposeObjectName(flagName, instance.c_str(), kSuffixLiveFlag);
  ScopedHandle flag(::OpenMutexW(SYNCHRONIZE, FALSE, flagName));
  EXPECT_FALSE(flag.IsValid());
}

TEST(HostProcess, SecondHostEndsAtOnceWhileAHealthyHostServes) {
  const std::wstring instance = UniqueInstanceName(L"host");
  TestProcess first;
  ASSERT_TRUE(StartPeer(first, instance, L"serve " + instance + L" healthy"));
  // A host that waited for the serving one would still run when RunHost gives up.
  EXPECT_EQ(0u, RunHost(L"\"" + instance + L"\" \"Cam\" \"" + kGuid + L"\" \"FALSE\" \"0\""));
  CStatusChannelClient view;
  ASSERT_EQ(S_OK, view.Open(instance.c_str()));
  EXPECT_EQ(kOpBuildGraph, view.Record()->state);  // the serving host's record is untouched
  EXPECT_EQ(S_OK, view.Record()->result);
  StopPeer(instance);
  EXPECT_EQ(0u, first.Wait(10000));
}
