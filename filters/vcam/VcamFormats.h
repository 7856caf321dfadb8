// The formats the virtual camera offers: four sizes in four layouts at 30 frames a second,
// and the reading of a media type an application proposes. Plain functions, any thread.
//
// Capabilities are numbered size by size (640x480, 1280x720, 1920x1080, 320x240), each in
// RGB24, RGB32, YUY2 and NV12; the first is what an application gets that asks for nothing.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <cstddef>

#include "common/CMediaType.h"
#include "filters/vcam/FrameLayout.h"
#include "ipc/VideoInfoFormat.h"

constexpr size_t kVcamFormatCount = 16;
constexpr REFERENCE_TIME kVcamFrameInterval = 333333;  // 30 frames a second
// Frame intervals an application may ask for instead: 60 down to 1 frame a second.
constexpr REFERENCE_TIME kVcamMinFrameInterval = 166667;
constexpr REFERENCE_TIME kVcamMaxFrameInterval = 10000000;

struct VcamFormat {
  LONG width;
  LONG height;
  VideoSubtype subtype;
};

VcamFormat VcamFormatAt(size_t index);

// The capability's media type (VIDEOINFOHEADER, bottom-up RGB, 30 frames a second) and its
// full 128-byte record.
HRESULT BuildVcamMediaType(size_t index, CMediaType* type);
void BuildVcamStreamCaps(size_t index, VIDEO_STREAM_CONFIG_CAPS* caps);

// The capability a proposed type asks for: video with a VIDEOINFOHEADER of one of our sizes
// (either row order) and layouts with that layout's bit count and compression, a biSizeImage
// of 0 or one that covers the frame, no target rectangle but the whole frame, and a frame
// interval of 0 (ours) or within the range above. False for anything else.
bool FindVcamFormat(const AM_MEDIA_TYPE& type, size_t* index);

// The converter's target for a type that FindVcamFormat accepts, the frame's bytes, and the
// type's frame interval (ours when it gives none).
bool VcamTargetOf(const AM_MEDIA_TYPE& type, TargetFormat* target, size_t* imageBytes, REFERENCE_TIME* interval);
