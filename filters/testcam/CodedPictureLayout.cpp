// Drawing the coded test picture: each of its three bands is one row repeated, so a frame costs
// three row builds and a copy per row.
#include "filters/testcam/CodedPictureLayout.h"

#include <cstring>
#include <vector>

namespace {

int Clamp255(double value) { return value < 0 ? 0 : (value > 255 ? 255 : static_cast<int>(value + 0.5)); }

LONG EvenFloor(LONG64 value) { return static_cast<LONG>(value & ~1LL); }

// First column of cell `cell` of eight; cell 8 is the right edge.
LONG CellLeft(int cell, LONG width) {
  return cell >= kBarCount ? width : EvenFloor(static_cast<LONG64>(cell) * width / kBarCount);
}

// One row of a band whose cells show `colours`: the first plane's bytes, and for NV12 the
// interleaved chroma of the rows of that band.
void BuildRow(LONG fourcc, LONG width, const Rgb (&colours)[kBarCount], BYTE* row, BYTE* chroma) {
  for (int cell = 0; cell < kBarCount; ++cell) {
    const Rgb c = colours[cell];
    const Yuv yuv = RgbToYuv(c);
    for (LONG x = CellLeft(cell, width); x < CellLeft(cell + 1, width); ++x) {
      switch (fourcc) {
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
          // Cells start on even columns, so both pixels of a pair share the cell's chroma.
          row[x * 2] = static_cast<BYTE>(yuv.y);
          row[x * 2 + 1] = static_cast<BYTE>((x & 1) ? yuv.v : yuv.u);
          break;
        default:
          row[x] = static_cast<BYTE>(yuv.y);
          chroma[x] = static_cast<BYTE>((x & 1) ? yuv.v : yuv.u);
          break;
      }
    }
  }
}

}  // namespace

Yuv RgbToYuv(const Rgb& c) {
  return {Clamp255(16 + 0.257 * c.r + 0.504 * c.g + 0.098 * c.b),
          Clamp255(128 - 0.148 * c.r - 0.291 * c.g + 0.439 * c.b),
          Clamp255(128 + 0.439 * c.r - 0.368 * c.g - 0.071 * c.b)};
}

Rgb YuvToRgb(const Yuv& c) {
  const double y = 1.164 * (c.y - 16), u = c.u - 128, v = c.v - 128;
  return {Clamp255(y + 1.596 * v), Clamp255(y - 0.392 * u - 0.813 * v), Clamp255(y + 2.017 * u)};
}

bool DrawCodedPicture(const SourceFrame& frame, uint16_t code) {
  FrameLayout layout;
  if (FAILED(DescribeSourceFrame(frame, &layout))) return false;
  enum Band { kBars, kCode, kBottom, kBandCount };
  Rgb colours[kBandCount][kBarCount];
  for (int cell = 0; cell < kBarCount; ++cell) {
    colours[kBars][cell] = kBarColours[cell];
    colours[kCode][cell] = kCodeColours[(code >> (2 * (kCodeBlocks - 1 - cell))) & 3];
    colours[kBottom][cell] = kBottomColour;
  }
  const size_t stride = static_cast<size_t>(frame.stride);
  const size_t pixelBytes = frame.fourcc == kFourccBgr24    ? 3
                            : frame.fourcc == kFourccBgrx32 ? 4
                            : frame.fourcc == kFourccYuy2   ? 2
                                                             : 1;
  const size_t rowBytes = pixelBytes * static_cast<size_t>(frame.width);
  BYTE* const data = const_cast<BYTE*>(frame.data);  // ours to draw into, by this function's contract
  std::vector<BYTE> rows[kBandCount], chroma[kBandCount];
  for (int band = 0; band < kBandCount; ++band) {
    rows[band].assign(rowBytes, 0);
    chroma[band].assign(rowBytes, 0);
    BuildRow(frame.fourcc, frame.width, colours[band], rows[band].data(), chroma[band].data());
  }
  // Band edges on even rows: both luma rows of an NV12 chroma row lie in the same band.
  const LONG codeTop = EvenFloor(static_cast<LONG64>(frame.height) / 4);
  const LONG bottomTop = EvenFloor(static_cast<LONG64>(frame.height) * 3 / 4);
  const auto bandOf = [&](LONG y) { return y < codeTop ? kBars : (y < bottomTop ? kCode : kBottom); };
  for (LONG y = 0; y < frame.height; ++y) {
    const LONG memoryRow = layout.bottomUp ? frame.height - 1 - y : y;
    memcpy(data + static_cast<size_t>(memoryRow) * stride, rows[bandOf(y)].data(), rowBytes);
  }
  if (frame.fourcc == kFourccNv12) {
    BYTE* plane = data + stride * static_cast<size_t>(frame.height);
    for (LONG y = 0; y < frame.height / 2; ++y) {
      memcpy(plane + static_cast<size_t>(y) * stride, chroma[bandOf(2 * y)].data(), rowBytes);
    }
  }
  return true;
}
