// Frame-to-BGR conversion for snapshots of the ring.
#include "FramePixels.h"

#include <cstring>

namespace {

constexpr LONG kMaxDimension = 16384;

BYTE Clamp(int value) { return static_cast<BYTE>(value < 0 ? 0 : (value > 255 ? 255 : value)); }

void YuvToBgr(int y, int u, int v, BYTE* out) {
  const int c = 298 * (y - 16), d = u - 128, e = v - 128;
  out[0] = Clamp((c + 516 * d + 128) >> 8);
  out[1] = Clamp((c - 100 * d - 208 * e + 128) >> 8);
  out[2] = Clamp((c + 409 * e + 128) >> 8);
}

LONG64 MinimalRowBytes(const FrameRingFrame& frame) {
  switch (frame.subtype) {
    case kFourccBgr24: return 3LL * frame.width;
    case kFourccBgrx32: return 4LL * frame.width;
    case kFourccYuy2: return 2LL * frame.width;
    case kFourccNv12: return frame.width;
    default: return 0;
  }
}

}  // namespace

LONG64 RequiredFrameBytes(const FrameRingFrame& frame) {
  if (frame.width <= 0 || frame.height <= 0 || frame.width > kMaxDimension || frame.height > kMaxDimension) return 0;
  const LONG64 rowBytes = MinimalRowBytes(frame);
  if (rowBytes == 0 || frame.stride < rowBytes) return 0;
  if (frame.subtype == kFourccYuy2 && (frame.width & 1)) return 0;
  if (frame.subtype == kFourccNv12) {
    if ((frame.width & 1) || (frame.height & 1)) return 0;
    return static_cast<LONG64>(frame.stride) * frame.height * 3 / 2;
  }
  return static_cast<LONG64>(frame.stride) * frame.height;
}

bool ConvertFrameToBmpRows(const FrameRingFrame& frame, const BYTE* pixels, size_t size, std::vector<BYTE>* rows,
                           LONG* rowBytes) {
  const LONG64 required = RequiredFrameBytes(frame);
  if (required == 0 || pixels == nullptr || static_cast<LONG64>(size) < required) return false;
  const LONG width = frame.width, height = frame.height, stride = frame.stride;
  const LONG outStride = (width * 3 + 3) & ~3;
  rows->assign(static_cast<size_t>(outStride) * static_cast<size_t>(height), 0);
  // Source rows come top row first, except for bottom-up RGB, which is already in BMP order.
  const bool bottomUp = (frame.flags & kFrameFlagBottomUp) != 0 &&
                        (frame.subtype == kFourccBgr24 || frame.subtype == kFourccBgrx32);
  for (LONG row = 0; row < height; ++row) {
    const LONG sourceRow = bottomUp ? row : height - 1 - row;
    const BYTE* in = pixels + static_cast<size_t>(sourceRow) * static_cast<size_t>(stride);
    BYTE* out = rows->data() + static_cast<size_t>(row) * static_cast<size_t>(outStride);
    switch (frame.subtype) {
      case kFourccBgr24:
        memcpy(out, in, static_cast<size_t>(width) * 3);
        break;
      case kFourccBgrx32:
        for (LONG x = 0; x < width; ++x) memcpy(out + x * 3, in + x * 4, 3);
        break;
      case kFourccYuy2:
        for (LONG x = 0; x < width; x += 2) {
          const BYTE* pair = in + x * 2;  // Y0 U Y1 V
          YuvToBgr(pair[0], pair[1], pair[3], out + x * 3);
          YuvToBgr(pair[2], pair[1], pair[3], out + (x + 1) * 3);
        }
        break;
      case kFourccNv12: {
        // Interleaved U, V at half resolution after the luma plane.
        const BYTE* chroma = pixels + static_cast<size_t>(stride) * static_cast<size_t>(height) +
                             static_cast<size_t>(sourceRow / 2) * static_cast<size_t>(stride);
        for (LONG x = 0; x < width; ++x) YuvToBgr(in[x], chroma[x & ~1], chroma[(x & ~1) + 1], out + x * 3);
        break;
      }
      default:
        return false;
    }
  }
  *rowBytes = outStride;
  return true;
}
