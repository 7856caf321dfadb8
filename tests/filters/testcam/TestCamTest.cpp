// The test cameras without a running graph: their frame counter and coded picture in every
// layout, and the capability records their pins hand out.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "filters/testcam/TestCameraFormats.h"
#include "filters/testcam/TestPattern.h"
#include "support/CodedPicture.h"
#include "support/TestCameraGraph.h"

using Microsoft::WRL::ComPtr;

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
  const struct {
    TestCamSubtype subtype;
    LONG fourcc;
    LONG biHeight;  // negative: top-down RGB24
  } cases[] = {{TestCamSubtype::Rgb24, kFourccBgr24, 96},
               {TestCamSubtype::Rgb24, kFourccBgr24, -96},
               {TestCamSubtype::Yuy2, kFourccYuy2, 96},
               {TestCamSubtype::Nv12, kFourccNv12, 96}};
  for (const auto& c : cases) {
    CMediaType type;
    ASSERT_EQ(S_OK, BuildTestCamMediaType(TestCameraFormat{c.subtype, 128, 96, 30}, &type));
    type.VideoInfo()->bmiHeader.biHeight = c.biHeight;
    ASSERT_TRUE(TestFrameLayoutFromType(type.Get(), &layout));
    SCOPED_TRACE(std::to_string(static_cast<int>(c.subtype)) + " biHeight " + std::to_string(c.biHeight));
    std::vector<BYTE> picture(layout.imageSize + 1, 0xAB);
    DrawTestFrame(layout, kTestCamSecond, 0x2FF, picture.data());
    EXPECT_EQ(0xAB, picture.back()) << "drawn past the picture";
    ASSERT_TRUE(ReadFrameCounter(picture.data(), picture.size(), &counter));
    EXPECT_EQ(0x2FFu, counter);

    const SourceFrame view = ViewOfTarget(TargetFormat{c.fourcc, 128, c.biHeight}, picture.data(), layout.imageSize);
    std::string mismatch;
    uint16_t code = 0;
    ASSERT_TRUE(ReadCheckedFrameCode(view, &code, &mismatch)) << mismatch;
    EXPECT_EQ(TestCameraFrameCode(kTestCamSecond, 0xFF), code) << "the camera and the frame number's low byte";
  }
}

TEST(TestCamStreamConfig, CapabilitiesMatchTheProfileAndStayWithinTheReportedRecordSize) {
  for (size_t p : {kTestCamStandard, kTestCamCaps64}) {
    const TestCameraProfile& profile = kTestCameraProfiles[p];
    ComPtr<IAMStreamConfig> config;
    ASSERT_EQ(S_OK, PinAt(CreateTestCamera(p).Get(), 0).As(&config)) << p;
    int count = 0, size = 0;
    ASSERT_EQ(S_OK, config->GetNumberOfCapabilities(&count, &size));
    EXPECT_EQ(static_cast<int>(profile.formatCount), count) << p;
    EXPECT_EQ(static_cast<int>(profile.capsRecordSize), size) << p;
    // A caller allocates the size the pin reported; the rest must stay untouched.
    std::vector<BYTE> record(sizeof(VIDEO_STREAM_CONFIG_CAPS));
    for (int i = 0; i < count; ++i) {
      std::fill(record.begin(), record.end(), BYTE{0xCD});
      CTaskMemMediaType type;
      ASSERT_EQ(S_OK, config->GetStreamCaps(i, type.Receive(), record.data())) << p << "/" << i;
      const VIDEOINFOHEADER* info = reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
      ASSERT_TRUE(info != nullptr && type->cbFormat == sizeof(VIDEOINFOHEADER));
      EXPECT_TRUE(std::all_of(record.begin() + size, record.end(), [](BYTE b) { return b == 0xCD; }))
          << "written past the size";
    }
    CTaskMemMediaType none;  // S_FALSE past the end, and no type handed out
    EXPECT_EQ(S_FALSE, config->GetStreamCaps(count, none.Receive(), record.data())) << p;
    EXPECT_FALSE(none);
  }
}
