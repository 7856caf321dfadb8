// The test camera's pictures: the coded picture of CodedPictureLayout.h, whose frame code names
// the camera and the frame, plus a frame counter in the first bytes that readers can check.
//
// Frame counter encoding (every sample, every subtype): bytes 0..3 of the sample buffer hold the
// frame number as a 32-bit little-endian integer, bytes 4..7 hold its bitwise complement (so a
// torn or foreign buffer is detected). The number starts at 0 each time the filter leaves
// Stopped and grows by one per frame produced; a gap means a frame was dropped on the way.
// The counter covers a few pixels at the corner of the first row in memory (the bottom left of
// a bottom-up RGB picture, the top left otherwise), away from where the picture is read.
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
  bool bottomUp;    // RGB24 rows stored bottom row first (a positive biHeight)
};

// The layout of a format (RGB24 bottom-up); false for sizes that are not positive and even.
bool ComputeFrameLayout(TestCamSubtype subtype, LONG width, LONG height, TestFrameLayout* layout);

void WriteFrameCounter(BYTE* frame, uint32_t counter);
// True when `size` covers the counter and the complement matches.
bool ReadFrameCounter(const BYTE* frame, size_t size, uint32_t* counter);

// Draws frame number `counter` of camera `cameraIndex` (its index in kTestCameraProfiles) into
// `frame` (at least layout.imageSize bytes): the coded picture with TestCameraFrameCode, then the
// counter.
void DrawTestFrame(const TestFrameLayout& layout, size_t cameraIndex, uint32_t counter, BYTE* frame);
