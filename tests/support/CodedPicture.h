// Reading the coded test picture after any conversion and scaling; its layout and its drawing
// are those of filters/testcam/CodedPictureLayout.h.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "filters/testcam/CodedPictureLayout.h"
#include "filters/vcam/FrameLayout.h"

// Largest difference of any channel that still counts as the same colour: conversions round,
// YUV clamps, and scaling blends the edges of an area into its neighbours.
constexpr int kColourTolerance = 24;

// The frame description of a buffer in a DirectShow format (a converter's output).
SourceFrame ViewOfTarget(const TargetFormat& format, const BYTE* data, size_t bytes);

// Bytes before the pixels of a 24-bit BMP file (file and bitmap headers, no palette).
constexpr size_t kBmpHeaderBytes = 14 + sizeof(BITMAPINFOHEADER);

// A bottom-up RGB24 picture of width x height in `bytes` from `offset` on, as the rows of a
// 24-bit BMP file and raw RGB24 frames of the test camera both lie.
SourceFrame BottomUpRgb24(const std::vector<BYTE>& bytes, size_t offset, LONG width, LONG height);

// The frame code, when every block is one of kCodeColours; otherwise false and what was found.
bool ReadFrameCode(const SourceFrame& frame, uint16_t* code, std::string* mismatch);

// The frame code of a picture whose bars at the top and grey at the bottom are where they
// belong; otherwise false and what was found.
bool ReadCheckedFrameCode(const SourceFrame& frame, uint16_t* code, std::string* mismatch);
