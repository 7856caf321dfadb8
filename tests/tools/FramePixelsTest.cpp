// The snapshot command's conversion of ring frames into bottom-up BGR rows of a BMP.
#include <gtest/gtest.h>

#include <vector>

#include "tools/fontisctl/FramePixels.h"

TEST(FramePixels, ConvertsEachLayoutToBottomUpBgrRows) {
  std::vector<BYTE> rows;
  LONG rowBytes = 0;
  FrameRingFrame frame = {};
  frame.width = 2;
  frame.height = 2;
  frame.subtype = kFourccBgr24;
  frame.stride = 8;  // 6 bytes padded to 8
  frame.flags = kFrameFlagBottomUp;
  const BYTE bgr[16] = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
  ASSERT_TRUE(ConvertFrameToBmpRows(frame, bgr, sizeof(bgr), &rows, &rowBytes));
  EXPECT_EQ(8, rowBytes);
  EXPECT_EQ(1, rows[0]);  // bottom-up in, bottom-up out
  EXPECT_EQ(7, rows[8]);
  frame.flags = 0;
  ASSERT_TRUE(ConvertFrameToBmpRows(frame, bgr, sizeof(bgr), &rows, &rowBytes));
  EXPECT_EQ(7, rows[0]) << "a top-down frame is turned over";
  // YUY2: top row white (Y 235), bottom row black (Y 16), neutral chroma.
  frame.subtype = kFourccYuy2;
  frame.stride = 4;
  const BYTE yuy2[8] = {235, 128, 235, 128, 16, 128, 16, 128};
  ASSERT_TRUE(ConvertFrameToBmpRows(frame, yuy2, sizeof(yuy2), &rows, &rowBytes));
  EXPECT_EQ(0, rows[0]);
  EXPECT_EQ(255, rows[8]);
  EXPECT_EQ(255, rows[8 + 5]);
  // NV12: one pure red chroma sample (U 90, V 240) for all four pixels at Y 81.
  frame.subtype = kFourccNv12;
  frame.stride = 2;
  const BYTE nv12[6] = {81, 81, 81, 81, 90, 240};
  ASSERT_TRUE(ConvertFrameToBmpRows(frame, nv12, sizeof(nv12), &rows, &rowBytes));
  EXPECT_TRUE(rows[2] >= 250 && rows[1] <= 5 && rows[0] <= 5) << "red";
  EXPECT_FALSE(ConvertFrameToBmpRows(frame, nv12, sizeof(nv12) - 1, &rows, &rowBytes)) << "chroma cut short";
  frame.stride = 1;
  EXPECT_EQ(0, RequiredFrameBytes(frame)) << "a stride shorter than a row";
  frame.stride = 2;
  frame.width = 3;
  EXPECT_EQ(0, RequiredFrameBytes(frame)) << "NV12 needs even sides";
}
