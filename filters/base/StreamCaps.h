// The IAMStreamConfig capability record of a source that delivers one fixed frame size (no
// cropping, no scaling) within a range of frame intervals. Plain function, any thread.
#pragma once

#include <windows.h>
#include <strmif.h>

void FillFixedSizeStreamCaps(LONG width, LONG height, REFERENCE_TIME minInterval, REFERENCE_TIME maxInterval,
                             LONG minBitsPerSecond, LONG maxBitsPerSecond, VIDEO_STREAM_CONFIG_CAPS* caps);
