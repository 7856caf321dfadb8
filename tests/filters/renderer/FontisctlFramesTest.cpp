// fontisctl's frame commands as a client runs them: refusals with their exit codes, a snapshot
// of an NV12 frame turned into a BMP the right way up, and a frame count over a running ring.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "capture/CFrameRingWriter.h"
#include "support/TestProcess.h"

namespace {

DWORD RunFontisctl(const std::wstring& arguments) {
  TestProcess process;
  return process.Start(L"fontisctl.exe", arguments) ? process.Wait(30000) : STILL_ACTIVE;
}

// 64 x 32 NV12: the top half white, the bottom half black, neutral chroma.
void PublishTwoToneFrame(CFrameRingWriter& writer) {
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
  ASSERT_EQ(S_OK, writer.Publish(frame, pixels.data()));
}

}  // namespace

TEST(FontisctlFrames, SnapshotAndFramesCommands) {
  constexpr DWORD kExitUsage = 2, kExitNoInstance = 3;
  const std::wstring instance = UniqueInstanceName(L"rctl");
  EXPECT_EQ(kExitUsage, RunFontisctl(L"frames " + instance + L" --seconds zero"));
  EXPECT_EQ(kExitNoInstance, RunFontisctl(L"snapshot " + instance + L" nothing.bmp"));

  CFrameRingWriter writer;
  ASSERT_EQ(S_OK, writer.Open(instance.c_str()));
  ASSERT_EQ(S_OK, writer.Reserve(64 * 32 * 3 / 2));
  PublishTwoToneFrame(writer);
  WCHAR folder[MAX_PATH];
  ASSERT_GT(::GetTempPathW(MAX_PATH, folder), 0u);
  const std::wstring path = std::wstring(folder) + instance + L".bmp";
  ASSERT_EQ(0u, RunFontisctl(L"snapshot " + instance + L" \"" + path + L"\""));
  std::ifstream file(path.c_str(), std::ios::binary);
  const std::vector<unsigned char> bmp((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  file.close();
  ::DeleteFileW(path.c_str());
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

  // A writer at about 100 frames a second while the command counts for a second.
  std::atomic<bool> done{false};
  std::thread publisher([&] {
    for (; !done.load(); ::Sleep(10)) PublishTwoToneFrame(writer);
  });
  EXPECT_EQ(0u, RunFontisctl(L"frames " + instance + L" --seconds 1"));
  done = true;
  publisher.join();
}
