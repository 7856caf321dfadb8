// The test camera's pictures: a moving pattern plus a frame counter that readers can check.
//
// Frame counter encoding (every sample, every subtype): bytes 0..3 of the sample buffer hold the
// frame number as a 32-bit little-endian integer, bytes 4..7 hold its bitwise complement (so a
// torn or foreign buffer is detected). The number starts at 0 each time the filter leaves
// Stopped and grows by one per frame produced; a gap means a frame was dropped on the way.
// The pattern: eight colour bars, a 16-pixel-wide bar moving right by 8 pixels per frame and an
// 8-row band moving down by 4 rows per frame, drawn inverted.
// Pure functions, no COM; any thread.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "filters/testcam/TestCameraProfiles.h"

constexpr size_t kFrameCounterBytes = 8;

struct TestFrameLayout {
  TestCamSubtype subtype;
  LONG width;
  LONG height;      // rows, positive
  LONG stride;      // bytes per row of the first (or only) plane
  size_t imageSize; // bytes of the whole picture
};

// The layout of a format; false for sizes that are not positive and even.
bool ComputeFrameLayout(TestCamSubtype subtype, LONG width, LONG height, TestFrameLayout* layout);

void WriteFrameCounter(BYTE* frame, uint32_t counter);
// True when `size` covers the counter and the complement matches.
bool ReadFrameCounter(const BYTE* frame, size_t size, uint32_t* counter);

// Draws frame number `counter` into `frame` (at least layout.imageSize bytes), counter included.
void DrawTestFrame(const TestFrameLayout& layout, uint32_t counter, BYTE* frame);
