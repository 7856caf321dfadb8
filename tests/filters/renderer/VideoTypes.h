// Well-formed uncompressed video types for the renderer's tests; tests spoil them on purpose.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <amvideo.h>
#include <uuids.h>
#include <vfwmsgs.h>

#include "filters/base/CAmMediaType.h"

inline CAmMediaType MakeVideoType(const GUID& subtype, LONG width, LONG height) {
  WORD bits = 24;
  DWORD compression = BI_RGB;
  LONG64 stride = 0, image = 0;
  const LONG rows = height < 0 ? -height : height;
  if (subtype == MEDIASUBTYPE_RGB32) bits = 32;
  if (subtype == MEDIASUBTYPE_YUY2) {
    bits = 16;
    compression = MAKEFOURCC('Y', 'U', 'Y', '2');
  }
  if (subtype == MEDIASUBTYPE_NV12) {
    bits = 12;
    compression = MAKEFOURCC('N', 'V', '1', '2');
  }
  if (compression == BI_RGB) {
    stride = ((static_cast<LONG64>(width) * bits + 31) & ~31LL) / 8;
    image = stride * rows;
  } else if (subtype == MEDIASUBTYPE_YUY2) {
    image = 2LL * width * rows;
  } else {
    image = static_cast<LONG64>(width) * rows * 3 / 2;
  }
  CAmMediaType type;
  AM_MEDIA_TYPE& raw = type.Edit();
  raw.majortype = MEDIATYPE_Video;
  raw.subtype = subtype;
  raw.formattype = FORMAT_VideoInfo;
  raw.bFixedSizeSamples = TRUE;
  raw.bTemporalCompression = FALSE;
  raw.lSampleSize = static_cast<ULONG>(image);
  auto* info = reinterpret_cast<VIDEOINFOHEADER*>(type.AllocFormat(sizeof(VIDEOINFOHEADER)));
  info->AvgTimePerFrame = 333333;
  info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info->bmiHeader.biWidth = width;
  info->bmiHeader.biHeight = height;
  info->bmiHeader.biPlanes = 1;
  info->bmiHeader.biBitCount = bits;
  info->bmiHeader.biCompression = compression;
  info->bmiHeader.biSizeImage = static_cast<DWORD>(image);
  return type;
}
