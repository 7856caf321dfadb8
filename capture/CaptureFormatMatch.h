// Choosing a camera capability for a requested frame size: plain functions over plain structs,
// callable from any thread.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <cstddef>

// Size of the VIDEO_STREAM_CONFIG_CAPS record the format search understands; pins that report
// another record size are passed over.
constexpr int kVideoCapsRecordSize = 128;
// Upper bound on the capabilities read from one pin: a camera that claims more is broken.
constexpr int kMaxCapabilities = 4096;

// What the search compares of a media type.
struct FormatSizeKey {
  GUID majorType;
  GUID formatType;
  ULONG formatLength;
  LONG width;   // biWidth of the VIDEOINFOHEADER; 0 when the block is too short to hold one
  LONG height;  // biHeight, negative for top-down
  bool usable;  // for a capability: it could be read
};

struct CapabilityChoice {
  size_t index;  // 0 when nothing qualifies: the first capability is then set
  bool exact;    // the frame size matched exactly
};

// The key of a media type, reading the bitmap header only from a block long enough to hold it.
FormatSizeKey FormatSizeKeyOf(const AM_MEDIA_TYPE& type);

// A request that is not video with a VIDEOINFOHEADER, or that names a height without a width,
// asks for the pin's current format instead of a search.
bool IsCurrentFormatRequest(const FormatSizeKey& request);

// Among capabilities of the request's major type, format type and format length and a non-zero
// pixel count: the first whose width and |height| equal the request's, else the one nearest in
// pixel count (ties keep the earlier).
CapabilityChoice ChooseCapability(const FormatSizeKey& request, const FormatSizeKey* capabilities, size_t count);
