// A test picture that can be recognised after any conversion and scaling, and its reader.
// Everything is placed in fractions of the picture, on even pixel boundaries, so every size
// and layout shows the same picture, and YUV chroma of each solid area is exact:
//   top quarter      eight colour bars, left to right (kBarColours)
//   middle half      the frame code: 8 blocks left to right, most significant first, each one
//                    of four colours (kCodeColours), 2 bits a block
//   bottom quarter   grey (a picture upside down reads grey where the bars belong)
// YUV is BT.601 studio range, as the converter and cameras use it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "filters/vcam/FrameLayout.h"

struct Rgb {
  int r;
  int g;
  int b;
};

constexpr int kCodeBlocks = 8;
constexpr Rgb kBarColours[8] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                                {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};
constexpr Rgb kCodeColours[4] = {{0, 0, 0}, {255, 255, 255}, {255, 0, 0}, {0, 0, 255}};
constexpr Rgb kBottomColour = {128, 128, 128};
// Largest difference of any channel that still counts as the same colour: conversions round,
// YUV clamps, and scaling blends the edges of an area into its neighbours.
constexpr int kColourTolerance = 24;

// The frame description of a buffer in a DirectShow format (a converter's output).
SourceFrame ViewOfTarget(const TargetFormat& format, const BYTE* data, size_t bytes);

// Draws the picture with `code` into the frame; frame.data must point to writable memory.
// false when the description is unusable.
bool DrawCodedPicture(const SourceFrame& frame, uint16_t code);

// The mean colour around a point given in fractions of the width and height from the top left.
bool SampleColour(const SourceFrame& frame, double x, double y, Rgb* colour);

// The frame code, when every block is one of kCodeColours; otherwise false and what was found.
bool ReadFrameCode(const SourceFrame& frame, uint16_t* code, std::string* mismatch);

// The bars at the top and the grey at the bottom are where they belong.
bool CheckBarsAndBottom(const SourceFrame& frame, std::string* mismatch);
