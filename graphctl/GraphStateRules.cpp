#include "GraphStateRules.h"

#include <cstring>

#include "common/VideoInfoLayout.h"

FrameExtent FrameExtentOf(const AM_MEDIA_TYPE& type) {
  FrameExtent extent;
  if (type.pbFormat == nullptr || type.cbFormat < kVideoInfoHeightOffset + sizeof(LONG)) return extent;
  LONG height = 0;
  memcpy(&extent.width, type.pbFormat + kVideoInfoWidthOffset, sizeof(LONG));  // the block need not be aligned
  memcpy(&height, type.pbFormat + kVideoInfoHeightOffset, sizeof(LONG));
  extent.height = height < 0 ? -static_cast<int64_t>(height) : height;
  extent.known = true;
  return extent;
}

bool IsBuiltGraphStateValid(const GraphStateInputs& inputs) {
  if (inputs.outputHasType) {
    const bool asRequested = inputs.output.SameSize(inputs.requested);
    const bool asAnswered =
        inputs.answeredRequest.SameSize(inputs.requested) && inputs.output.SameSize(inputs.delivered);
    if (!asRequested && !asAnswered) return false;
  }
  return !inputs.runStateDiffers;
}
