// Command-line values that describe video: a frame size and a subtype name.
#pragma once

#include <windows.h>

#include "ipc/VideoInfoFormat.h"

// Largest side a command takes.
constexpr long long kMaxArgumentSide = 16384;

// "WIDTHxHEIGHT": width 1 to 16384, height -16384 to 16384 and not 0 (negative: top-down).
bool ParseFrameSize(const wchar_t* text, LONG* width, LONG* height);

// RGB24, RGB32, YUY2 or NV12, as written.
bool ParseVideoSubtype(const wchar_t* text, VideoSubtype* subtype);
