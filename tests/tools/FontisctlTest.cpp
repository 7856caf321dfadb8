// fontisctl as people use it: exit codes of bad input, the status record, launch, a snapshot of
// the ring, and the virtual camera's settings stored, refused, ignored and reset.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/ScopedRegKey.h"
#include "framering/CFrameRingWriter.h"
#include "ipc/CGraphErrInfo.h"
#include "ipc/CStatusChannelClient.h"
#include "support/FontisctlRun.h"
#include "support/TempFiles.h"

constexpr DWORD kExitUsage = 2, kExitNoInstance = 3;

TEST(Fontisctl, BadArgumentsAndMissingInstancesExitWithTheirCodesAndCreateNothing) {
  for (const wchar_t* arguments : {L"", L"status", L"status \"\"", L"status x --follow abc", L"status x --follow 0",
                                   L"status x y", L"frobnicate", L"launch x cam {guid} maybe", L"launch x cam",
                                   L"stop-hosts --timeout abc", L"stop-hosts --now", L"capture",
                                   L"capture cam --size 640by480", L"capture cam --frames 0",
                                   L"capture cam --subtype MJPG", L"switch x", L"switch x cam {x}", L"switch x \"\"",
                                   L"switch x cam {00000000-0000-0000-0000-000000000000} y"}) {
    const CtlRun run = RunFontisctl(arguments);
    EXPECT_EQ(kExitUsage, run.code) << "arguments: " << testing::PrintToString(std::wstring(arguments));
    EXPECT_TRUE(run.Printed("usage")) << run.output;
  }
  const std::wstring instance = UniqueInstanceName(L"ctl");
  CtlRun run = RunFontisctl(L"status " + instance);
  EXPECT_EQ(kExitNoInstance, run.code);
  EXPECT_TRUE(run.Printed("has no status channel")) << run.output;
  EXPECT_EQ(kExitNoInstance, RunFontisctl(L"snapshot " + instance + L" nothing.bmp").code);
  CStatusChannelClient view;
  EXPECT_TRUE(FAILED(view.Open(instance.c_str())));
}

TEST(Fontisctl, StatusPrintsTheRecordAndEventsAsTheHostLeftThem) {
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
  for (const char* line : {"state                9 (run graph)", "0x800705AA (ERROR_NO_SYSTEM_RESOURCES)",
                           "connect event        set", "run event            set", "device-change event  reset",
                           "hostCondition        3"}) {
    EXPECT_TRUE(run.Printed(line)) << line << "\n" << run.output;
  }
}

TEST(Fontisctl, LaunchStartsAHostOnlyWhenNoneServes) {
  const std::wstring instance = UniqueInstanceName(L"ctl");
  TestProcess serving;
  ASSERT_TRUE(StartPeer(serving, instance, L"serve " + instance + L" healthy"));
  CtlRun run = RunFontisctl(L"launch " + instance + L" \"Cam\" {0B1C2D3E-4F50-6172-8394-A5B6C7D8E9F0} FALSE");
  EXPECT_EQ(0u, run.code);
  EXPECT_TRUE(run.Printed("nothing started")) << run.output;
  StopPeer(instance);
  EXPECT_EQ(0u, serving.Wait(10000));

  run = RunFontisctl(L"launch " + instance + L" \"\" {0B1C2D3E-4F50-6172-8394-A5B6C7D8E9F0} FALSE");
  EXPECT_EQ(0u, run.code);
  EXPECT_TRUE(run.Printed("started a host")) << run.output;
}

