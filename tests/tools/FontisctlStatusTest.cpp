// fontisctl as people use it: its output, its exit codes, and that looking creates nothing.
#include <gtest/gtest.h>

#include "support/FontisctlRun.h"
#include "ipc/CGraphErrInfo.h"
#include "ipc/CStatusChannelClient.h"
#include "support/TestCameraRegistration.h"
#include "support/TestProcess.h"

TEST(FontisctlStatus, MissingInstanceIsReportedAndNotCreated) {
  const std::wstring instance = UniqueInstanceName(L"ctl");
  const CtlRun run = RunFontisctl(L"status " + instance);
  EXPECT_EQ(3u, run.code);
  EXPECT_NE(std::string::npos, run.output.find("has no status channel")) << run.output;
  CStatusChannelClient view;
  EXPECT_TRUE(FAILED(view.Open(instance.c_str())));
}

TEST(FontisctlStatus, BadArgumentsExitWithUsage) {
  for (const wchar_t* arguments : {L"", L"status", L"status \"\"", L"status x --follow abc", L"status x --follow 0",
                                   L"status x y", L"frobnicate", L"launch x cam {guid} maybe", L"launch x cam",
                                   L"stop-hosts --timeout abc", L"stop-hosts --now", L"capture",
                                   L"capture cam --size 640by480", L"capture cam --frames 0",
                                   L"capture cam --subtype MJPG", L"switch x", L"switch x cam {x}", L"switch x \"\"",
                                   L"switch x cam {00000000-0000-0000-0000-000000000000} y"}) {
    const CtlRun run = RunFontisctl(arguments);
    EXPECT_EQ(2u, run.code) << "arguments: " << testing::PrintToString(std::wstring(arguments));
    EXPECT_NE(std::string::npos, run.output.find("usage")) << run.output;
  }
}

TEST(FontisctlStatus, PrintsTheRecordAndEventsAsTheHostLeftThem) {
  const std::wstring instance = UniqueInstanceName(L"ctl");
  CGraphErrInfo host;
  ASSERT_EQ(S_OK, host.Open(instance.c_str()));
  host.EndOperation(S_OK, kOpHostStartup);
  host.BeginOperation(kOpBuildGraph);
  host.EndOperation(S_OK, kOpBuildGraph);
  host.BeginOperation(kOpRunGraph);
  host.EndOperation(static_cast<HRESULT>(0x800705AA), kOpRunGraph);

  const CtlRun run = RunFontisctl(L"status " + instance);
  EXPECT_EQ(0u, run.code);
  EXPECT_NE(std::string::npos, run.output.find("state                9 (run graph)")) << run.output;
  EXPECT_NE(std::string::npos, run.output.find("0x800705AA (ERROR_NO_SYSTEM_RESOURCES)")) << run.output;
  EXPECT_NE(std::string::npos, run.output.find("connect event        set")) << run.output;
  EXPECT_NE(std::string::npos, run.output.find("run event            set")) << run.output;
  EXPECT_NE(std::string::npos, run.output.find("device-change event  reset")) << run.output;
  EXPECT_NE(std::string::npos, run.output.find("hostCondition        3")) << run.output;
}

TEST(FontisctlLaunch, StartsAHostOnlyWhenNoneServes) {
  const std::wstring instance = UniqueInstanceName(L"ctl");
  TestProcess serving;
  ASSERT_TRUE(StartPeer(serving, instance, L"serve " + instance + L" healthy"));
  CtlRun run = RunFontisctl(L"launch " + instance + L" \"Cam\" {0B1C2D3E-4F50-6172-8394-A5B6C7D8E9F0} FALSE");
  EXPECT_EQ(0u, run.code);
  EXPECT_NE(std::string::npos, run.output.find("nothing started")) << run.output;
  StopPeer(instance);
  EXPECT_EQ(0u, serving.Wait(10000));

  run = RunFontisctl(L"launch " + instance + L" \"\" {0B1C2D3E-4F50-6172-8394-A5B6C7D8E9F0} FALSE");
  EXPECT_EQ(0u, run.code);
  EXPECT_NE(std::string::npos, run.output.find("started a host")) << run.output;
}

TEST(FontisctlDevices, ListsCamerasAsTheHostFindsThem) {
  TestCameraRegistration cameras;
  ASSERT_EQ(S_OK, cameras.Register());
  CtlRun run = RunFontisctl(L"devices");
  EXPECT_EQ(0u, run.code);
  // The camera whose Description differs from its FriendlyName is shown by its Description.
  EXPECT_NE(std::string::npos, run.output.find("\"Fontis Second Camera\"")) << run.output;
  EXPECT_NE(std::string::npos, run.output.find("root#fontis_testcam#0002")) << run.output;
  ASSERT_EQ(S_OK, cameras.Unregister());
  run = RunFontisctl(L"devices");
  EXPECT_EQ(std::string::npos, run.output.find("Fontis")) << run.output;
}
