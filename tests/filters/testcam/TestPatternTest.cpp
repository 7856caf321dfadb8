// The test camera's frames without a graph: the counter that readers check, and the coded
// picture in every layout and row order, whose code names the camera and the frame.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filters/testcam/TestCameraFormats.h"
#include "filters/testcam/TestPattern.h"
#include "support/CodedPicture.h"

TEST(TestPattern, CounterAndFrameCodeInEveryLayout) {
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
  struct Case {
    TestCamSubtype subtype;
    LONG fourcc;
    LONG biHeight;  // negative: top-down RGB24
  };
  const Case cases[] = {{TestCamSubtype::Rgb24, kFourccBgr24, 96},
                        {TestCamSubtype::Rgb24, kFourccBgr24, -96},
                        {TestCamSubtype::Yuy2, kFourccYuy2, 96},
                        {TestCamSubtype::Nv12, kFourccNv12, 96}};
  for (const Case& c : cases) {
    const TestCameraFormat format = {c.subtype, 128, 96, 30};
    CMediaType type;
    ASSERT_EQ(S_OK, BuildTestCamMediaType(format, &type));
    type.VideoInfo()->bmiHeader.biHeight = c.biHeight;
    ASSERT_TRUE(TestFrameLayoutFromType(type.Get(), &layout));
    SCOPED_TRACE(std::to_string(static_cast<int>(c.subtype)) + " biHeight " + std::to_string(c.biHeight));
    std::vector<BYTE> first(layout.imageSize + 1, 0xAB), second(layout.imageSize + 1, 0xAB);
    DrawTestFrame(layout, kTestCamFaulty, 0x1FF, first.data());
    DrawTestFrame(layout, kTestCamSecond, 0x200, second.data());
    EXPECT_EQ(0xAB, first.back()) << "drawn past the picture";
    ASSERT_TRUE(ReadFrameCounter(second.data(), second.size(), &counter));
    EXPECT_EQ(0x200u, counter);

    SourceFrame view;
    view.fourcc = c.fourcc;
    view.width = layout.width;
    view.height = layout.height;
    view.stride = layout.stride;
    view.bottomUp = c.biHeight > 0 && c.fourcc == kFourccBgr24;
    view.data = first.data();
    view.bytes = layout.imageSize;
    std::string mismatch;
    EXPECT_TRUE(CheckBarsAndBottom(view, &mismatch)) << mismatch;
    uint16_t code = 0;
    ASSERT_TRUE(ReadFrameCode(view, &code, &mismatch)) << mismatch;
    EXPECT_EQ(kTestCamFaulty, FrameCodeCamera(code));
    EXPECT_EQ(0xFFu, FrameCodeCounter(code)) << "the frame number's low byte";
    view.data = second.data();
    ASSERT_TRUE(ReadFrameCode(view, &code, &mismatch)) << mismatch;
    EXPECT_EQ(TestCameraFrameCode(kTestCamSecond, 0), code);
  }
}
