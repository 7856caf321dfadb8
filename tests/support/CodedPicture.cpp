// Drawing and reading the coded test picture in the four frame layouts.
#include "support/CodedPicture.h"

#include <cstdio>
#include <cstdlib>

namespace {

struct Yuv {
  int y;
  int u;
  int v;
};

int Clamp255(double value) { return value < 0 ? 0 : (value > 255 ? 255 : static_cast<int>(value + 0.5)); }

Yuv ToYuv(const Rgb& c) {
  return {Clamp255(16 + 0.257 * c.r + 0.504 * c.g + 0.098 * c.b),
          Clamp255(128 - 0.148 * c.r - 0.291 * c.g + 0.439 * c.b),
          Clamp255(128 + 0.439 * c.r - 0.368 * c.g - 0.071 * c.b)};
}

Rgb ToRgb(double y, double u, double v) {
  const double c = 1.164 * (y - 16), d = u - 128, e = v - 128;
  return {Clamp255(c + 1.596 * e), Clamp255(c - 0.392 * d - 0.813 * e), Clamp255(c + 2.017 * d)};
}

LONG EvenFloor(LONG64 value) { return static_cast<LONG>(value & ~1LL); }

// The picture's colour at a pixel.
Rgb PictureColour(LONG x, LONG y, LONG width, LONG height, uint16_t code) {
  const LONG barsEnd = EvenFloor(static_cast<LONG64>(height) / 4);
  const LONG codeEnd = EvenFloor(static_cast<LONG64>(height) * 3 / 4);
  int cell = 7;
  while (cell > 0 && x < EvenFloor(static_cast<LONG64>(cell) * width / 8)) --cell;
  if (y < barsEnd) return kBarColours[cell];
  if (y < codeEnd) return kCodeColours[(code >> (2 * (kCodeBlocks - 1 - cell))) & 3];
  return kBottomColour;
}

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
      return ToRgb(row[x * 2], pair[1], pair[3]);
    }
    default: {
      const BYTE* chroma = frame.data + static_cast<size_t>(frame.stride) * static_cast<size_t>(frame.height) +
                           static_cast<size_t>(y / 2) * static_cast<size_t>(frame.stride) + (x & ~1);
      return ToRgb(row[x], chroma[0], chroma[1]);
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

}  // namespace

SourceFrame ViewOfTarget(const TargetFormat& format, const BYTE* data, size_t bytes) {
  SourceFrame frame;
  FrameLayout layout;
  if (FAILED(DescribeTargetFormat(format, &layout))) return frame;
  frame.fourcc = format.fourcc;
  frame.width = layout.width;
  frame.height = layout.height;
  frame.stride = layout.stride;
  frame.bottomUp = layout.bottomUp;
  frame.data = data;
  frame.bytes = bytes;
  return frame;
}

bool DrawCodedPicture(const SourceFrame& frame, uint16_t code) {
  FrameLayout layout;
  if (FAILED(DescribeSourceFrame(frame, &layout))) return false;
  BYTE* base = const_cast<BYTE*>(frame.data);  // ours to draw into, by this function's contract
  const LONG width = frame.width, height = frame.height;
  for (LONG y = 0; y < height; ++y) {
    BYTE* row = base + RowOffset(frame, y);
    for (LONG x = 0; x < width; ++x) {
      const Rgb c = PictureColour(x, y, width, height, code);
      const Yuv yuv = ToYuv(c);
      switch (frame.fourcc) {
        case kFourccBgr24:
          row[x * 3] = static_cast<BYTE>(c.b);
          row[x * 3 + 1] = static_cast<BYTE>(c.g);
          row[x * 3 + 2] = static_cast<BYTE>(c.r);
          break;
        case kFourccBgrx32:
          row[x * 4] = static_cast<BYTE>(c.b);
          row[x * 4 + 1] = static_cast<BYTE>(c.g);
          row[x * 4 + 2] = static_cast<BYTE>(c.r);
          row[x * 4 + 3] = 0;  // unused: a converter that took it for alpha would show it
          break;
        case kFourccYuy2:
          row[x * 2] = static_cast<BYTE>(yuv.y);
          row[x * 2 + 1] = static_cast<BYTE>((x & 1) ? yuv.v : yuv.u);
          break;
        default: {
          row[x] = static_cast<BYTE>(yuv.y);
          if ((x & 1) == 0 && (y & 1) == 0) {
            BYTE* chroma = base + static_cast<size_t>(frame.stride) * static_cast<size_t>(height) +
                           static_cast<size_t>(y / 2) * static_cast<size_t>(frame.stride) + x;
            chroma[0] = static_cast<BYTE>(yuv.u);
            chroma[1] = static_cast<BYTE>(yuv.v);
          }
          break;
        }
      }
    }
  }
  return true;
}

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