TEST(Fontisctl, SnapshotWritesABottomUpBmp) {
  // 64 x 32 NV12: the top half white, the bottom half black, neutral chroma.
  const std::wstring instance = UniqueInstanceName(L"rctl");
  CFrameRingWriter writer;
  std::vector<BYTE> pixels(64 * 32 * 3 / 2, 128);
  memset(pixels.data(), 235, 64 * 16);
  memset(pixels.data() + 64 * 16, 16, 64 * 16);
  FrameRingFrame frame = {};
  frame.width = 64;
  frame.height = 32;
  frame.subtype = kFourccNv12;
  frame.stride = 64;
  frame.bytes = static_cast<LONG>(pixels.size());
  frame.arrival = RingClockNow();
  ASSERT_EQ(S_OK, writer.Open(instance.c_str()));
  ASSERT_EQ(S_OK, writer.Reserve(frame.bytes));
  ASSERT_EQ(S_OK, writer.Publish(frame, pixels.data()));
  const std::wstring path = TempFile(instance + L".bmp");
  ASSERT_EQ(0u, RunFontisctl(L"snapshot " + instance + L" \"" + path + L"\"").code);
  const std::vector<BYTE> bmp = ReadAndDelete(path);
  ASSERT_EQ(54u + 64u * 3u * 32u, bmp.size());
  EXPECT_EQ('B', bmp[0]);
  EXPECT_EQ('M', bmp[1]);
  BITMAPINFOHEADER info = {};
  memcpy(&info, &bmp[14], sizeof(info));
  EXPECT_EQ(64, info.biWidth);
  EXPECT_EQ(32, info.biHeight) << "bottom-up rows";
  EXPECT_EQ(24, info.biBitCount);
  EXPECT_EQ(0, bmp[54]) << "the first row stored is the bottom one: black";
  EXPECT_EQ(255, bmp[54 + 64 * 3 * 31]) << "the last row stored is the top one: white";
}

TEST(Fontisctl, VcamStoresRefusesReportsIgnoredValuesAndResets) {
  const wchar_t kSettingsKey[] = L"Software\\Fontis\\VirtualCamera";
  const auto vcam = [](const std::wstring& arguments) { return RunFontisctl(L"vcam " + arguments); };
  CtlRun run = vcam(L"--reset --instance Studio --camera \"USB Camera\" --guid {6bdd1fc6-810f-11d0-bec7-08002be2092f}");
  EXPECT_EQ(0u, run.code) << run.output;
  for (const char* line : {"instance             \"Studio\"  (set)", "camera name          \"USB Camera\"  (set)",
                           "camera GUID          {6BDD1FC6-810F-11D0-BEC7-08002BE2092F}  (set)",
                           "a new host opens     \"USB Camera\""}) {
    EXPECT_TRUE(run.Printed(line)) << line << "\n" << run.output;
  }
  for (const wchar_t* refused : {L"--guid {B00741E9-C763-40BC-8EE1-EFCF1BC99824}", L"--camera \"Fontis Virtual Camera\"",
                                 L"--instance a\\b", L"--guid 42", L"--instance"}) {
    run = vcam(refused);
    EXPECT_EQ(kExitUsage, run.code) << testing::PrintToString(std::wstring(refused)) << run.output;
  }

  // A value somebody else wrote that the virtual camera cannot use is shown as ignored.
  {
    ScopedRegKey key;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_SET_VALUE, key.Receive()));
    const DWORD number = 7;
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(key.Get(), L"Instance", 0, REG_DWORD,
                                              reinterpret_cast<const BYTE*>(&number), sizeof(number)));
  }
  run = vcam(L"--camera \"\"");
  EXPECT_EQ(0u, run.code) << run.output;
  EXPECT_TRUE(run.Printed("instance             \"FontisVirtualCamera\"  (default: the stored value is ignored, it is "
                       "not a string (REG_SZ))"))
      << run.output;
  EXPECT_TRUE(run.Printed("camera name          (none)  (default)")) << run.output;

  run = vcam(L"--reset");
  EXPECT_EQ(0u, run.code) << run.output;
  EXPECT_TRUE(run.Printed("instance             \"FontisVirtualCamera\"  (default)")) << run.output;
  EXPECT_TRUE(run.Printed("camera GUID          (none)  (default)")) << run.output;
  ScopedRegKey gone;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, ::RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, gone.Receive()));
}
