// End to end with real processes: applications (fontisctl capture) open "Fontis Virtual
// Camera", whose filter starts FontisHost.exe for the test camera; the host runs at the largest
// size asked for, a camera switch reaches two streaming applications, and the host ends after
// the last one; an application killed while streaming leaves a slot the next client frees.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "VcamTestSupport.h"
#include "framering/CFrameRingReader.h"
#include "ipc/CStatusChannelClient.h"
#include "ipc/LiveInstance.h"
#include "ipc/RgCenterSlots.h"
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
  const SourceFrame picture = BottomUpRgb24(bmp, kBmpHeaderBytes, width, height);
  const bool coded = ReadFrameCode(picture, &code, &mismatch) && CheckBarsAndBottom(picture, &mismatch);
  return coded ? static_cast<int>(FrameCodeCamera(code)) : -1;
}

bool HostHolds(const std::wstring& instance) { return IsInstanceFlagPresent(instance.c_str()); }

// Applications and the host they start, for one instance of the test's own.
class VcamHost : public ::testing::Test {
 protected:
  VcamHost() : instance(L"vhost") {}
  void SetUp() override { ASSERT_TRUE(IsCaptureRendererRegistered()); }
  void TearDown() override {
    // Whatever a test left running, the host ends once no client is left.
    EXPECT_TRUE(WaitUntil([&] { return !HostHolds(instance.Name()); }, kHostWaitMs)) << "the host did not end";
  }
  // The status record once a host has it, read as a client.
  bool OpenStatus() {
    return WaitUntil([&] { return SUCCEEDED(status.Open(instance.Name().c_str())); }, kHostWaitMs);
  }
  bool WaitState(int32_t state) {
    return WaitUntil([&] { return status.Record()->state == state && status.Record()->pending == 0; }, kHostWaitMs);
  }
  std::wstring File(const wchar_t* name) { return TempFile(instance.Name() + name); }

  ScopedVcamInstance instance;
  CStatusChannelClient status;
};

}  // namespace

TEST_F(VcamHost, TwoApplicationsShareAHostTheFirstStartsAtTheLargerSizeAndACameraSwitchReachesBoth) {
  ASSERT_FALSE(HostHolds(instance.Name()));
  const std::wstring smallFile = File(L"_small.bmp"), largeFile = File(L"_large.bmp");
  TestProcess small, large;
  ASSERT_TRUE(small.Start(L"fontisctl.exe", CaptureVcam(640, 480, L"YUY2", 300, smallFile), true));
  ASSERT_TRUE(large.Start(L"fontisctl.exe", CaptureVcam(1280, 720, L"NV12", 300, largeFile), true));

  // The host runs the camera at the larger size the two ask for.
  ASSERT_TRUE(OpenStatus()) << "no host was started";
  ASSERT_TRUE(WaitState(kOpRunGraph)) << "the camera does not run";
  CFrameRingReader ring;
  ASSERT_TRUE(WaitUntil([&] { return SUCCEEDED(ring.Open(instance.Name().c_str())); }, kHostWaitMs));
  EXPECT_TRUE(WaitUntil(
      [&] {
        FrameRingFrame frame = {};
        return ring.PeekLatest(&frame) && frame.width == 1280 && frame.height == 720;
      },
      kHostWaitMs))
      << "the host does not run at 1280x720";

  // Another camera while both stream: their last pictures are its, converted and scaled to
  // their formats; then the last one has left and the host ends by itself (TearDown).
  const CtlRun run = RunFontisctl(L"switch " + instance.Name() + L" \"" +
                                  kTestCameraProfiles[kTestCamSecond].description + L"\"");
  EXPECT_EQ(0u, run.code) << run.output;
  EXPECT_EQ(0u, small.Wait(kHostWaitMs)) << small.Output();
  EXPECT_EQ(0u, large.Wait(kHostWaitMs)) << large.Output();
  EXPECT_EQ(static_cast<int>(kTestCamSecond), CameraOf(ReadAndDelete(smallFile), 640, 480));
  EXPECT_EQ(static_cast<int>(kTestCamSecond), CameraOf(ReadAndDelete(largeFile), 1280, 720));
}

TEST_F(VcamHost, AKilledApplicationsSlotIsFreedByTheNextClientAndTheCameraStops) {
  const std::wstring file = File(L"_killed.bmp");
  TestProcess killed;
  ASSERT_TRUE(killed.Start(L"fontisctl.exe", CaptureVcam(640, 480, L"YUY2", 10000, file), true));
  ASSERT_TRUE(OpenStatus());
  ASSERT_TRUE(WaitState(kOpRunGraph)) << "the camera does not run";
  killed.Kill();
  // Its slot still wants video: the camera keeps running.
  ::Sleep(1000);
  EXPECT_EQ(kOpRunGraph, status.Record()->state);

  // The next client registers (not wanting video) and frees the ended one's slot: nobody wants
  // video, and the host stops the camera but keeps serving.
  TestProcess next;
  ASSERT_TRUE(next.Start(L"fontisctl.exe", L"join " + instance.Name() + L" --size 320x240 --hold 8", true));
  EXPECT_TRUE(WaitState(kOpBuildGraph)) << "the camera still runs";
  EXPECT_FALSE(status.IsEventSet(CStatusChannelClient::kRunEvent));
  EXPECT_TRUE(HostHolds(instance.Name()));
  CRgCenterClient channel;
  ASSERT_EQ(S_OK, channel.Open(instance.Name().c_str(), CRgCenterClient::OpenMode::kExistingOnly));
  EXPECT_EQ(1, channel.Record()->clientCount);
  EXPECT_EQ(next.Id(), channel.Record()->clientSlots[0].processId);
  // It leaves after its hold; then nobody is left and the host ends.
  EXPECT_EQ(0u, next.Wait(kHostWaitMs)) << next.Output();
  ::DeleteFileW(file.c_str());
}
