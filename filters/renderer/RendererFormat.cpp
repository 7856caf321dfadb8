// Media type checks of the capture renderer.
#include "filters/renderer/RendererFormat.h"

#include <amvideo.h>
#include <dvdmedia.h>
#include <uuids.h>
#include <vfwmsgs.h>

#include <cstddef>
#include <climits>
#include <cstdint>
#include <cstring>

#include "common/BitmapSize.h"
#include "framering/FrameRing.h"

namespace {

struct SubtypeLayout {
  const GUID* subtype;
  WORD bitCount;
  DWORD compression;
  LONG fourcc;
};

const SubtypeLayout kLayouts[] = {
    {&MEDIASUBTYPE_RGB24, 24, BI_RGB, kFourccBgr24},
    {&MEDIASUBTYPE_RGB32, 32, BI_RGB, kFourccBgrx32},
    {&MEDIASUBTYPE_YUY2, 16, static_cast<DWORD>(MakeFourcc('Y', 'U', 'Y', '2')), kFourccYuy2},
    {&MEDIASUBTYPE_NV12, 12, static_cast<DWORD>(MakeFourcc('N', 'V', '1', '2')), kFourccNv12},
};

bool RectInside(const RECT& rect, LONG width, LONG height) {
  if (rect.left == 0 && rect.top == 0 && rect.right == 0 && rect.bottom == 0) return true;
  return rect.left >= 0 && rect.top >= 0 && rect.left < rect.right && rect.top < rect.bottom &&
         rect.right <= width && rect.bottom <= height;
}

}  // namespace

HRESULT ParseRendererFormat(const AM_MEDIA_TYPE& type, RendererFormat* out) {
  if (type.majortype != MEDIATYPE_Video || type.formattype != FORMAT_VideoInfo) return VFW_E_TYPE_NOT_ACCEPTED;
  if (type.pbFormat == nullptr || type.cbFormat < sizeof(VIDEOINFOHEADER)) return VFW_E_TYPE_NOT_ACCEPTED;
  const SubtypeLayout* layout = nullptr;
  for (const SubtypeLayout& candidate : kLayouts) {
    if (type.subtype == *candidate.subtype) layout = &candidate;
  }
  if (layout == nullptr) return VFW_E_TYPE_NOT_ACCEPTED;

  // A copy: the block may be unaligned, and nothing may change between check and use.
  VIDEOINFOHEADER info;
  memcpy(&info, type.pbFormat, sizeof(info));
  const BITMAPINFOHEADER& bitmap = info.bmiHeader;
  if (bitmap.biSize < sizeof(BITMAPINFOHEADER) ||
      bitmap.biSize > type.cbFormat - offsetof(VIDEOINFOHEADER, bmiHeader)) {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  const LONG width = bitmap.biWidth;
  if (bitmap.biHeight == LONG_MIN) return VFW_E_TYPE_NOT_ACCEPTED;
  const LONG height = bitmap.biHeight < 0 ? -bitmap.biHeight : bitmap.biHeight;
  if (width <= 0 || height <= 0 || width > kMaxRendererDimension || height > kMaxRendererDimension) {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  if (bitmap.biBitCount != layout->bitCount || bitmap.biCompression != layout->compression ||
      bitmap.biPlanes != 1) {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  const bool isRgb = layout->compression == BI_RGB;
  // Chroma shared by two pixels (and two rows for NV12) needs even sides.
  if (layout->fourcc == kFourccYuy2 && (width & 1)) return VFW_E_TYPE_NOT_ACCEPTED;
  if (layout->fourcc == kFourccNv12 && ((width & 1) || (height & 1))) return VFW_E_TYPE_NOT_ACCEPTED;
  if (!RectInside(info.rcSource, width, height) || !RectInside(info.rcTarget, width, height)) {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }

  // RGB rows are padded to whole 32-bit words; the YUV layouts here have none beyond the width.
  uint64_t rgbStride = 0;
  if (isRgb && !CheckedBitmapSize(width, height, layout->bitCount, &rgbStride, nullptr)) return VFW_E_TYPE_NOT_ACCEPTED;
  const LONG64 stride = isRgb ? static_cast<LONG64>(rgbStride)
                              : (layout->fourcc == kFourccYuy2 ? 2LL * width : static_cast<LONG64>(width));
  const LONG64 imageBytes = layout->fourcc == kFourccNv12 ? stride * height * 3 / 2 : stride * height;
  if (imageBytes > kFrameRingMaxSlotBytes) return VFW_E_TYPE_NOT_ACCEPTED;
  if (bitmap.biSizeImage != 0 && static_cast<LONG64>(bitmap.biSizeImage) != imageBytes) {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  if (type.bFixedSizeSamples && type.lSampleSize != 0 && static_cast<LONG64>(type.lSampleSize) < imageBytes) {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }

  if (out != nullptr) {
    out->width = width;
    out->height = height;
    out->fourcc = layout->fourcc;
    out->stride = static_cast<LONG>(stride);
    out->imageBytes = imageBytes;
    out->bottomUp = isRgb && bitmap.biHeight > 0;
  }
  return S_OK;
}

bool ReadFrameSize(const AM_MEDIA_TYPE& type, FrameSize* size) {
  if (size == nullptr || type.pbFormat == nullptr) return false;
  const size_t bitmapOffset = type.formattype == FORMAT_VideoInfo2 ? offsetof(VIDEOINFOHEADER2, bmiHeader)
                                                                    : offsetof(VIDEOINFOHEADER, bmiHeader);
  const size_t widthOffset = bitmapOffset + offsetof(BITMAPINFOHEADER, biWidth);
  const size_t heightOffset = bitmapOffset + offsetof(BITMAPINFOHEADER, biHeight);
  if (type.cbFormat < heightOffset + sizeof(LONG)) return false;
  LONG width = 0, height = 0;
  memcpy(&width, type.pbFormat + widthOffset, sizeof(width));
  memcpy(&height, type.pbFormat + heightOffset, sizeof(height));
  if (height == LONG_MIN) return false;
  if (height < 0) height = -height;
  if (width <= 0 || height <= 0 || width > kMaxRendererDimension || height > kMaxRendererDimension) return false;
  size->width = width;
  size->height = height;
  return true;
}
