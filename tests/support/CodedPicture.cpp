// Reading the coded test picture in the four frame layouts.
#include "support/CodedPicture.h"

#include "common/BitmapSize.h"

#include <cstdio>
#include <cstdlib>

namespace {

// The memory row of picture row y (0 = top).
size_t RowOffset(const SourceFrame& frame, LONG y) {
  const LONG row = frame.bottomUp ? frame.height - 1 - y : y;
  return static_cast<size_t>(row) * static_cast<size_t>(frame.stride);
}

Rgb PixelColour(const SourceFrame& frame, LONG x, LONG y) {
  const BYTE* row = frame.data + RowOffset(frame, y);
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

std::string Describe(const char* what, int index, const Rgb& found) {
  char text[96];
  snprintf(text, sizeof(text), "%s %d is (%d,%d,%d)", what, index, found.r, found.g, found.b);
  return text;
}

// Centre of cell `cell` of eight, as a fraction of the width.
double CellCentre(int cell) { return (cell + 0.5) / 8.0; }

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
  colour->r = static_cast<int>(r / count);
  colour->g = static_cast<int>(g / count);
  colour->b = static_cast<int>(b / count);
  return true;
}

// The bars at the top and the grey at the bottom are where they belong.
bool CheckBarsAndBottom(const SourceFrame& frame, std::string* mismatch) {
  for (int cell = 0; cell < 8; ++cell) {
    Rgb bar, bottom;
    if (!SampleColour(frame, CellCentre(cell), 0.125, &bar) || !SampleColour(frame, CellCentre(cell), 0.875, &bottom)) {
      *mismatch = "unusable frame description";
      return false;
    }
    if (!Near(bar, kBarColours[cell])) {
      *mismatch = Describe("bar", cell, bar);
      return false;
    }
    if (!Near(bottom, kBottomColour)) {
      *mismatch = Describe("bottom cell", cell, bottom);
      return false;
    }
  }
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
  uint16_t value = 0;
  for (int cell = 0; cell < kCodeBlocks; ++cell) {
    Rgb found;
    if (!SampleColour(frame, CellCentre(cell), 0.5, &found)) {
      *mismatch = "unusable frame description";
      return false;
    }
    int digit = -1;
    for (int i = 0; i < 4; ++i) {
      if (Near(found, kCodeColours[i])) digit = i;
    }
    if (digit < 0) {
      *mismatch = Describe("code block", cell, found);
      return false;
    }
    value = static_cast<uint16_t>((value << 2) | digit);
  }
  *code = value;
  return true;
}

bool ReadCheckedFrameCode(const SourceFrame& frame, uint16_t* code, std::string* mismatch) {
  return CheckBarsAndBottom(frame, mismatch) && ReadFrameCode(frame, code, mismatch);
}
