// The COM-free rules of the capture graph: which capability a requested size gets, the bitmap
// image size, and how a name text matches a registered device.
#include <gtest/gtest.h>

#include <strmif.h>
#include <amvideo.h>
#include <uuids.h>

#include <string>
#include <vector>

#include "capture/CaptureFormat.h"
#include "capture/CaptureFormatMatch.h"
#include "capture/DeviceMatching.h"
#include "ipc/VideoInfoFormat.h"

namespace {

FormatSizeKey Video(LONG width, LONG height, ULONG length = sizeof(VIDEOINFOHEADER)) {
  return FormatSizeKey{MEDIATYPE_Video, FORMAT_VideoInfo, length, width, height, true};
}

// "index" or "index!" for an exact size.
std::string Choose(const FormatSizeKey& request, const std::vector<FormatSizeKey>& caps) {
  const CapabilityChoice choice = ChooseCapability(request, caps.data(), caps.size());
  return std::to_string(choice.index) + (choice.exact ? "!" : "");
}

}  // namespace

TEST(CapabilityChoice, ExactSizeWinsWhereverItStandsOtherwiseTheNearestPixelCountAndTheEarlierOfTies) {
  const std::vector<FormatSizeKey> caps = {Video(320, 240), Video(640, 480), Video(640, 480), Video(1280, 720)};
  EXPECT_EQ("1!", Choose(Video(640, 480), caps));   // the first of two subtypes
  EXPECT_EQ("1!", Choose(Video(640, -480), caps));  // top-down requests compare |height|
  EXPECT_EQ("1!", Choose(Video(640, 480), {Video(320, 240), Video(640, -480)}));
  EXPECT_EQ("2!", Choose(Video(640, 480), {Video(480, 640), Video(641, 479), Video(640, 480)}));
  EXPECT_EQ("1", Choose(Video(800, 600), caps));    // 172,800 pixels away against 441,600
  EXPECT_EQ("0", Choose(Video(0, 0), caps));        // the smallest
  EXPECT_EQ("0", Choose(Video(600, 500), {Video(480, 640), Video(640, 480)}));  // a tie
}

TEST(CapabilityChoice, OtherKindsAndEmptySizesArePassedOverAndOddRequestsReadTheCurrentFormat) {
  FormatSizeKey audio = Video(640, 480);
  audio.majorType = MEDIATYPE_Audio;
  FormatSizeKey video2 = Video(640, 480);
  video2.formatType = FORMAT_VideoInfo2;
  FormatSizeKey unreadable = Video(640, 480);
  unreadable.usable = false;
  const FormatSizeKey palette = Video(640, 480, sizeof(VIDEOINFOHEADER) + 4);
  EXPECT_EQ("5", Choose(Video(640, 480), {audio, video2, unreadable, palette, Video(0, 480), Video(1280, 720)}));
  EXPECT_EQ("0", Choose(Video(640, 480), {audio, video2, Video(640, 0)}));  // nothing qualifies

  EXPECT_FALSE(IsCurrentFormatRequest(Video(640, 480)));
  EXPECT_FALSE(IsCurrentFormatRequest(Video(0, 0)));
  EXPECT_TRUE(IsCurrentFormatRequest(Video(0, -480)));
  EXPECT_TRUE(IsCurrentFormatRequest(video2));
  EXPECT_TRUE(IsCurrentFormatRequest(audio));
  CMediaType type;
  ASSERT_EQ(S_OK, BuildVideoInfoType(640, 480, VideoSubtype::kYuy2, &type));
  AM_MEDIA_TYPE shortBlock = type.Get();
  shortBlock.cbFormat = 60;  // would hold biWidth and biHeight, not the whole header
  EXPECT_EQ(0, FormatSizeKeyOf(shortBlock).width);
}

TEST(ImageSize, RowsRoundUpToWholeWordsForFixedSizeSamplesOnly) {
  EXPECT_EQ(921600u, BitmapImageSize(640, -480, 24));
  EXPECT_EQ(12u, BitmapImageSize(1, 3, 24));  // 3 bytes of pixel per row, 4 with padding
  EXPECT_EQ(16u, BitmapImageSize(5, 2, 12));  // 60 bits -> 64 bits per row
  CMediaType type;
  ASSERT_EQ(S_OK, BuildVideoInfoType(640, -480, VideoSubtype::kRgb24, &type));
  VIDEOINFOHEADER header = *reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
  header.bmiHeader.biSizeImage = 12345;
  AM_MEDIA_TYPE stale = type.Get();
  stale.pbFormat = reinterpret_cast<BYTE*>(&header);
  stale.lSampleSize = 12345;
  for (BOOL fixed : {TRUE, FALSE}) {
    stale.bFixedSizeSamples = fixed;
    CMediaType record;
    ASSERT_EQ(S_OK, record.CopyFrom(stale));
    EXPECT_EQ(S_OK, UpdateImageSize(&record));
    const ULONG expected = fixed ? 921600u : 12345u;
    EXPECT_EQ(expected, record->lSampleSize);
    EXPECT_EQ(expected, reinterpret_cast<const VIDEOINFOHEADER*>(record->pbFormat)->bmiHeader.biSizeImage);
  }
}

TEST(DeviceNameRules, WholeCaseSensitiveTextsTheDevGuidIdSkipAndTheProxyModule) {
  const DeviceIdentity camera = {L"Cam", L"\\\\?\\usb#cam", L"{1}"};
  EXPECT_TRUE(MatchesDeviceName(camera, L"Cam"));
  EXPECT_FALSE(MatchesDeviceName(camera, L"cam"));
  EXPECT_FALSE(MatchesDeviceName(camera, L"Ca"));
  EXPECT_TRUE(MatchesDeviceName(camera, L"\\\\?\\usb#cam"));
  EXPECT_TRUE(MatchesDeviceName(camera, L"{1}"));
  EXPECT_FALSE(MatchesDisplayNameOrPath(camera, L"{1}"));
  const DeviceIdentity nameless = {nullptr, L"path", nullptr};
  EXPECT_FALSE(MatchesDeviceName(nameless, L""));
  EXPECT_TRUE(MatchesDeviceName(nameless, L"path"));

  WCHAR text[260];
  EXPECT_FALSE(HasDevGuidIdToken(L"#DEVGUIDID#{1}"));
  DevGuidIdClsidText(L"#devguidid#{24971FF8-8BD0-4A08-9D66-9978A2DE1CE5}", text, 260);
  EXPECT_STREQ(L"{24971FF8-8BD0-4A08-9D66-9978A2DE1CE5}", text);
  DevGuidIdClsidText(L"cam#devguidid#{1}", text, 260);  // 11 units skipped, wherever the token is
  EXPECT_STREQ(L"id#{1}", text);
  DevGuidIdClsidText(L"#devguidid#{24971FF8}", text, 4);
  EXPECT_STREQ(L"{24", text);

  EXPECT_TRUE(NamesKsProxyModule(L"C:\\windows\\system32\\ksproxy.ax"));
  EXPECT_FALSE(NamesKsProxyModule(L"C:\\WINDOWS\\system32\\KSPROXY.AX"));
  EXPECT_FALSE(NamesKsProxyModule(nullptr));
}
