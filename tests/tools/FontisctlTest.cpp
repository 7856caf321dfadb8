// fontisctl as people use it: exit codes of bad input, missing instances and failing devices, a
// snapshot of the ring, the virtual camera's settings, and raw frames of a test camera.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/BitmapSize.h"
#include "common/ScopedRegKey.h"
#include "filters/testcam/TestCameraProfiles.h"
#include "framering/CFrameRingWriter.h"
#include "support/CodedPicture.h"
#include "support/FontisctlRun.h"
#include "support/TempFiles.h"
#include "support/TestCamFaultRecord.h"
#include "support/TestCameraRegistration.h"

namespace {

// The test cameras, registered for the whole program.
[[maybe_unused]] ::testing::Environment* const g_cameras = ::testing::AddGlobalTestEnvironment(new TestCameraEnvironment);

constexpr DWORD kExitFailure = 1, kExitUsage = 2, kExitNoInstance = 3, kExitNoDevice = 3, kExitFormat = 4;

}  // namespace

TEST(Fontisctl, BadInputMissingInstancesAndFailingDevicesExitWithTheirCodesInsteadOfWaiting) {
  TestCamFaultRecord faults;
  ASSERT_TRUE(faults.IsValid());
  faults.RefuseSize(640, 480, E_ACCESSDENIED);
  faults.FailStarts(1000, HRESULT_FROM_WIN32(ERROR_NO_SYSTEM_RESOURCES));
  const std::wstring instance = UniqueInstanceName(L"ctl");
  const struct {
    std::wstring arguments;
    DWORD code;
    const char* says;
  } cases[] = {
      {L"", kExitUsage, "usage"},
      {L"status \"\"", kExitUsage, "usage"},
      {L"status x --follow 0", kExitUsage, "usage"},
      {L"frobnicate", kExitUsage, "usage"},
      {L"capture cam --size 640by480", kExitUsage, "usage"},
      {L"switch x cam {00000000-0000-0000-0000-000000000000} y", kExitUsage, "usage"},
      // The virtual camera cannot share itself; instance names name kernel objects.
      {L"vcam --guid {B00741E9-C763-40BC-8EE1-EFCF1BC99824}", kExitUsage, ""},
      {L"vcam --camera \"Fontis Virtual Camera\"", kExitUsage, ""},
      {L"vcam --instance a\\b", kExitUsage, ""},
      {L"vcam --instance", kExitUsage, ""},
      {L"status " + instance, kExitNoInstance, "has no status channel"},
      {L"snapshot " + instance + L" nothing.bmp", kExitNoInstance, ""},
      {L"capture \"Fontis Test Camera 9\"", kExitNoDevice, "no video input device has the FriendlyName"},
      // A size offered in another subtype only is not offered either; the offers are listed.
      {L"capture \"Fontis Test Camera\" --size 320x240 --subtype NV12", kExitFormat, "NV12 1920x1080"},
      {L"capture \"Fontis Test Camera Faulty\" --size 640x480 --subtype YUY2", kExitFormat,
       "refused the format YUY2 640x480: 0x80070005"},
      {L"capture \"Fontis Test Camera Faulty\" --timeout 20", kExitFailure, "failed to start: 0x800705AA"},
  };
  for (const auto& c : cases) {
    const CtlRun run = RunFontisctl(c.arguments);
    EXPECT_EQ(c.code, run.code) << testing::PrintToString(c.arguments);
    EXPECT_TRUE(run.Printed(c.says)) << run.output;
  }
  EXPECT_GE(faults.StartAttempts(), 1);
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
  BITMAPINFOHEADER info = {};
  memcpy(&info, &bmp[14], sizeof(info));
  EXPECT_EQ(32, info.biHeight) << "bottom-up rows";
  EXPECT_EQ(0, bmp[54]) << "the first row stored is the bottom one: black";
  EXPECT_EQ(255, bmp[54 + 64 * 3 * 31]) << "the last row stored is the top one: white";
}

TEST(Fontisctl, VcamStoresAndResets) {
  const wchar_t kSettingsKey[] = L"Software\\Fontis\\VirtualCamera";
  const auto vcam = [](const std::wstring& arguments) { return RunFontisctl(L"vcam " + arguments); };
  CtlRun run = vcam(L"--reset --instance Studio --camera \"USB Camera\" --guid {6bdd1fc6-810f-11d0-bec7-08002be2092f}");
  EXPECT_EQ(0u, run.code) << run.output;
  EXPECT_TRUE(run.Printed("camera GUID          {6BDD1FC6-810F-11D0-BEC7-08002BE2092F}  (set)")) << run.output;
  run = vcam(L"--reset");
  EXPECT_EQ(0u, run.code) << run.output;
  ScopedRegKey gone;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, ::RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, gone.Receive()));
}

TEST(Fontisctl, CaptureOfRawFramesKeepsEachFrameWhoseCodesNameTheCameraInOrder) {
  // "Fontis Test Camera" is also the FriendlyName of a camera listed later: the first one wins.
  const std::wstring path = TempFile(UniqueInstanceName(L"capture") + L".raw");
  const CtlRun run = RunFontisctl(L"capture \"Fontis Test Camera\" --size 320x240 --subtype RGB24 --frames 3 --out \"" +
                                  path + L"\"");
  const std::vector<BYTE> file = ReadAndDelete(path);
  ASSERT_EQ(0u, run.code) << run.output;
  // Every frame as it came, RGB24 bottom-up.
  const size_t frameBytes = BitmapImageSize(320, 240, 24);
  ASSERT_EQ(3 * frameBytes, file.size());
  uint16_t previous = 0;
  for (size_t i = 0; i < 3; ++i) {
    uint16_t code = 0;
    std::string mismatch;
    ASSERT_TRUE(ReadCheckedFrameCode(BottomUpRgb24(file, i * frameBytes, 320, 240), &code, &mismatch))
        << "frame " << i << ": " << mismatch;
    EXPECT_EQ(kTestCamStandard, FrameCodeCamera(code));
    if (i > 0) {
      EXPECT_EQ((FrameCodeCounter(previous) + 1) & kFrameCodeCounterMask, FrameCodeCounter(code)) << i;
    }
    previous = code;
  }
}
