// Turns a frame of the frame ring into a frame of the format that an application negotiated
// with the virtual camera: pixel layout, size and row order, all through libyuv.
//
// Same sizes convert in one libyuv call where libyuv has a fast one for the pair. Other sizes scale in
// the cheaper of the source's spaces: YUV sources as NV12 (1.5 bytes a pixel), RGB sources as
// 32-bit RGB (RGB never takes a detour through subsampled chroma), then convert once at the
// target size. Colour matrix: BT.601, studio range, as cameras deliver YUV.
//
// Threads: one streaming thread per object; no locks. The intermediate frames live in the object
// and only grow, so a steady stream allocates nothing per frame.
#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>

#include "filters/vcam/FrameLayout.h"

class CFrameConverter {
 public:
  CFrameConverter() = default;
  CFrameConverter(const CFrameConverter&) = delete;
  CFrameConverter& operator=(const CFrameConverter&) = delete;

  // Writes `source` converted and scaled to `target` into `out`. S_OK; the errors of
  // DescribeSourceFrame and DescribeTargetFormat; kErrBufferTooSmall when outBytes is below the
  // target's image size; E_OUTOFMEMORY when an intermediate frame cannot be had. On failure
  // `out` may hold part of a frame.
  HRESULT Convert(const SourceFrame& source, const TargetFormat& target, BYTE* out, size_t outBytes);

 private:
  // A buffer that only grows; its contents do not outlive one call of Convert.
  struct Scratch {
    std::unique_ptr<BYTE[]> data;
    size_t bytes = 0;
  };
  struct Image;

  static BYTE* Reserve(Scratch& scratch, size_t bytes);
  static Image ImageOver(LONG fourcc, const FrameLayout& layout, BYTE* base);
  static HRESULT ScratchImage(Scratch& scratch, LONG fourcc, int width, int height, Image* image);
  HRESULT ConvertSameSize(const Image& s, const Image& d);
  HRESULT ConvertThroughPivot(const Image& s, const Image& d);
  static HRESULT Scale(const Image& s, const Image& d);

  Scratch m_sourceSized;  // the source in the scaling space
  Scratch m_targetSized;  // the scaled frame, before its conversion to the target
  Scratch m_pivot;        // 32-bit RGB between the two calls of a pair libyuv has no single call for
  Scratch m_planes;       // separate Y, U, V planes, from which libyuv packs YUY2
};
