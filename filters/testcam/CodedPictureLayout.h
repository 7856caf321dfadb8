// The coded test picture: a picture that can be recognised after any conversion and scaling,
// carrying a 16-bit frame code. The test cameras draw it into every frame; tests read it back
// (tests/support/CodedPicture.h). Everything is placed in fractions of the picture, on even
// pixel boundaries, so every size and layout shows the same picture and the YUV chroma of each
// solid area is exact:
//   top quarter      eight colour bars, left to right (kBarColours)
//   middle half      the frame code: 8 blocks left to right, most significant first, each one
//                    of four colours (kCodeColours), 2 bits a block
//   bottom quarter   grey (a picture upside down reads grey where the bars belong)
// YUV is BT.601 studio range, as cameras deliver it.
//
// A test camera's frame code: bits 15..8 (the four left blocks) hold the camera's index in
// kTestCameraProfiles, bits 7..0 (the four right blocks) the low byte of the frame number.
//
// Plain functions, no COM; any thread.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "filters/vcam/FrameLayout.h"

struct Rgb {
  int r;
  int g;
  int b;
};

struct Yuv {
  int y;
  int u;
  int v;
};

constexpr int kCodeBlocks = 8;
constexpr int kBarCount = 8;
constexpr Rgb kBarColours[kBarCount] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                                        {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};
constexpr Rgb kCodeColours[4] = {{0, 0, 0}, {255, 255, 255}, {255, 0, 0}, {0, 0, 255}};
constexpr Rgb kBottomColour = {128, 128, 128};

constexpr int kFrameCodeCameraShift = 8;
constexpr uint16_t kFrameCodeCounterMask = 0xFF;

constexpr uint16_t TestCameraFrameCode(size_t cameraIndex, uint32_t frameNumber) {
  return static_cast<uint16_t>(((cameraIndex & 0xFF) << kFrameCodeCameraShift) | (frameNumber & kFrameCodeCounterMask));
}
constexpr size_t FrameCodeCamera(uint16_t code) { return static_cast<size_t>(code >> kFrameCodeCameraShift); }
constexpr uint32_t FrameCodeCounter(uint16_t code) { return code & kFrameCodeCounterMask; }

// BT.601 studio range, both ways; results clamped to 0..255.
Yuv RgbToYuv(const Rgb& colour);
Rgb YuvToRgb(const Yuv& colour);

// Draws the picture with `code` into the frame, whose data must point to writable memory: the
// pixels of every row, leaving row padding as it was. false, with nothing drawn, when
// DescribeSourceFrame refuses the description.
bool DrawCodedPicture(const SourceFrame& frame, uint16_t code);
