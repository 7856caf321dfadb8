// Reading the coded test picture after any conversion and scaling; its layout and its drawing
// are those of filters/testcam/CodedPictureLayout.h.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "filters/testcam/CodedPictureLayout.h"
#include "filters/vcam/FrameLayout.h"

// Largest difference of any channel that still counts as the same colour: conversions round,
// YUV clamps, and scaling blends the edges of an area into its neighbours.
constexpr int kColourTolerance = 24;

// The frame description of a buffer in a DirectShow format (a converter's output).
SourceFrame ViewOfTarget(const TargetFormat& format, const BYTE* data, size_t bytes);

// The mean colour around a point given in fractions of the width and height from the top left.
bool SampleColour(const SourceFrame& frame, double x, double y, Rgb* colour);

// The frame code, when every block is one of kCodeColours; otherwise false and what was found.
bool ReadFrameCode(const SourceFrame& frame, uint16_t* code, std::string* mismatch);

// The bars at the top and the grey at the bottom are where they belong.
bool CheckBarsAndBottom(const SourceFrame& frame, std::string* mismatch);
