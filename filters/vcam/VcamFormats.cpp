// The virtual camera's capability list and the matching of proposed media types against it.
#include "filters/vcam/VcamFormats.h"

#include <climits>
#include <cstring>

#include "filters/base/StreamCaps.h"

namespace {

struct Size {
  LONG width;
  LONG height;
};
constexpr Size kSizes[] = {{640, 480}, {1280, 720}, {1920, 1080}, {320, 240}};
constexpr VideoSubtype kLayouts[] = {VideoSubtype::kRgb24, VideoSubtype::kRgb32, VideoSubtype::kYuy2,
                                     VideoSubtype::kNv12};
constexpr size_t kLayoutCount = sizeof(kLayouts) / sizeof(kLayouts[0]);
static_assert(sizeof(kSizes) / sizeof(kSizes[0]) * kLayoutCount == kVcamFormatCount, "capability count");

LONG RingFourcc(VideoSubtype subtype) {
  switch (subtype) {
    case VideoSubtype::kRgb24: return kFourccBgr24;
    case VideoSubtype::kRgb32: return kFourccBgrx32;
    case VideoSubtype::kYuy2: return kFourccYuy2;
    case VideoSubtype::kNv12: return kFourccNv12;
  }
  return 0;
}

LONG AbsoluteHeight(LONG height) { return height < 0 ? -height : height; }

}  // namespace

VcamFormat VcamFormatAt(size_t index) {
  if (index >= kVcamFormatCount) index = 0;
  const Size& size = kSizes[index / kLayoutCount];
  return {size.width, size.height, kLayouts[index % kLayoutCount]};
}

HRESULT BuildVcamMediaType(size_t index, CMediaType* type) {
  if (type == nullptr) return E_POINTER;
  if (index >= kVcamFormatCount) return E_INVALIDARG;
  const VcamFormat format = VcamFormatAt(index);
  const HRESULT hr = BuildVideoInfoType(format.width, format.height, format.subtype, type);
  if (FAILED(hr)) return hr;
  VIDEOINFOHEADER* info = type->VideoInfo();
  if (info == nullptr) return E_OUTOFMEMORY;
  info->AvgTimePerFrame = kVcamFrameInterval;
  info->dwBitRate = static_cast<DWORD>(static_cast<ULONGLONG>(info->bmiHeader.biSizeImage) * 8 * kUnitsPerSecond /
                                       kVcamFrameInterval);
  return S_OK;
}

void BuildVcamStreamCaps(size_t index, VIDEO_STREAM_CONFIG_CAPS* caps) {
  const VcamFormat format = VcamFormatAt(index);
  CMediaType type;
  const LONGLONG bits = SUCCEEDED(BuildVcamMediaType(index, &type)) ? static_cast<LONGLONG>(type->lSampleSize) * 8 : 0;
  FillFixedSizeStreamCaps(format.width, format.height, kVcamMinFrameInterval, kVcamMaxFrameInterval,
                          static_cast<LONG>(bits * kUnitsPerSecond / kVcamMaxFrameInterval),
                          static_cast<LONG>(bits * kUnitsPerSecond / kVcamMinFrameInterval), caps);
}

bool FindVcamFormat(const AM_MEDIA_TYPE& type, size_t* index) {
  if (!IsEqualGUID(type.majortype, kMediaTypeVideo) || !IsEqualGUID(type.formattype, kFormatVideoInfo) ||
      type.pbFormat == nullptr || type.cbFormat < sizeof(VIDEOINFOHEADER)) {
    return false;
  }
  VIDEOINFOHEADER proposed;
  std::memcpy(&proposed, type.pbFormat, sizeof(proposed));
  const BITMAPINFOHEADER& bitmap = proposed.bmiHeader;
  const REFERENCE_TIME interval = proposed.AvgTimePerFrame;
  if (interval != 0 && (interval < kVcamMinFrameInterval || interval > kVcamMaxFrameInterval)) return false;
  if (bitmap.biHeight == LONG_MIN) return false;
  const LONG height = AbsoluteHeight(bitmap.biHeight);
  const RECT& target = proposed.rcTarget;
  const bool wholeTarget = (target.left == 0 && target.top == 0 && target.right == 0 && target.bottom == 0) ||
                           (target.left == 0 && target.top == 0 && target.right == bitmap.biWidth &&
                            target.bottom == height);
  if (!wholeTarget) return false;
  for (size_t i = 0; i < kVcamFormatCount; ++i) {
    CMediaType ours;
    if (FAILED(BuildVcamMediaType(i, &ours))) return false;
    const BITMAPINFOHEADER& canonical = ours.VideoInfo()->bmiHeader;
    if (!IsEqualGUID(type.subtype, ours->subtype) || bitmap.biWidth != canonical.biWidth ||
        height != canonical.biHeight || bitmap.biBitCount != canonical.biBitCount ||
        bitmap.biCompression != canonical.biCompression) {
      continue;
    }
    if (bitmap.biSizeImage != 0 && bitmap.biSizeImage < canonical.biSizeImage) return false;
    if (index != nullptr) *index = i;
    return true;
  }
  return false;
}

bool VcamTargetOf(const AM_MEDIA_TYPE& type, TargetFormat* target, size_t* imageBytes, REFERENCE_TIME* interval) {
  size_t index = 0;
  if (!FindVcamFormat(type, &index)) return false;
  VIDEOINFOHEADER info;
  std::memcpy(&info, type.pbFormat, sizeof(info));
  target->fourcc = RingFourcc(VcamFormatAt(index).subtype);
  target->width = info.bmiHeader.biWidth;
  target->height = info.bmiHeader.biHeight;
  FrameLayout layout;
  if (FAILED(DescribeTargetFormat(*target, &layout))) return false;
  *imageBytes = static_cast<size_t>(layout.imageBytes);
  *interval = info.AvgTimePerFrame > 0 ? info.AvgTimePerFrame : kVcamFrameInterval;
  return true;
}
