// End to end with real processes: applications (fontisctl capture) open "Fontis Virtual
// Camera", whose filter starts FontisHost.exe for the test camera; the host runs at the largest
// size asked for and ends after the last application; an application killed while streaming
// leaves a slot the next client frees; a camera switch reaches two streaming applications; and
// with no camera an application gets placeholders and ends cleanly.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "VcamTestSupport.h"
#include "filters/vcam/CPlaceholderPicture.h"
#include "framering/CFrameRingReader.h"
#include "ipc/CStatusChannelClient.h"
#include "ipc/LiveInstance.h"
#include "ipc/RgCenterSlots.h"
#include "support/FilterEnvironment.h"
#include "support/FontisctlRun.h"
#include "support/TempFiles.h"

namespace {

constexpr DWORD kHostWaitMs = 60000;

// The test camera whose frame code the saved picture carries; -1 when it carries none.
int CameraOf(const std::vector<BYTE>& bmp, LONG width, LONG height) {
  uint16_t code = 0;
  std::string mismatch;
  if (!ReadFrameCode(BottomUpRgb24(bmp, kBmpHeaderBytes, width, height), &code, &mismatch)) return -1;
  return static_cast<int>(FrameCodeCamera(code));
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

TEST_F(VcamHost, TwoApplicationsShareTheCameraThroughAHostTheFirstStartsAndTheLastEnds) {
  ASSERT_FALSE(HostHolds(instance.Name()));
  const std::wstring smallFile = File(L"_small.bmp"), largeFile = File(L"_large.bmp");
  TestProcess small, large;
  ASSERT_TRUE(small.Start(L"fontisctl.exe", CaptureVcamArguments(640, 480, L"RGB24", 120, smallFile), true));
  ASSERT_TRUE(large.Start(L"fontisctl.exe", CaptureVcamArguments(1280, 720, L"NV12", 120, largeFile), true));

  // The host runs the camera at the larger size the two ask for.
  ASSERT_TRUE(WaitUntil([&] { return HostHolds(instance.Name()); }, kHostWaitMs)) << "no host was started";
  CFrameRingReader ring;
  ASSERT_TRUE(WaitUntil([&] { return SUCCEEDED(ring.Open(instance.Name().c_str())); }, kHostWaitMs));
  EXPECT_TRUE(WaitUntil(
      [&] {
        FrameRingFrame frame = {};
        return ring.PeekLatest(&frame) && frame.width == 1280 && frame.height == 720;
      },
      kHostWaitMs))
      << "the host does not run at 1280x720";

  EXPECT_EQ(0u, small.Wait(kHostWaitMs)) << small.Output();
  EXPECT_EQ(0u, large.Wait(kHostWaitMs)) << large.Output();
  // Both saved the test camera's pictures, converted and scaled to their formats.
  EXPECT_EQ(static_cast<int>(kTestCamStandard), CameraOf(ReadAndDelete(smallFile), 640, 480));
  EXPECT_EQ(static_cast<int>(kTestCamStandard), CameraOf(ReadAndDelete(largeFile), 1280, 720));
  // The last one has left: the host ends by itself.
  EXPECT_TRUE(WaitUntil([&] { return !HostHolds(instance.Name()); }, kHostWaitMs)) << "the host did not end";
}

TEST_F(VcamHost, AKilledApplicationsSlotIsFreedByTheNextClientAndTheCameraStops) {
  const std::wstring file = File(L"_killed.bmp");
  TestProcess killed;
  ASSERT_TRUE(killed.Start(L"fontisctl.exe", CaptureVcamArguments(640, 480, L"YUY2", 10000, file), true));
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

TEST_F(VcamHost, ACameraSwitchWhileTwoApplicationsStreamReachesBothWithoutAnError) {
  const std::wstring first = File(L"_first.bmp"), second = File(L"_second.bmp");
  TestProcess a, b;
  ASSERT_TRUE(a.Start(L"fontisctl.exe", CaptureVcamArguments(640, 480, L"YUY2", 300, first), true));
  ASSERT_TRUE(b.Start(L"fontisctl.exe", CaptureVcamArguments(1280, 720, L"RGB24", 300, second), true));
  ASSERT_TRUE(OpenStatus());
  ASSERT_TRUE(WaitState(kOpRunGraph)) << "the camera does not run";

  const CtlRun run = RunFontisctl(L"switch " + instance.Name() + L" \"" +
                                  kTestCameraProfiles[kTestCamSecond].description + L"\"");
  EXPECT_EQ(0u, run.code) << run.output;
  EXPECT_EQ(0u, a.Wait(kHostWaitMs)) << a.Output();
  EXPECT_EQ(0u, b.Wait(kHostWaitMs)) << b.Output();
  EXPECT_EQ(static_cast<int>(kTestCamSecond), CameraOf(ReadAndDelete(first), 640, 480));
  EXPECT_EQ(static_cast<int>(kTestCamSecond), CameraOf(ReadAndDelete(second), 1280, 720));
}

TEST_F(VcamHost, WithNoCameraAnApplicationGetsPlaceholdersAndEndsCleanly) {
  TestCameraRegistration& cameras = g_cameras->Registration();
  ASSERT_EQ(S_OK, cameras.Unregister());
  const std::wstring file = File(L"_nocamera.raw");
  const CtlRun run = RunFontisctl(CaptureVcamArguments(320, 240, L"RGB24", 30, file));
  EXPECT_EQ(S_OK, cameras.Register());
  EXPECT_EQ(0u, run.code) << run.output;
  EXPECT_FALSE(HostHolds(instance.Name())) << "no host for no camera";

  const TargetFormat target = {kFourccBgr24, 320, 240};
  FrameLayout layout;
  ASSERT_EQ(S_OK, DescribeTargetFormat(target, &layout));
  std::vector<BYTE> expected(static_cast<size_t>(layout.imageBytes));
  CPlaceholderPicture painter;
  ASSERT_EQ(S_OK, painter.Render(PlaceholderReason::kNoCamera, target, expected.data(), expected.size()));
  const std::vector<BYTE> frames = ReadAndDelete(file);
  ASSERT_EQ(30 * expected.size(), frames.size());
  const std::vector<BYTE> last(frames.end() - static_cast<std::ptrdiff_t>(expected.size()), frames.end());
  EXPECT_TRUE(last == expected) << "the last frame is not the no-camera placeholder";
}
