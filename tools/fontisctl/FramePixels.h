// Turning a frame of the ring into 24-bit BGR rows, bottom row first, as a BMP file stores them.
// Plain functions, callable from any thread.
#pragma once

#include <windows.h>

#include <cstddef>
#include <vector>

#include "framering/FrameRing.h"

// Bytes that a frame of this description needs at least; 0 when the description is unusable
// (unknown subtype, sizes out of range, a stride shorter than a row, odd NV12 sizes).
LONG64 RequiredFrameBytes(const FrameRingFrame& frame);

// Fills rows with height rows of rowBytes (width x 3 rounded up to 4) bytes each. YUY2 and NV12
// are converted with the BT.601 studio-range matrix. false when size is below
// RequiredFrameBytes or the description is unusable.
bool ConvertFrameToBmpRows(const FrameRingFrame& frame, const BYTE* pixels, size_t size, std::vector<BYTE>* rows,
                           LONG* rowBytes);
