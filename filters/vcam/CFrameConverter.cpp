// Frame conversion and scaling of the virtual camera, every pixel step a libyuv call.
#include "filters/vcam/CFrameConverter.h"

#include <libyuv/convert.h>
#include <libyuv/convert_argb.h>
#include <libyuv/convert_from.h>
#include <libyuv/convert_from_argb.h>
#include <libyuv/planar_functions.h>
#include <libyuv/scale.h>
#include <libyuv/scale_argb.h>

#include <new>

// One frame as libyuv walks it: the top row first, so a bottom-up buffer has a negative stride.
struct CFrameConverter::Image {
  LONG fourcc = 0;
  int width = 0;
  int height = 0;
  BYTE* data = nullptr;
  int stride = 0;
  BYTE* chroma = nullptr;  // NV12: the interleaved U, V rows, one per two luma rows
  int chromaStride = 0;
};

namespace {

// libyuv reported a failure after our own checks passed: nothing the caller can mend.
constexpr HRESULT kErrConversionFailed = E_FAIL;

// Box filtering averages every source pixel when shrinking; libyuv falls back to bilinear
// where a plane or ratio has no box path.
constexpr libyuv::FilterMode kScaleFilter = libyuv::kFilterBox;

int HalfUp(int side) { return (side + 1) / 2; }

bool IsYuv(LONG fourcc) { return fourcc == kFourccYuy2 || fourcc == kFourccNv12; }

HRESULT FromLibyuv(int result) { return result == 0 ? S_OK : kErrConversionFailed; }

}  // namespace

// The sizes were checked by the layout rules: every product here fits 32 bits.
CFrameConverter::Image CFrameConverter::ImageOver(LONG fourcc, const FrameLayout& layout, BYTE* base) {
  Image image;
  image.fourcc = fourcc;
  image.width = layout.width;
  image.height = layout.height;
  image.data = base;
  image.stride = layout.stride;
  if (fourcc == kFourccNv12) {
    image.chroma = base + static_cast<size_t>(layout.stride) * static_cast<size_t>(layout.height);
    image.chromaStride = layout.stride;
  }
  if (layout.bottomUp) {
    image.data = base + static_cast<size_t>(layout.stride) * static_cast<size_t>(layout.height - 1);
    image.stride = -layout.stride;
  }
  return image;
}

BYTE* CFrameConverter::Reserve(Scratch& scratch, size_t bytes) {
  if (bytes > scratch.bytes) {
    scratch.data.reset(new (std::nothrow) BYTE[bytes]);
    scratch.bytes = scratch.data ? bytes : 0;
  }
  return scratch.data.get();
}

HRESULT CFrameConverter::ScratchImage(Scratch& scratch, LONG fourcc, int width, int height, Image* image) {
  // NV12 here may have odd sides (an RGB target of odd size is scaled as NV12): chroma rounds up.
  const int stride = fourcc == kFourccNv12 ? 2 * HalfUp(width) : 4 * width;
  const int rows = fourcc == kFourccNv12 ? height + HalfUp(height) : height;
  BYTE* data = Reserve(scratch, static_cast<size_t>(stride) * static_cast<size_t>(rows));
  if (data == nullptr) return E_OUTOFMEMORY;
  image->fourcc = fourcc;
  image->width = width;
  image->height = height;
  image->data = data;
  image->stride = stride;
  image->chroma = fourcc == kFourccNv12 ? data + static_cast<size_t>(stride) * static_cast<size_t>(height) : nullptr;
  image->chromaStride = fourcc == kFourccNv12 ? stride : 0;
  return S_OK;
}

