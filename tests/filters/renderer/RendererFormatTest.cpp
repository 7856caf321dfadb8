// The layouts the capture renderer accepts, with their strides and orientation. Plain logic,
// no graph (malformed types: CaptureRendererGraphTest.cpp).
#include <gtest/gtest.h>

#include "support/RendererRig.h"
#include "filters/renderer/RendererFormat.h"

TEST(RendererFormat, AcceptsTheFourLayoutsWithTheirStrides) {
  struct Case {
    VideoSubtype subtype;
    LONG width, height, fourcc, stride;
    LONG64 bytes;
    bool bottomUp;
  };
  const Case cases[] = {
      {VideoSubtype::kRgb24, 641, 480, kFourccBgr24, 1924, 1924LL * 480, true},  // rows padded to 32 bits
      {VideoSubtype::kRgb24, 640, -480, kFourccBgr24, 1920, 1920LL * 480, false},
      {VideoSubtype::kRgb32, 1920, 1080, kFourccBgrx32, 7680, 7680LL * 1080, true},
      {VideoSubtype::kYuy2, 640, 480, kFourccYuy2, 1280, 1280LL * 480, false},
      {VideoSubtype::kNv12, 1920, 1080, kFourccNv12, 1920, 1920LL * 1080 * 3 / 2, false},
  };
  for (const Case& c : cases) {
    RendererFormat format;
    ASSERT_EQ(S_OK, ParseRendererFormat(VideoType(c.subtype, c.width, c.height).Get(), &format)) << c.width;
    EXPECT_EQ(c.width, format.width);
    EXPECT_EQ(c.height < 0 ? -c.height : c.height, format.height);
    EXPECT_EQ(c.fourcc, format.fourcc);
    EXPECT_EQ(c.stride, format.stride);
    EXPECT_EQ(c.bytes, format.imageBytes);
    EXPECT_EQ(c.bottomUp, format.bottomUp);
  }
  // biSizeImage 0 is allowed for uncompressed video: the size follows from the header.
  CMediaType noSize = VideoType(VideoSubtype::kRgb32, 320, 240);
  noSize.VideoInfo()->bmiHeader.biSizeImage = 0;
  EXPECT_EQ(S_OK, ParseRendererFormat(noSize.Get(), nullptr));
}
