// What the capture renderer accepts at connection time, and when it tells the host that the
// clients want another format. Plain logic, no graph.
#include <gtest/gtest.h>

#include <functional>

#include "VideoTypes.h"
#include "capture/FrameRing.h"
#include "filters/renderer/CFormatChangeTracker.h"
#include "filters/renderer/RendererFormat.h"

TEST(RendererFormat, AcceptsTheFourLayoutsWithTheirStrides) {
  struct Case {
    const GUID* subtype;
    LONG width, height;
    LONG fourcc, stride;
    LONG64 bytes;
    bool bottomUp;
  };
  const Case cases[] = {
      {&MEDIASUBTYPE_RGB24, 641, 480, kFourccBgr24, 1924, 1924LL * 480, true},  // rows padded to 32 bits
      {&MEDIASUBTYPE_RGB24, 640, -480, kFourccBgr24, 1920, 1920LL * 480, false},
      {&MEDIASUBTYPE_RGB32, 1920, 1080, kFourccBgrx32, 7680, 7680LL * 1080, true},
      {&MEDIASUBTYPE_YUY2, 640, 480, kFourccYuy2, 1280, 1280LL * 480, false},
      {&MEDIASUBTYPE_NV12, 1920, 1080, kFourccNv12, 1920, 1920LL * 1080 * 3 / 2, false},
  };
  for (const Case& c : cases) {
    RendererFormat format;
    ASSERT_EQ(S_OK, ParseRendererFormat(MakeVideoType(*c.subtype, c.width, c.height).Get(), &format)) << c.width;
    EXPECT_EQ(c.width, format.width);
    EXPECT_EQ(c.height < 0 ? -c.height : c.height, format.height);
    EXPECT_EQ(c.fourcc, format.fourcc);
    EXPECT_EQ(c.stride, format.stride);
    EXPECT_EQ(c.bytes, format.imageBytes);
    EXPECT_EQ(c.bottomUp, format.bottomUp);
  }
  // biSizeImage 0 is allowed for uncompressed video: the size follows from the header.
  CAmMediaType noSize = MakeVideoType(MEDIASUBTYPE_RGB32, 320, 240);
  noSize.VideoInfo()->bmiHeader.biSizeImage = 0;
  EXPECT_EQ(S_OK, ParseRendererFormat(noSize.Get(), nullptr));
}

