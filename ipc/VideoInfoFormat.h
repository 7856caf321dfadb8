// Uncompressed video media types with a VIDEOINFOHEADER format block: the host's session-lock
// placeholder and the formats that command-line and test clients register.
// Plain functions, callable from any thread.
#pragma once

#include <windows.h>

#include <cstddef>

#include "CMediaType.h"

// The identifiers these types use, so that the channel needs no DirectShow import library.
inline constexpr GUID kMediaTypeVideo = {0x73646976, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr GUID kFormatVideoInfo = {0x05589F80, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
inline constexpr GUID kSubtypeRgb24 = {0xE436EB7D, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr GUID kSubtypeRgb32 = {0xE436EB7E, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr GUID kSubtypeYuy2 = {0x32595559, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr GUID kSubtypeNv12 = {0x3231564E, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

// Where a VIDEOINFOHEADER keeps the bitmap size, and the block's own size.
constexpr size_t kVideoInfoWidthOffset = 52;
constexpr size_t kVideoInfoHeightOffset = 56;
constexpr size_t kVideoInfoHeaderSize = 88;

enum class VideoSubtype { kRgb24, kRgb32, kYuy2, kNv12 };

// A fixed-size, not temporally compressed video type of width x height (a negative height is a
// top-down bitmap). biSizeImage and lSampleSize are stride x |height|, the stride being the
// bit count times the width rounded up to whole 32-bit words. E_INVALIDARG for a negative width
// or an image that does not fit 32 bits; E_OUTOFMEMORY when the format block cannot be copied.
HRESULT BuildVideoInfoType(LONG width, LONG height, VideoSubtype subtype, CMediaType* out);

// The subtype's name when it is one of ours ("RGB24"), else null.
const char* VideoSubtypeName(const GUID& subtype);
