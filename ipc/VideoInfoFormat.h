// Uncompressed video media types with a VIDEOINFOHEADER format block: the host's session-lock
// placeholder and the formats that command-line and test clients register.
// Plain functions, callable from any thread.
#pragma once

#include <windows.h>

#include <cstddef>

#include "common/CMediaType.h"
#include "common/VideoGuids.h"
#include "common/VideoInfoLayout.h"

enum class VideoSubtype { kRgb24, kRgb32, kYuy2, kNv12 };

// A fixed-size, not temporally compressed video type of width x height (a negative height is a
// top-down bitmap). biSizeImage and lSampleSize are stride x |height|, the stride being the
// bit count times the width rounded up to whole 32-bit words. E_INVALIDARG for a negative width
// or an image that does not fit 32 bits; E_OUTOFMEMORY when the format block cannot be copied.
HRESULT BuildVideoInfoType(LONG width, LONG height, VideoSubtype subtype, CMediaType* out);

// The subtype's name when it is one of ours ("RGB24"), else null.
const char* VideoSubtypeName(const GUID& subtype);
// The media subtype of one of ours.
const GUID& VideoSubtypeGuid(VideoSubtype subtype);
