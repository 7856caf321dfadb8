// The IAMStreamConfig capability record of a source that delivers one fixed frame size (no
// cropping, no scaling) within a range of frame intervals. Plain function, any thread.
#pragma once

#include <windows.h>
#include <strmif.h>

// REFERENCE_TIME counts 100 ns units: frame intervals and bit rates convert through this.
constexpr REFERENCE_TIME kUnitsPerSecond = 10000000;

void FillFixedSizeStreamCaps(LONG width, LONG height, REFERENCE_TIME minInterval, REFERENCE_TIME maxInterval,
                             LONG minBitsPerSecond, LONG maxBitsPerSecond, VIDEO_STREAM_CONFIG_CAPS* caps);
