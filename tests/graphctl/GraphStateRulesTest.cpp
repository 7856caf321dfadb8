// When a built graph counts as valid: the run state against the clients' demand, and the format
// a client uses against the request and against what the camera delivers for it.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "common/CMediaType.h"
#include "graphctl/GraphStateRules.h"
#include "ipc/VideoInfoFormat.h"

namespace {

FrameExtent Extent(LONG width, LONG height) {
  CMediaType type;
  EXPECT_EQ(S_OK, BuildVideoInfoType(width, height, VideoSubtype::kRgb24, &type));
  return FrameExtentOf(type.Get());
}

}  // namespace

TEST(GraphStateRules, FrameExtentReadsWidthAndAbsoluteHeightFromALongEnoughBlock) {
  CMediaType type;
  ASSERT_EQ(S_OK, BuildVideoInfoType(16, 16, VideoSubtype::kRgb24, &type));
  const LONG minimum = LONG_MIN;
  memcpy(type.Edit().pbFormat + kVideoInfoHeightOffset, &minimum, sizeof(minimum));
  EXPECT_EQ(2147483648LL, FrameExtentOf(type.Get()).height);
  type.Edit().cbFormat = kVideoInfoHeightOffset + sizeof(LONG) - 1;  // the height cut off
  EXPECT_FALSE(FrameExtentOf(type.Get()).known);
  EXPECT_FALSE(FrameExtent().SameSize(FrameExtent())) << "two unknown sizes are not the same";
}

TEST(GraphStateRules, OutputFitsTheRequestOrWhatTheCameraDeliversForThatRequest) {
  const FrameExtent none;
  // The inputs: run state differs, output has a type, requested, output, answered, delivered.
  const struct {
    const char* what;
    GraphStateInputs inputs;
    bool valid;
  } cases[] = {
      {"nobody writes outputs, demand differs", {true, false, Extent(1280, 720), none, none, none}, false},
      {"output as requested, heights by absolute value",
       {false, true, Extent(640, -480), Extent(640, 480), none, none}, true},
      {"output as requested, demand differs", {true, true, Extent(640, 480), Extent(640, 480), none, none}, false},
      {"delivered for an older request",
       {false, true, Extent(1920, 1080), Extent(1280, 720), Extent(1000, 700), Extent(1280, 720)}, false},
      {"output not what is delivered",
       {false, true, Extent(1000, 700), Extent(640, 480), Extent(1000, 700), Extent(1280, 720)}, false},
      {"output in use but no request", {false, true, none, Extent(640, 480), none, none}, false},
      {"output type without a readable size", {false, true, Extent(640, 480), none, none, none}, false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.valid, IsBuiltGraphStateValid(c.inputs)) << c.what;
}