HRESULT CFrameConverter::ConvertSameSize(const Image& s, const Image& d) {
  using namespace libyuv;
  const int w = s.width, h = s.height;
  switch (s.fourcc) {
    case kFourccNv12:
      switch (d.fourcc) {
        case kFourccBgr24: return FromLibyuv(NV12ToRGB24(s.data, s.stride, s.chroma, s.chromaStride, d.data, d.stride, w, h));
        case kFourccBgrx32: return FromLibyuv(NV12ToARGB(s.data, s.stride, s.chroma, s.chromaStride, d.data, d.stride, w, h));
        case kFourccNv12:
          return FromLibyuv(NV12Copy(s.data, s.stride, s.chroma, s.chromaStride, d.data, d.stride, d.chroma,
                                     d.chromaStride, w, h));
        case kFourccYuy2: {
          // libyuv packs YUY2 from separate chroma planes only.
          const int cw = HalfUp(w), ch = HalfUp(h);
          BYTE* u = Reserve(m_planes, 2 * static_cast<size_t>(cw) * static_cast<size_t>(ch));
          if (u == nullptr) return E_OUTOFMEMORY;
          BYTE* v = u + static_cast<size_t>(cw) * static_cast<size_t>(ch);
          SplitUVPlane(s.chroma, s.chromaStride, u, cw, v, cw, cw, ch);
          return FromLibyuv(I420ToYUY2(s.data, s.stride, u, cw, v, cw, d.data, d.stride, w, h));
        }
      }
      break;
    case kFourccYuy2:
      switch (d.fourcc) {
        case kFourccBgrx32: return FromLibyuv(YUY2ToARGB(s.data, s.stride, d.data, d.stride, w, h));
        case kFourccNv12:
          return FromLibyuv(YUY2ToNV12(s.data, s.stride, d.data, d.stride, d.chroma, d.chromaStride, w, h));
        case kFourccYuy2:
          CopyPlane(s.data, s.stride, d.data, d.stride, 2 * w, h);
          return S_OK;
        case kFourccBgr24: return ConvertThroughPivot(s, d);
      }
      break;
    case kFourccBgr24:
      switch (d.fourcc) {
        case kFourccBgrx32: return FromLibyuv(RGB24ToARGB(s.data, s.stride, d.data, d.stride, w, h));
        case kFourccBgr24:
          CopyPlane(s.data, s.stride, d.data, d.stride, 3 * w, h);
          return S_OK;
        case kFourccYuy2:
        case kFourccNv12: return ConvertThroughPivot(s, d);
      }
      break;
    case kFourccBgrx32:
      switch (d.fourcc) {
        case kFourccBgr24: return FromLibyuv(ARGBToRGB24(s.data, s.stride, d.data, d.stride, w, h));
        case kFourccBgrx32: return FromLibyuv(ARGBCopy(s.data, s.stride, d.data, d.stride, w, h));
        case kFourccYuy2: return FromLibyuv(ARGBToYUY2(s.data, s.stride, d.data, d.stride, w, h));
        case kFourccNv12:
          return FromLibyuv(ARGBToNV12(s.data, s.stride, d.data, d.stride, d.chroma, d.chromaStride, w, h));
      }
      break;
  }
  return kErrBadFrameLayout;
}

HRESULT CFrameConverter::ConvertThroughPivot(const Image& s, const Image& d) {
  // 32-bit RGB: libyuv converts every layout to it and from it in one call.
  Image pivot;
  HRESULT hr = ScratchImage(m_pivot, kFourccBgrx32, s.width, s.height, &pivot);
  if (SUCCEEDED(hr)) hr = ConvertSameSize(s, pivot);
  if (SUCCEEDED(hr)) hr = ConvertSameSize(pivot, d);
  return hr;
}

HRESULT CFrameConverter::Scale(const Image& s, const Image& d) {
  if (s.fourcc == kFourccNv12) {
    return FromLibyuv(libyuv::NV12Scale(s.data, s.stride, s.chroma, s.chromaStride, s.width, s.height, d.data,
                                        d.stride, d.chroma, d.chromaStride, d.width, d.height, kScaleFilter));
  }
  return FromLibyuv(
      libyuv::ARGBScale(s.data, s.stride, s.width, s.height, d.data, d.stride, d.width, d.height, kScaleFilter));
}

HRESULT CFrameConverter::Convert(const SourceFrame& source, const TargetFormat& target, BYTE* out, size_t outBytes) {
  FrameLayout in;
  HRESULT hr = DescribeSourceFrame(source, &in);
  if (FAILED(hr)) return hr;
  FrameLayout layout;
  hr = DescribeTargetFormat(target, &layout);
  if (FAILED(hr)) return hr;
  if (out == nullptr) return E_POINTER;
  if (static_cast<unsigned long long>(layout.imageBytes) > outBytes) return kErrBufferTooSmall;

  // libyuv takes sources as const; this object never writes through the source image.
  const Image s = ImageOver(source.fourcc, in, const_cast<BYTE*>(source.data));
  const Image d = ImageOver(target.fourcc, layout, out);
  if (s.width == d.width && s.height == d.height) return ConvertSameSize(s, d);

  const LONG space = IsYuv(s.fourcc) ? kFourccNv12 : kFourccBgrx32;
  Image scalable = s;
  if (s.fourcc != space) {
    hr = ScratchImage(m_sourceSized, space, s.width, s.height, &scalable);
    if (SUCCEEDED(hr)) hr = ConvertSameSize(s, scalable);
    if (FAILED(hr)) return hr;
  }
  if (d.fourcc == space) return Scale(scalable, d);
  Image scaled;
  hr = ScratchImage(m_targetSized, space, d.width, d.height, &scaled);
  if (SUCCEEDED(hr)) hr = Scale(scalable, scaled);
  if (SUCCEEDED(hr)) hr = ConvertSameSize(scaled, d);
  return hr;
}
