// fontisctl's snapshot command as a client runs it: refused without an instance, and an NV12
// frame turned into a BMP the right way up.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "FontisctlRun.h"
#include "framering/CFrameRingWriter.h"
#include "support/TestProcess.h"

TEST(FontisctlFrames, SnapshotWritesABottomUpBmp) {
  const std::wstring instance = UniqueInstanceName(L"rctl");
  const auto run = [](const std::wstring& arguments) { return RunFontisctl(arguments).code; };
  constexpr DWORD kExitNoInstance = 3;
  EXPECT_EQ(kExitNoInstance, run(L"snapshot " + instance + L" nothing.bmp"));

  // 64 x 32 NV12: the top half white, the bottom half black, neutral chroma.
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
  WCHAR folder[MAX_PATH];
  ASSERT_GT(::GetTempPathW(MAX_PATH, folder), 0u);
  const std::wstring path = std::wstring(folder) + instance + L".bmp";
  ASSERT_EQ(0u, run(L"snapshot " + instance + L" \"" + path + L"\""));
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
}
