// The COM-free rules of the capture graph: which capability a requested size gets and how a name
// text matches a registered device.
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

}  // namespace

TEST(CapabilityChoice, ExactSizeWinsWhereverItStandsOtherwiseTheNearestPixelCountAndTheEarlierOfTies) {
  FormatSizeKey audio = Video(640, 480), video2 = Video(640, 480), unreadable = Video(640, 480);
  audio.majorType = MEDIATYPE_Audio;
  video2.formatType = FORMAT_VideoInfo2;
  unreadable.usable = false;
  const std::vector<FormatSizeKey> caps = {Video(320, 240), Video(640, 480), Video(640, 480), Video(1280, 720)};
  // "index" or "index!" for an exact size.
  const struct {
    FormatSizeKey request;
    std::vector<FormatSizeKey> caps;
    const char* expected;
  } cases[] = {
      {Video(640, -480), caps, "1!"},                                                 // the first of equals, |height|
      {Video(640, 480), {Video(480, 640), Video(641, 479), Video(640, 480)}, "2!"},  // exact beats nearer
      {Video(800, 600), caps, "1"},                                // 172,800 pixels away against 441,600
      {Video(600, 500), {Video(480, 640), Video(640, 480)}, "0"},  // a tie
      {Video(640, 480),  // other kinds, unreadable, with a palette, empty: passed over
       {audio, video2, unreadable, Video(640, 480, sizeof(VIDEOINFOHEADER) + 4), Video(0, 480), Video(1280, 720)}, "5"},
      {Video(640, 480), {audio, video2, Video(640, 0)}, "0"},  // nothing qualifies
  };
  for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
    const CapabilityChoice choice = ChooseCapability(cases[i].request, cases[i].caps.data(), cases[i].caps.size());
    EXPECT_EQ(cases[i].expected, std::to_string(choice.index) + (choice.exact ? "!" : "")) << "case " << i;
  }

  // A height without a width, or a request that is not a plain VIDEOINFOHEADER, reads the current format.
  for (const FormatSizeKey& request : {Video(640, 480), Video(0, 0)}) EXPECT_FALSE(IsCurrentFormatRequest(request));
  for (const FormatSizeKey& request : {Video(0, -480), video2, audio}) EXPECT_TRUE(IsCurrentFormatRequest(request));
  CMediaType type;
  ASSERT_EQ(S_OK, BuildVideoInfoType(640, 480, VideoSubtype::kYuy2, &type));
  AM_MEDIA_TYPE shortBlock = type.Get();
  shortBlock.cbFormat = 60;  // would hold biWidth and biHeight, not the whole header
  EXPECT_EQ(0, FormatSizeKeyOf(shortBlock).width);
}

TEST(DeviceNameRules, WholeCaseSensitiveTextsAndTheDevGuidIdSkip) {
  const DeviceIdentity camera = {L"Cam", L"\\\\?\\usb#cam", L"{1}"};
  EXPECT_FALSE(MatchesDeviceName(camera, L"cam"));
  EXPECT_FALSE(MatchesDeviceName(camera, L"Ca"));
  EXPECT_FALSE(MatchesDeviceName({nullptr, L"path", nullptr}, L""));

  WCHAR text[260];
  EXPECT_FALSE(HasDevGuidIdToken(L"#DEVGUIDID#{1}"));
  DevGuidIdClsidText(L"cam#devguidid#{1}", text, 260);  // 11 units skipped, wherever the token is
  EXPECT_STREQ(L"id#{1}", text);
  DevGuidIdClsidText(L"#devguidid#{24971FF8}", text, 4);
  EXPECT_STREQ(L"{24", text);
}