TEST(RendererFormat, RefusesMalformedTypes) {
  struct Case {
    const char* what;
    const GUID* subtype;
    std::function<void(CAmMediaType&)> spoil;
  };
  const Case cases[] = {
      {"wrong major type", &MEDIASUBTYPE_RGB24, [](CAmMediaType& t) { t.Edit().majortype = MEDIATYPE_Audio; }},
      {"wrong format type", &MEDIASUBTYPE_RGB24, [](CAmMediaType& t) { t.Edit().formattype = FORMAT_VideoInfo2; }},
      {"compressed subtype", &MEDIASUBTYPE_RGB24, [](CAmMediaType& t) { t.Edit().subtype = MEDIASUBTYPE_MJPG; }},
      {"block shorter than a VIDEOINFOHEADER", &MEDIASUBTYPE_RGB24,
       [](CAmMediaType& t) { t.Edit().cbFormat = sizeof(VIDEOINFOHEADER) - 1; }},
      {"no block", &MEDIASUBTYPE_RGB24, [](CAmMediaType& t) { t.Free(); }},
      {"biSize beyond the block", &MEDIASUBTYPE_RGB24, [](CAmMediaType& t) { t.VideoInfo()->bmiHeader.biSize = 4000; }},
      {"zero width", &MEDIASUBTYPE_RGB24, [](CAmMediaType& t) { t.VideoInfo()->bmiHeader.biWidth = 0; }},
      {"negative width", &MEDIASUBTYPE_RGB24, [](CAmMediaType& t) { t.VideoInfo()->bmiHeader.biWidth = -640; }},
      {"zero height", &MEDIASUBTYPE_RGB24, [](CAmMediaType& t) { t.VideoInfo()->bmiHeader.biHeight = 0; }},
      {"absurd width", &MEDIASUBTYPE_RGB24,
       [](CAmMediaType& t) {
         t.VideoInfo()->bmiHeader.biWidth = 100000;
         t.VideoInfo()->bmiHeader.biSizeImage = 0;
       }},
      {"absurd height", &MEDIASUBTYPE_RGB32,
       [](CAmMediaType& t) {
         t.VideoInfo()->bmiHeader.biHeight = LONG_MIN;
         t.VideoInfo()->bmiHeader.biSizeImage = 0;
       }},
      {"bit count of another subtype", &MEDIASUBTYPE_RGB24, [](CAmMediaType& t) { t.VideoInfo()->bmiHeader.biBitCount = 32; }},
      {"compression of another subtype", &MEDIASUBTYPE_YUY2,
       [](CAmMediaType& t) { t.VideoInfo()->bmiHeader.biCompression = BI_RGB; }},
      {"stride that does not match biSizeImage", &MEDIASUBTYPE_RGB24,
       [](CAmMediaType& t) { t.VideoInfo()->bmiHeader.biSizeImage -= 4; }},
      {"unpadded RGB24 rows", &MEDIASUBTYPE_RGB24,
       [](CAmMediaType& t) {
         t.VideoInfo()->bmiHeader.biWidth = 641;  // 1924 bytes a row, not 1923
         t.VideoInfo()->bmiHeader.biSizeImage = 1923 * 480;
       }},
      {"fixed samples too small for a frame", &MEDIASUBTYPE_RGB32, [](CAmMediaType& t) { t.Edit().lSampleSize = 1000; }},
      {"odd YUY2 width", &MEDIASUBTYPE_YUY2,
       [](CAmMediaType& t) {
         t.VideoInfo()->bmiHeader.biWidth = 641;
         t.VideoInfo()->bmiHeader.biSizeImage = 0;
       }},
      {"odd NV12 height", &MEDIASUBTYPE_NV12,
       [](CAmMediaType& t) {
         t.VideoInfo()->bmiHeader.biHeight = 481;
         t.VideoInfo()->bmiHeader.biSizeImage = 0;
       }},
      {"target outside the bitmap", &MEDIASUBTYPE_RGB24,
       [](CAmMediaType& t) { t.VideoInfo()->rcTarget = RECT{0, 0, 641, 480}; }},
  };
  for (const Case& c : cases) {
    CAmMediaType type = MakeVideoType(*c.subtype, 640, 480);
    ASSERT_EQ(S_OK, ParseRendererFormat(type.Get(), nullptr)) << "unspoilt: " << c.what;
    c.spoil(type);
    EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, ParseRendererFormat(type.Get(), nullptr)) << c.what;
  }
}

TEST(FormatChangeTracker, TellsOncePerChangeOfTheRequest) {
  const FrameSize none, vga{640, 480}, hd{1280, 720}, fullHd{1920, 1080};
  CFormatChangeTracker tracker;
  EXPECT_FALSE(tracker.Observe(hd, none)) << "nothing rendered yet: the change waits";
  EXPECT_TRUE(tracker.Observe(hd, vga)) << "the pending change, now that a format is known";
  EXPECT_FALSE(tracker.Observe(hd, vga)) << "the same request again: the camera may lack that size";
  EXPECT_FALSE(tracker.Observe(vga, vga)) << "a change back to what is rendered needs nothing";
  EXPECT_TRUE(tracker.Observe(fullHd, vga));
  EXPECT_FALSE(tracker.Observe(fullHd, hd)) << "the host rebuilt with the nearest size it had";
  EXPECT_FALSE(tracker.Observe(none, hd)) << "no client asks for anything";
  EXPECT_TRUE(tracker.Observe(fullHd, hd)) << "a request returning after none is a change";

  CFormatChangeTracker matching;
  EXPECT_FALSE(matching.Observe(vga, vga)) << "a first request that is already rendered";
}
