// End to end: two applications open "Fontis Virtual Camera", the first starts FontisHost.exe,
// the host runs at the larger size, a camera switch reaches both, and the host ends after them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "VcamTestSupport.h"
#include "framering/CFrameRingReader.h"
#include "ipc/CStatusChannelClient.h"
#include "ipc/LiveInstance.h"
#include "support/FilterEnvironment.h"
#include "support/FontisctlRun.h"
#include "support/TempFiles.h"

namespace {

constexpr DWORD kHostWaitMs = 60000;

// fontisctl's arguments for an application that opens the virtual camera by name in that format
// and saves `frames` frames, the last one as a BMP.
std::wstring CaptureVcam(LONG width, LONG height, const wchar_t* subtype, int frames, const std::wstring& bmp) {
  return L"capture \"" + std::wstring(kVcamFriendlyName) + L"\" --size " + std::to_wstring(width) + L"x" +
         std::to_wstring(height) + L" --subtype " + subtype + L" --frames " + std::to_wstring(frames) +
         L" --timeout 60 --out \"" + bmp + L"\"";
}

// The test camera whose coded picture, the right way up, the saved BMP holds; -1 for none.
int CameraOf(const std::vector<BYTE>& bmp, LONG width, LONG height) {
  uint16_t code = 0;
  std::string mismatch;
  const bool coded = ReadCheckedFrameCode(BottomUpRgb24(bmp, kBmpHeaderBytes, width, height), &code, &mismatch);
  return coded ? static_cast<int>(FrameCodeCamera(code)) : -1;
}

}  // namespace

TEST(VcamHost, TwoApplicationsShareAHostTheFirstStartsAtTheLargerSizeAndACameraSwitchReachesBoth) {
  ASSERT_TRUE(IsCaptureRendererRegistered());
  ScopedVcamInstance instance(L"vhost");
  const wchar_t* name = instance.Name().c_str();
  ASSERT_FALSE(IsInstanceFlagPresent(name));
  const std::wstring smallFile = TempFile(instance.Name() + L"_small.bmp");
  const std::wstring largeFile = TempFile(instance.Name() + L"_large.bmp");
  TestProcess small, large;
  ASSERT_TRUE(small.Start(L"fontisctl.exe", CaptureVcam(640, 480, L"RGB24", 300, smallFile), true));
  ASSERT_TRUE(large.Start(L"fontisctl.exe", CaptureVcam(1280, 720, L"NV12", 300, largeFile), true));

  // The host runs the camera at the larger size the two ask for.
  CStatusChannelClient status;
  ASSERT_TRUE(WaitUntil([&] { return SUCCEEDED(status.Open(name)); }, kHostWaitMs));
  ASSERT_TRUE(WaitUntil([&] { return status.Record()->state == kOpRunGraph && status.Record()->pending == 0; },
                        kHostWaitMs))
      << "the camera does not run";
  ASSERT_TRUE(IsInstanceFlagPresent(name)) << "no host was started";
  CFrameRingReader ring;
  ASSERT_TRUE(WaitUntil([&] { return SUCCEEDED(ring.Open(name)); }, kHostWaitMs));
  EXPECT_TRUE(WaitUntil(
      [&] {
        FrameRingFrame frame = {};
        return ring.PeekLatest(&frame) && frame.width == 1280 && frame.height == 720;
      },
      kHostWaitMs))
      << "the host does not run at 1280x720";

  // Another camera while both stream: their last pictures are its, converted and scaled to
  // their formats.
  const CtlRun run = RunFontisctl(L"switch " + instance.Name() + L" \"" +
                                  kTestCameraProfiles[kTestCamSecond].description + L"\"");
  EXPECT_EQ(0u, run.code) << run.output;
  EXPECT_EQ(0u, small.Wait(kHostWaitMs)) << small.Output();
  EXPECT_EQ(0u, large.Wait(kHostWaitMs)) << large.Output();
  EXPECT_EQ(static_cast<int>(kTestCamSecond), CameraOf(ReadAndDelete(smallFile), 640, 480));
  EXPECT_EQ(static_cast<int>(kTestCamSecond), CameraOf(ReadAndDelete(largeFile), 1280, 720));
  // The last one has left: the host ends by itself.
  EXPECT_TRUE(WaitUntil([&] { return !IsInstanceFlagPresent(name); }, kHostWaitMs)) << "the host did not end";
}
