#include "VideoInfoFormat.h"

#include <amvideo.h>

#include <cstdint>

#include "common/BitmapSize.h"

namespace {

constexpr LONG kPelsPerMeter = 96;

struct SubtypeInfo {
  VideoSubtype id;
  const GUID* guid;
  WORD bitCount;
  DWORD compression;
  const char* name;
};

const SubtypeInfo kSubtypes[] = {
    {VideoSubtype::kRgb24, &kSubtypeRgb24, 24, BI_RGB, "RGB24"},
    {VideoSubtype::kRgb32, &kSubtypeRgb32, 32, BI_RGB, "RGB32"},
    {VideoSubtype::kYuy2, &kSubtypeYuy2, 16, MakeFourcc('Y', 'U', 'Y', '2'), "YUY2"},
    {VideoSubtype::kNv12, &kSubtypeNv12, 12, MakeFourcc('N', 'V', '1', '2'), "NV12"},
};

}  // namespace

HRESULT BuildVideoInfoType(LONG width, LONG height, VideoSubtype subtype, CMediaType* out) {
  if (out == nullptr) return E_POINTER;
  const SubtypeInfo* info = nullptr;
  for (const SubtypeInfo& candidate : kSubtypes) {
    if (candidate.id == subtype) info = &candidate;
  }
  uint64_t imageSize = 0;
  if (info == nullptr || !CheckedBitmapSize(width, height, info->bitCount, nullptr, &imageSize)) return E_INVALIDARG;

  VIDEOINFOHEADER format = {};
  format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  format.bmiHeader.biWidth = width;
  format.bmiHeader.biHeight = height;
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = info->bitCount;
  format.bmiHeader.biCompression = info->compression;
  format.bmiHeader.biSizeImage = static_cast<DWORD>(imageSize);
  format.bmiHeader.biXPelsPerMeter = kPelsPerMeter;
  format.bmiHeader.biYPelsPerMeter = kPelsPerMeter;

  AM_MEDIA_TYPE type = {};
  type.majortype = kMediaTypeVideo;
  type.subtype = *info->guid;
  type.bFixedSizeSamples = TRUE;
  type.bTemporalCompression = FALSE;
  type.lSampleSize = static_cast<ULONG>(imageSize);
  type.formattype = kFormatVideoInfo;
  type.cbFormat = sizeof(format);
  type.pbFormat = reinterpret_cast<BYTE*>(&format);
  return out->CopyFrom(type);
}

const char* VideoSubtypeName(const GUID& subtype) {
  for (const SubtypeInfo& candidate : kSubtypes) {
    if (IsEqualGUID(subtype, *candidate.guid)) return candidate.name;
  }
  return nullptr;
}

const GUID& VideoSubtypeGuid(VideoSubtype subtype) {
  for (const SubtypeInfo& candidate : kSubtypes) {
    if (candidate.id == subtype) return *candidate.guid;
  }
  return GUID_NULL;
}
