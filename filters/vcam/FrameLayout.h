// The two frame layouts the virtual camera converts between: a frame as the frame ring
// describes it, and a buffer of a DirectShow video format. Plain functions, any thread.
#pragma once

#include <windows.h>

#include <cstddef>

#include "framering/FrameRing.h"

// A source frame's description disagrees with itself, or a target format is one we cannot
// produce (unknown subtype, a side of 0 or below or too large, odd sides that its chroma cannot
// have, a stride below a row).
constexpr HRESULT kErrBadFrameLayout = E_INVALIDARG;
// A buffer is smaller than the frame its description or format needs.
constexpr HRESULT kErrBufferTooSmall = static_cast<HRESULT>(0x8007007A);  // ERROR_INSUFFICIENT_BUFFER

// Largest side either layout may have; anything larger is taken for a corrupt description.
constexpr LONG kMaxFrameSide = 16384;

// A frame in memory, described as the frame ring describes its frames.
struct SourceFrame {
  LONG fourcc = 0;          // kFourccBgr24, kFourccBgrx32, kFourccYuy2 or kFourccNv12
  LONG width = 0;
  LONG height = 0;          // rows, positive
  LONG stride = 0;          // bytes per row of the first plane; NV12's chroma rows follow it, same stride
  bool bottomUp = false;    // RGB only: the first row in memory is the bottom one (YUV is top-down)
  const BYTE* data = nullptr;
  size_t bytes = 0;         // bytes readable at data
};

// A DirectShow video format as a VIDEOINFOHEADER gives it.
struct TargetFormat {
  LONG fourcc = 0;  // as SourceFrame
  LONG width = 0;   // biWidth
  LONG height = 0;  // biHeight: positive RGB is stored bottom-up; YUV is top-down whatever the sign
};

// The description of a frame copied out of the ring, its pixels at data.
SourceFrame SourceFrameOf(const FrameRingFrame& frame, const BYTE* data, size_t bytes);

// Where the rows of a frame lie.
struct FrameLayout {
  LONG width = 0;
  LONG height = 0;          // rows, positive
  LONG stride = 0;          // bytes per row of the first plane
  LONG64 imageBytes = 0;    // bytes the whole frame spans
  bool bottomUp = false;
};

// S_OK with the layout that the description claims, once it is consistent and `bytes` covers
// it; kErrBadFrameLayout, kErrBufferTooSmall or E_POINTER otherwise. Products are 64-bit.
HRESULT DescribeSourceFrame(const SourceFrame& frame, FrameLayout* layout);

// S_OK with the format's DirectShow layout: RGB rows padded to whole 32-bit words, YUY2 two
// bytes a pixel, NV12 a luma plane of `width` bytes a row followed by the interleaved chroma
// rows. kErrBadFrameLayout for a format we cannot produce.
HRESULT DescribeTargetFormat(const TargetFormat& format, FrameLayout* layout);
