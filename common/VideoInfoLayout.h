// Where a VIDEOINFOHEADER format block keeps the bitmap size, for code that reads a block another
// process wrote (possibly unaligned or cut short) without casting it.
#pragma once

#include <windows.h>
#include <amvideo.h>

#include <cstddef>

constexpr size_t kVideoInfoWidthOffset = 52;
constexpr size_t kVideoInfoHeightOffset = 56;
constexpr size_t kVideoInfoHeaderSize = 88;

static_assert(offsetof(VIDEOINFOHEADER, bmiHeader) + offsetof(BITMAPINFOHEADER, biWidth) == kVideoInfoWidthOffset,
              "biWidth");
static_assert(offsetof(VIDEOINFOHEADER, bmiHeader) + offsetof(BITMAPINFOHEADER, biHeight) == kVideoInfoHeightOffset,
              "biHeight");
static_assert(sizeof(VIDEOINFOHEADER) == kVideoInfoHeaderSize, "VIDEOINFOHEADER");
