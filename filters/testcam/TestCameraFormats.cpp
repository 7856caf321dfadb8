// Building and recognising the test camera's VIDEOINFOHEADER media types.
#include "filters/testcam/TestCameraFormats.h"

#include <uuids.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "common/VideoGuids.h"
#include "filters/base/StreamCaps.h"

namespace {

WORD BitCount(TestCamSubtype subtype) {
  switch (subtype) {
    case TestCamSubtype::Rgb24:
      return 24;
    case TestCamSubtype::Yuy2:
      return 16;
    case TestCamSubtype::Nv12:
      return 12;
  }
  return 0;
}

DWORD Compression(TestCamSubtype subtype) {
  switch (subtype) {
    case TestCamSubtype::Rgb24:
      return BI_RGB;
    case TestCamSubtype::Yuy2:
      return MakeFourcc('Y', 'U', 'Y', '2');
    case TestCamSubtype::Nv12:
      return MakeFourcc('N', 'V', '1', '2');
  }
  return 0;
}

bool SubtypeFromGuid(const GUID& guid, TestCamSubtype* subtype) {
  for (TestCamSubtype candidate : {TestCamSubtype::Rgb24, TestCamSubtype::Yuy2, TestCamSubtype::Nv12}) {
    if (TestCamSubtypeGuid(candidate) == guid) {
      *subtype = candidate;
      return true;
    }
  }
  return false;
}

REFERENCE_TIME FrameInterval(const TestCameraFormat& format) {
  return format.framesPerSecond > 0 ? kUnitsPerSecond / format.framesPerSecond : kUnitsPerSecond / 30;
}
}  // namespace

GUID TestCamSubtypeGuid(TestCamSubtype subtype) {
  switch (subtype) {
    case TestCamSubtype::Rgb24:
      return MEDIASUBTYPE_RGB24;
    case TestCamSubtype::Yuy2:
      return MEDIASUBTYPE_YUY2;
    case TestCamSubtype::Nv12:
      return MEDIASUBTYPE_NV12;
  }
  return GUID_NULL;
}

HRESULT BuildTestCamMediaType(const TestCameraFormat& format, CMediaType* type) {
  if (type == nullptr) return E_POINTER;
  TestFrameLayout layout = {};
  if (!ComputeFrameLayout(format.subtype, format.width, format.height, &layout)) return E_INVALIDARG;
  type->SetEmpty();
  auto* info = reinterpret_cast<VIDEOINFOHEADER*>(type->AllocFormat(sizeof(VIDEOINFOHEADER)));
  if (info == nullptr) return E_OUTOFMEMORY;
  AM_MEDIA_TYPE& mt = type->Edit();
  mt.majortype = MEDIATYPE_Video;
  mt.subtype = TestCamSubtypeGuid(format.subtype);
  mt.formattype = FORMAT_VideoInfo;
  mt.bFixedSizeSamples = TRUE;
  mt.bTemporalCompression = FALSE;
  mt.lSampleSize = static_cast<ULONG>(layout.imageSize);
  info->AvgTimePerFrame = FrameInterval(format);
  info->dwBitRate = static_cast<DWORD>(layout.imageSize * 8 * static_cast<size_t>(format.framesPerSecond));
  info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info->bmiHeader.biWidth = format.width;
  info->bmiHeader.biHeight = format.height;
  info->bmiHeader.biPlanes = 1;
  info->bmiHeader.biBitCount = BitCount(format.subtype);
  info->bmiHeader.biCompression = Compression(format.subtype);
  info->bmiHeader.biSizeImage = static_cast<DWORD>(layout.imageSize);
  return S_OK;
}

void BuildTestCamStreamCaps(const TestCameraFormat& format, VIDEO_STREAM_CONFIG_CAPS* caps) {
  TestFrameLayout layout = {};
  ComputeFrameLayout(format.subtype, format.width, format.height, &layout);
  const LONG bitsPerSecond = static_cast<LONG>(layout.imageSize * 8 * static_cast<size_t>(format.framesPerSecond));
  FillFixedSizeStreamCaps(format.width, format.height, FrameInterval(format), FrameInterval(format), bitsPerSecond,
                          bitsPerSecond, caps);
}

bool FindTestCamFormat(const TestCameraProfile& profile, const AM_MEDIA_TYPE& type, size_t* index) {
  if (type.majortype != MEDIATYPE_Video || type.formattype != FORMAT_VideoInfo || type.pbFormat == nullptr ||
      type.cbFormat < sizeof(VIDEOINFOHEADER)) {
    return false;
  }
  const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
  for (size_t i = 0; i < profile.formatCount; ++i) {
    const TestCameraFormat& format = profile.formats[i];
    if (TestCamSubtypeGuid(format.subtype) != type.subtype) continue;
    if (info->bmiHeader.biWidth != format.width) continue;
    const bool topDown = info->bmiHeader.biHeight < 0;
    if (std::labs(info->bmiHeader.biHeight) != format.height) continue;
    if (topDown && format.subtype != TestCamSubtype::Rgb24) continue;
    if (info->bmiHeader.biBitCount != BitCount(format.subtype)) continue;
    TestFrameLayout layout = {};
    if (!ComputeFrameLayout(format.subtype, format.width, format.height, &layout)) continue;
    // A zero biSizeImage is allowed for uncompressed RGB; otherwise it must cover the picture.
    if (info->bmiHeader.biSizeImage != 0 && info->bmiHeader.biSizeImage < layout.imageSize) continue;
    if (index != nullptr) *index = i;
    return true;
  }
  return false;
}

bool TestFrameLayoutFromType(const AM_MEDIA_TYPE& type, TestFrameLayout* layout) {
  if (type.majortype != MEDIATYPE_Video || type.formattype != FORMAT_VideoInfo || type.pbFormat == nullptr ||
      type.cbFormat < sizeof(VIDEOINFOHEADER)) {
    return false;
  }
  TestCamSubtype subtype = TestCamSubtype::Rgb24;
  if (!SubtypeFromGuid(type.subtype, &subtype)) return false;
  const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
  if (!ComputeFrameLayout(subtype, info->bmiHeader.biWidth, std::labs(info->bmiHeader.biHeight), layout)) return false;
  layout->bottomUp = subtype == TestCamSubtype::Rgb24 && info->bmiHeader.biHeight > 0;
  return true;
}
