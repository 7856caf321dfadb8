// Drawing of the moving test pattern and the frame counter at the start of every picture.
#include "filters/testcam/TestPattern.h"

#include <cstring>
#include <vector>

#include "common/BitmapSize.h"

namespace {
struct Rgb {
  BYTE r, g, b;
};
struct Yuv {
  BYTE y, u, v;
};

constexpr Rgb kBarsRgb[8] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                             {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};
// The same bars in limited-range BT.601.
constexpr Yuv kBarsYuv[8] = {{235, 128, 128}, {210, 16, 146}, {170, 166, 16}, {145, 54, 34},
                             {106, 202, 222}, {81, 90, 240},  {41, 240, 110}, {16, 128, 128}};

constexpr LONG kMovingBarWidth = 16;
constexpr LONG kMovingBarStep = 8;
constexpr LONG kBandHeight = 8;
constexpr LONG kBandStep = 4;

bool InMovingBar(LONG x, LONG width, uint32_t counter) {
  const LONG start = static_cast<LONG>((static_cast<uint64_t>(counter) * kMovingBarStep) % width);
  const LONG offset = (x - start + width) % width;
  return offset < kMovingBarWidth;
}

bool InBand(LONG row, LONG height, uint32_t counter) {
  const LONG start = static_cast<LONG>((static_cast<uint64_t>(counter) * kBandStep) % height);
  const LONG offset = (row - start + height) % height;
  return offset < kBandHeight;
}

size_t BarIndex(LONG x, LONG width) { return static_cast<size_t>((static_cast<int64_t>(x) * 8) / width); }

// Fills rows [0, rows) of a plane with `row` or, inside the moving band, `inverted`.
void FillPlane(BYTE* plane, LONG stride, LONG rows, LONG bandHeight, uint32_t counter, const std::vector<BYTE>& row,
               const std::vector<BYTE>& inverted) {
  for (LONG y = 0; y < rows; ++y) {
    const std::vector<BYTE>& source = InBand(y, bandHeight, counter) ? inverted : row;
    std::memcpy(plane + static_cast<size_t>(y) * stride, source.data(), source.size());
  }
}

std::vector<BYTE> Inverted(const std::vector<BYTE>& row) {
  std::vector<BYTE> result(row);
  for (BYTE& value : result) value = static_cast<BYTE>(255 - value);
  return result;
}
}  // namespace

bool ComputeFrameLayout(TestCamSubtype subtype, LONG width, LONG height, TestFrameLayout* layout) {
  if (layout == nullptr || width <= 0 || height <= 0 || (width % 2) != 0 || (height % 2) != 0) return false;
  layout->subtype = subtype;
  layout->width = width;
  layout->height = height;
  switch (subtype) {
    case TestCamSubtype::Rgb24:
      layout->stride = static_cast<LONG>(BitmapStride(width, 24));
      layout->imageSize = BitmapImageSize(width, height, 24);
      break;
    case TestCamSubtype::Yuy2:
      layout->stride = width * 2;
      layout->imageSize = static_cast<size_t>(layout->stride) * height;
      break;
    case TestCamSubtype::Nv12:
      layout->stride = width;
      layout->imageSize = static_cast<size_t>(width) * height * 3 / 2;
      break;
    default:
      return false;
  }
  return true;
}

void WriteFrameCounter(BYTE* frame, uint32_t counter) {
  const uint32_t complement = ~counter;
  for (int i = 0; i < 4; ++i) {
    frame[i] = static_cast<BYTE>(counter >> (8 * i));
    frame[4 + i] = static_cast<BYTE>(complement >> (8 * i));
  }
}

bool ReadFrameCounter(const BYTE* frame, size_t size, uint32_t* counter) {
  if (frame == nullptr || counter == nullptr || size < kFrameCounterBytes) return false;
  uint32_t value = 0;
  uint32_t complement = 0;
  for (int i = 0; i < 4; ++i) {
    value |= static_cast<uint32_t>(frame[i]) << (8 * i);
    complement |= static_cast<uint32_t>(frame[4 + i]) << (8 * i);
  }
  if (value != ~complement) return false;
  *counter = value;
  return true;
}

void DrawTestFrame(const TestFrameLayout& layout, uint32_t counter, BYTE* frame) {
  const LONG width = layout.width;
  std::vector<BYTE> row(static_cast<size_t>(layout.stride), 0);
  switch (layout.subtype) {
    case TestCamSubtype::Rgb24: {
      for (LONG x = 0; x < width; ++x) {
        const Rgb c = InMovingBar(x, width, counter) ? Rgb{255, 255, 255} : kBarsRgb[BarIndex(x, width)];
        BYTE* pixel = &row[static_cast<size_t>(x) * 3];
        pixel[0] = c.b;  // DIB order
        pixel[1] = c.g;
        pixel[2] = c.r;
      }
      FillPlane(frame, layout.stride, layout.height, layout.height, counter, row, Inverted(row));
      break;
    }
    case TestCamSubtype::Yuy2: {
      for (LONG x = 0; x < width; x += 2) {
        const Yuv c = InMovingBar(x, width, counter) ? Yuv{235, 128, 128} : kBarsYuv[BarIndex(x, width)];
        BYTE* pair = &row[static_cast<size_t>(x) * 2];
        pair[0] = c.y;
        pair[1] = c.u;
        pair[2] = c.y;
        pair[3] = c.v;
      }
      FillPlane(frame, layout.stride, layout.height, layout.height, counter, row, Inverted(row));
      break;
    }
    case TestCamSubtype::Nv12: {
      std::vector<BYTE> chroma(static_cast<size_t>(width), 0);
      for (LONG x = 0; x < width; x += 2) {
        const Yuv c = InMovingBar(x, width, counter) ? Yuv{235, 128, 128} : kBarsYuv[BarIndex(x, width)];
        row[static_cast<size_t>(x)] = c.y;
        row[static_cast<size_t>(x) + 1] = c.y;
        chroma[static_cast<size_t>(x)] = c.u;
        chroma[static_cast<size_t>(x) + 1] = c.v;
      }
      FillPlane(frame, layout.stride, layout.height, layout.height, counter, row, Inverted(row));
      // The chroma plane gets a band of its own; it need not line up with the luma band.
      BYTE* uv = frame + static_cast<size_t>(layout.stride) * layout.height;
      FillPlane(uv, layout.stride, layout.height / 2, layout.height / 2, counter, chroma, Inverted(chroma));
      break;
    }
  }
  WriteFrameCounter(frame, counter);
}
