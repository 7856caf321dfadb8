#include "CaptureFormatMatch.h"

#include <amvideo.h>
#include <uuids.h>

#include <cstdint>
#include <cstring>

namespace {

int64_t PixelCount(const FormatSizeKey& key) {
  const int64_t height = key.height < 0 ? -static_cast<int64_t>(key.height) : key.height;
  return height * key.width;
}

bool SameHeight(LONG a, LONG b) {
  return (a < 0 ? -static_cast<int64_t>(a) : a) == (b < 0 ? -static_cast<int64_t>(b) : b);
}

}  // namespace

FormatSizeKey FormatSizeKeyOf(const AM_MEDIA_TYPE& type) {
  FormatSizeKey key = {type.majortype, type.formattype, type.cbFormat, 0, 0, true};
  if (type.pbFormat != nullptr && type.cbFormat >= sizeof(VIDEOINFOHEADER)) {
    VIDEOINFOHEADER header;
    memcpy(&header, type.pbFormat, sizeof(header));  // the block need not be aligned
    key.width = header.bmiHeader.biWidth;
    key.height = header.bmiHeader.biHeight;
  }
  return key;
}

bool IsCurrentFormatRequest(const FormatSizeKey& request) {
  if (!IsEqualGUID(request.majorType, MEDIATYPE_Video) || !IsEqualGUID(request.formatType, FORMAT_VideoInfo)) {
    return true;
  }
  return request.width == 0 && request.height != 0;
}

CapabilityChoice ChooseCapability(const FormatSizeKey& request, const FormatSizeKey* capabilities, size_t count) {
  CapabilityChoice choice = {0, false};
  uint64_t bestDifference = UINT64_MAX;
  const int64_t wanted = PixelCount(request);
  for (size_t i = 0; i < count; ++i) {
    const FormatSizeKey& cap = capabilities[i];
    if (!cap.usable || !IsEqualGUID(cap.majorType, request.majorType) ||
        !IsEqualGUID(cap.formatType, request.formatType) || cap.formatLength != request.formatLength) {
      continue;
    }
    const int64_t pixels = PixelCount(cap);
    if (pixels == 0) continue;
    if (cap.width == request.width && SameHeight(cap.height, request.height)) return {i, true};
    const int64_t delta = pixels - wanted;
    const uint64_t difference = static_cast<uint64_t>(delta < 0 ? -delta : delta);
    if (difference < bestDifference) {
      bestDifference = difference;
      choice.index = i;
    }
  }
  return choice;
}
