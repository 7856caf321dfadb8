// The capture renderer's reading of a media type: which uncompressed video layouts it takes and
// how their frames lie in memory. Plain functions, callable from any thread.
#pragma once

#include <windows.h>
#include <strmif.h>

#include "filters/renderer/CFormatChangeTracker.h"

// A frame layout the renderer can hand to the frame ring.
struct RendererFormat {
  LONG width = 0;
  LONG height = 0;        // |biHeight|
  LONG fourcc = 0;        // a kFourcc value of the frame ring
  LONG stride = 0;        // bytes per row of the first plane
  LONG64 imageBytes = 0;  // bytes of one frame
  bool bottomUp = false;  // RGB with a positive biHeight
};

// Largest bitmap side accepted; anything larger is taken for a corrupt format block.
constexpr LONG kMaxRendererDimension = 8192;

// S_OK and out filled for MEDIATYPE_Video / FORMAT_VideoInfo in RGB24, RGB32, YUY2 or NV12 with
// a consistent VIDEOINFOHEADER; VFW_E_TYPE_NOT_ACCEPTED for anything else, among them a format
// block shorter than a VIDEOINFOHEADER, a zero or oversized side, a bit count or compression
// that contradicts the subtype, odd sizes that the subtype's chroma cannot have, a biSizeImage
// that disagrees with the stride, or a fixed sample size too small for one frame.
HRESULT ParseRendererFormat(const AM_MEDIA_TYPE& type, RendererFormat* out);

// The frame size a format names, whatever its subtype, compression or other fields: read from
// a VIDEOINFOHEADER2 when the format type says so, else from where a VIDEOINFOHEADER keeps it
// (as the request channel's formats are read). false when the block is missing or too short,
// or a side is not 1..kMaxRendererDimension (a top-down height counts by its absolute value).
bool ReadFrameSize(const AM_MEDIA_TYPE& type, FrameSize* size);
