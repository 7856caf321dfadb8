// Reading the coded test picture in the four frame layouts.
#include "support/CodedPicture.h"

#include "common/BitmapSize.h"

#include <cstdio>
#include <cstdlib>

namespace {

// Picture row y counts from the top.
Rgb PixelColour(const SourceFrame& frame, LONG x, LONG y) {
  const BYTE* row = frame.data + static_cast<size_t>(frame.bottomUp ? frame.height - 1 - y : y) * frame.stride;
  switch (frame.fourcc) {
    case kFourccBgr24: return {row[x * 3 + 2], row[x * 3 + 1], row[x * 3]};
    case kFourccBgrx32: return {row[x * 4 + 2], row[x * 4 + 1], row[x * 4]};
    case kFourccYuy2: {
      const BYTE* pair = row + (x & ~1) * 2;
      return YuvToRgb({row[x * 2], pair[1], pair[3]});
    }
    default: {
      const BYTE* chroma = frame.data + static_cast<size_t>(frame.stride) * static_cast<size_t>(frame.height) +
                           static_cast<size_t>(y / 2) * static_cast<size_t>(frame.stride) + (x & ~1);
      return YuvToRgb({row[x], chroma[0], chroma[1]});
    }
  }
}

bool Near(const Rgb& a, const Rgb& b) {
  return std::abs(a.r - b.r) <= kColourTolerance && std::abs(a.g - b.g) <= kColourTolerance &&
         std::abs(a.b - b.b) <= kColourTolerance;
}

// The mean colour around a point given in fractions of the width and height from the top left.
bool SampleColour(const SourceFrame& frame, double x, double y, Rgb* colour) {
  FrameLayout layout;
  if (FAILED(DescribeSourceFrame(frame, &layout)) || x < 0 || x >= 1 || y < 0 || y >= 1) return false;
  const LONG cx = static_cast<LONG>(x * frame.width), cy = static_cast<LONG>(y * frame.height);
  const LONG rx = frame.width / 64, ry = frame.height / 32;
  LONG64 r = 0, g = 0, b = 0, count = 0;
  for (LONG py = cy - ry; py <= cy + ry; ++py) {
    for (LONG px = cx - rx; px <= cx + rx; ++px) {
      if (px < 0 || py < 0 || px >= frame.width || py >= frame.height) continue;
      const Rgb c = PixelColour(frame, px, py);
      r += c.r;
      g += c.g;
      b += c.b;
      ++count;
    }
  }
  *colour = Rgb{static_cast<int>(r / count), static_cast<int>(g / count), static_cast<int>(b / count)};
  return true;
}

// The code of the blocks across the middle; with `checked`, the bars at the top and the grey at
// the bottom must be where they belong too.
bool ReadCode(const SourceFrame& frame, bool checked, uint16_t* code, std::string* mismatch) {
  uint16_t value = 0;
  for (int cell = 0; cell < kCodeBlocks; ++cell) {
    const double x = (cell + 0.5) / kCodeBlocks;
    Rgb bar, block, bottom;
    if (!SampleColour(frame, x, 0.125, &bar) || !SampleColour(frame, x, 0.5, &block) ||
        !SampleColour(frame, x, 0.875, &bottom)) {
      *mismatch = "unusable frame description";
      return false;
    }
    int digit = -1;
    for (int i = 0; i < 4; ++i) {
      if (Near(block, kCodeColours[i])) digit = i;
    }
    const struct {
      const char* what;
      const Rgb& found;
      bool right;
    } parts[] = {{"bar", bar, !checked || Near(bar, kBarColours[cell])},
                 {"bottom cell", bottom, !checked || Near(bottom, kBottomColour)},
                 {"code block", block, digit >= 0}};
    for (const auto& part : parts) {
      if (part.right) continue;
      char text[96];
      snprintf(text, sizeof(text), "%s %d is (%d,%d,%d)", part.what, cell, part.found.r, part.found.g, part.found.b);
      *mismatch = text;
      return false;
    }
    value = static_cast<uint16_t>((value << 2) | digit);
  }
  *code = value;
  return true;
}

}  // namespace

SourceFrame BottomUpRgb24(const std::vector<BYTE>& bytes, size_t offset, LONG width, LONG height) {
  if (offset > bytes.size()) return SourceFrame{};
  const LONG stride = static_cast<LONG>(BitmapStride(width, 24));
  return SourceFrame{kFourccBgr24, width, height, stride, true, bytes.data() + offset, bytes.size() - offset};
}

SourceFrame ViewOfTarget(const TargetFormat& format, const BYTE* data, size_t bytes) {
  FrameLayout layout;
  if (FAILED(DescribeTargetFormat(format, &layout))) return SourceFrame{};
  return SourceFrame{format.fourcc, layout.width, layout.height, layout.stride, layout.bottomUp, data, bytes};
}

bool ReadFrameCode(const SourceFrame& frame, uint16_t* code, std::string* mismatch) {
  return ReadCode(frame, false, code, mismatch);
}

bool ReadCheckedFrameCode(const SourceFrame& frame, uint16_t* code, std::string* mismatch) {
  return ReadCode(frame, true, code, mismatch);
}
