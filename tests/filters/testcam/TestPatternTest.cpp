// The frame counter that readers check and the layouts of the moving pattern, without a graph.
#include <gtest/gtest.h>

#include <vector>

#include "filters/testcam/TestPattern.h"

TEST(TestPattern, CounterAndLayouts) {
  BYTE frame[8] = {};
  WriteFrameCounter(frame, 0x01020304u);
  const BYTE expected[8] = {0x04, 0x03, 0x02, 0x01, 0xFB, 0xFC, 0xFD, 0xFE};  // little-endian and complement
  EXPECT_EQ(0, memcmp(expected, frame, 8));
  uint32_t counter = 0;
  EXPECT_FALSE(ReadFrameCounter(frame, 7, &counter));
  frame[6] ^= 0x10;  // a torn or foreign buffer
  EXPECT_FALSE(ReadFrameCounter(frame, 8, &counter));

  TestFrameLayout layout = {};
  EXPECT_FALSE(ComputeFrameLayout(TestCamSubtype::Yuy2, 641, 480, &layout));
  for (TestCamSubtype subtype : {TestCamSubtype::Rgb24, TestCamSubtype::Yuy2, TestCamSubtype::Nv12}) {
    ASSERT_TRUE(ComputeFrameLayout(subtype, 64, 48, &layout));
    std::vector<BYTE> first(layout.imageSize + 1, 0xAB), second(layout.imageSize + 1, 0xAB);
    DrawTestFrame(layout, 7, first.data());
    DrawTestFrame(layout, 8, second.data());
    EXPECT_EQ(0xAB, first.back()) << "drawn past the picture";
    ASSERT_TRUE(ReadFrameCounter(second.data(), second.size(), &counter));
    EXPECT_EQ(8u, counter);
    // The picture itself moves, not only the counter.
    EXPECT_NE(0, memcmp(first.data() + kFrameCounterBytes, second.data() + kFrameCounterBytes,
                        layout.imageSize - kFrameCounterBytes));
  }
}
