// Capability records of fixed-size video formats.
#include "filters/base/StreamCaps.h"

#include <uuids.h>

#include <cstring>

void FillFixedSizeStreamCaps(LONG width, LONG height, REFERENCE_TIME minInterval, REFERENCE_TIME maxInterval,
                             LONG minBitsPerSecond, LONG maxBitsPerSecond, VIDEO_STREAM_CONFIG_CAPS* caps) {
  std::memset(caps, 0, sizeof(*caps));
  const SIZE size = {width, height};
  caps->guid = FORMAT_VideoInfo;
  caps->InputSize = size;
  caps->MinCroppingSize = size;
  caps->MaxCroppingSize = size;
  caps->CropGranularityX = 1;
  caps->CropGranularityY = 1;
  caps->CropAlignX = 1;
  caps->CropAlignY = 1;
  caps->MinOutputSize = size;
  caps->MaxOutputSize = size;
  caps->OutputGranularityX = 1;
  caps->OutputGranularityY = 1;
  caps->MinFrameInterval = minInterval;
  caps->MaxFrameInterval = maxInterval;
  caps->MinBitsPerSecond = minBitsPerSecond;
  caps->MaxBitsPerSecond = maxBitsPerSecond;
}
