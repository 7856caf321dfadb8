// Layout rules of source frames and DirectShow target formats.
#include "filters/vcam/FrameLayout.h"

#include <climits>

#include "common/BitmapSize.h"

namespace {

bool IsRgb(LONG fourcc) { return fourcc == kFourccBgr24 || fourcc == kFourccBgrx32; }

// Bytes of the pixels of one row; 0 for a subtype we do not know.
LONG64 RowBytes(LONG fourcc, LONG width) {
  switch (fourcc) {
    case kFourccBgr24: return 3LL * width;
    case kFourccBgrx32: return 4LL * width;
    case kFourccYuy2: return 2LL * width;
    case kFourccNv12: return width;
    default: return 0;
  }
}

// Sides in range, and even where chroma is shared: YUY2 pairs columns, NV12 columns and rows.
bool SidesUsable(LONG fourcc, LONG width, LONG height) {
  if (width <= 0 || height <= 0 || width > kMaxFrameSide || height > kMaxFrameSide) return false;
  if (fourcc == kFourccYuy2 && (width & 1)) return false;
  if (fourcc == kFourccNv12 && ((width & 1) || (height & 1))) return false;
  return RowBytes(fourcc, width) != 0;
}

LONG64 ImageBytes(LONG fourcc, LONG64 stride, LONG height) {
  return fourcc == kFourccNv12 ? stride * height * 3 / 2 : stride * height;
}

}  // namespace

HRESULT DescribeSourceFrame(const SourceFrame& frame, FrameLayout* layout) {
  if (layout == nullptr) return E_POINTER;
  if (!SidesUsable(frame.fourcc, frame.width, frame.height)) return kErrBadFrameLayout;
  if (frame.stride < RowBytes(frame.fourcc, frame.width)) return kErrBadFrameLayout;
  const LONG64 imageBytes = ImageBytes(frame.fourcc, frame.stride, frame.height);
  // The conversions address rows with 32-bit offsets.
  if (imageBytes > INT_MAX) return kErrBadFrameLayout;
  if (frame.data == nullptr) return E_POINTER;
  if (static_cast<unsigned long long>(imageBytes) > frame.bytes) return kErrBufferTooSmall;
  layout->width = frame.width;
  layout->height = frame.height;
  layout->stride = frame.stride;
  layout->imageBytes = imageBytes;
  layout->bottomUp = frame.bottomUp && IsRgb(frame.fourcc);
  return S_OK;
}

HRESULT DescribeTargetFormat(const TargetFormat& format, FrameLayout* layout) {
  if (layout == nullptr) return E_POINTER;
  if (format.height == LONG_MIN) return kErrBadFrameLayout;
  const LONG height = format.height < 0 ? -format.height : format.height;
  if (!SidesUsable(format.fourcc, format.width, height)) return kErrBadFrameLayout;
  const LONG64 stride = IsRgb(format.fourcc)
                           ? BitmapStride(format.width, format.fourcc == kFourccBgr24 ? 24 : 32)
                           : RowBytes(format.fourcc, format.width);
  layout->width = format.width;
  layout->height = height;
  layout->stride = static_cast<LONG>(stride);
  layout->imageBytes = ImageBytes(format.fourcc, stride, height);
  layout->bottomUp = IsRgb(format.fourcc) && format.height > 0;
  return S_OK;
}

SourceFrame SourceFrameOf(const FrameRingFrame& frame, const BYTE* data, size_t bytes) {
  SourceFrame source;
  source.fourcc = frame.subtype;
  source.width = frame.width;
  source.height = frame.height;
  source.stride = frame.stride;
  source.bottomUp = (frame.flags & kFrameFlagBottomUp) != 0;
  source.data = data;
  source.bytes = bytes;
  return source;
}
