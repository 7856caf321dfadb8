// The virtual camera in applications of their own (fontisctl capture opens "Fontis Virtual
// Camera" by name, as capture applications do), with a stand-in host and a ring written by this
// program: two applications at different sizes at once, and an application killed while
// streaming whose slot the next one takes over.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "VcamTestSupport.h"
#include "common/BitmapSize.h"
#include "ipc/RgCenterSlots.h"
#include "support/TempFiles.h"

namespace {

constexpr DWORD kApplicationWaitMs = 60000;

// The code of the last frame of a raw file of frames in `target`'s format, 0 when it holds none.
uint16_t LastFrameCode(const std::vector<BYTE>& file, const TargetFormat& target) {
  FrameLayout layout;
  if (FAILED(DescribeTargetFormat(target, &layout)) || layout.imageBytes <= 0 ||
      file.size() < static_cast<size_t>(layout.imageBytes) || file.size() % static_cast<size_t>(layout.imageBytes) != 0) {
    return 0;
  }
  return CodeOf(target, file.data() + file.size() - static_cast<size_t>(layout.imageBytes),
                static_cast<size_t>(layout.imageBytes));
}

// Slots in use by live processes other than this one, each wanting video.
int StreamingApplications(CRgCenterClient& channel, DWORD* widths) {
  int count = 0;
  for (size_t i = 0; i < kClientOwnedSlotCount; ++i) {
    const RgCenterSlot& slot = channel.Record()->clientSlots[i];
    if (!IsSlotInUse(slot) || slot.processId == ::GetCurrentProcessId() || slot.wantsVideo == 0) continue;
    int32_t width = 0;
    if (ReadFormatInt32(slot, kVideoInfoWidthOffset, &width)) *widths |= static_cast<DWORD>(width);
    ++count;
  }
  return count;
}

// An instance with a stand-in host, a ring of coded pictures and a view of its request channel.
class VcamApplications : public ::testing::Test {
 protected:
  VcamApplications() : instance(L"vapps"), host(instance.Name()), ring(instance.Name()) {}
  void SetUp() override {
    ASSERT_TRUE(host.Serving());
    ASSERT_TRUE(ring.Started());
    ASSERT_EQ(S_OK, channel.Open(instance.Name().c_str(), CRgCenterClient::OpenMode::kCreateOrOpen));
  }

  ScopedVcamInstance instance;
  FakeHost host;
  CodedRingWriter ring;
  CRgCenterClient channel;
};

}  // namespace

TEST_F(VcamApplications, TwoApplicationsAtDifferentSizesBothGetTheRingsPictures) {
  const std::wstring smallFile = TempFile(instance.Name() + L"_small.raw");
  const std::wstring largeFile = TempFile(instance.Name() + L"_large.raw");
  TestProcess small, large;
  ASSERT_TRUE(small.Start(L"fontisctl.exe", CaptureVcamArguments(640, 480, L"RGB24", 90, smallFile), true));
  ASSERT_TRUE(large.Start(L"fontisctl.exe", CaptureVcamArguments(1280, 720, L"NV12", 90, largeFile), true));
  // Both register by the clients' protocol, in their own formats, and want video while running.
  DWORD widths = 0;
  EXPECT_TRUE(WaitUntil([&] { return widths = 0, StreamingApplications(channel, &widths) == 2; }, kApplicationWaitMs));
  EXPECT_EQ(640u | 1280u, widths);
  EXPECT_EQ(0u, small.Wait(kApplicationWaitMs)) << small.Output();
  EXPECT_EQ(0u, large.Wait(kApplicationWaitMs)) << large.Output();

  TargetFormat rgb24 = {kFourccBgr24, 640, 480};
  TargetFormat nv12 = {kFourccNv12, 1280, 720};
  const uint16_t smallCode = LastFrameCode(ReadAndDelete(smallFile), rgb24);
  const uint16_t largeCode = LastFrameCode(ReadAndDelete(largeFile), nv12);
  EXPECT_TRUE(smallCode >= 1 && smallCode <= 4) << smallCode;
  EXPECT_TRUE(largeCode >= 1 && largeCode <= 4) << largeCode;
  // Both left: their slots are given back.
  EXPECT_EQ(0, channel.Record()->clientCount);
}

TEST_F(VcamApplications, AnApplicationKilledWhileStreamingLeavesASlotTheNextOneTakesOver) {
  const std::wstring file = TempFile(instance.Name() + L".raw");
  TestProcess killed;
  ASSERT_TRUE(killed.Start(L"fontisctl.exe", CaptureVcamArguments(320, 240, L"YUY2", 10000, file), true));
  DWORD widths = 0;
  ASSERT_TRUE(WaitUntil([&] { return StreamingApplications(channel, &widths) == 1; }, kApplicationWaitMs));
  killed.Kill();
  ::DeleteFileW(file.c_str());
  const RgCenterSlot& first = channel.Record()->clientSlots[0];
  EXPECT_EQ(killed.Id(), first.processId);
  EXPECT_EQ(1u, first.wantsVideo) << "a killed application gives nothing back";
  EXPECT_EQ(1, channel.Record()->clientCount);

  TestProcess next;
  ASSERT_TRUE(next.Start(L"fontisctl.exe", CaptureVcamArguments(320, 240, L"RGB32", 60, file), true));
  EXPECT_TRUE(WaitUntil([&] { return first.processId == next.Id(); }, kApplicationWaitMs))
      << "the next application did not take the ended one's slot";
  EXPECT_EQ(1, channel.Record()->clientCount);
  EXPECT_EQ(0u, next.Wait(kApplicationWaitMs)) << next.Output();
  EXPECT_TRUE(LastFrameCode(ReadAndDelete(file), TargetFormat{kFourccBgrx32, 320, 240}) != 0);
  EXPECT_EQ(0, channel.Record()->clientCount);
}
