// Drawing the virtual camera's placeholder with GDI and converting it with the frame converter.
#include "filters/vcam/CPlaceholderPicture.h"

#include <cstring>

#include "common/ScopedGdiObject.h"
#include "common/ScopedMemoryDC.h"
#include "common/ScopedSelection.h"
#include "filters/vcam/VcamIdentity.h"

namespace {

const COLORREF kBackground = RGB(28, 32, 40);
const COLORREF kMessageColour = RGB(235, 235, 235);
const COLORREF kTitleColour = RGB(140, 150, 165);
const WCHAR kFontFace[] = L"Segoe UI";

// A font whose height is a fraction of the picture's, so every size shows the same layout.
HFONT MakeFont(LONG pictureHeight, int divisor, int weight) {
  LONG height = pictureHeight / divisor;
  if (height < 8) height = 8;
  return ::CreateFontW(-height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_SWISS, kFontFace);
}

}  // namespace

HRESULT CPlaceholderPicture::Render(PlaceholderReason reason, const TargetFormat& target, BYTE* out,
                                    size_t outBytes) {
  if (out == nullptr) return E_POINTER;
  if (!m_valid || reason != m_reason || target.fourcc != m_target.fourcc || target.width != m_target.width ||
      target.height != m_target.height) {
    m_valid = false;
    const HRESULT hr = Draw(reason, target);
    if (FAILED(hr)) return hr;
    m_valid = true;
    m_reason = reason;
    m_target = target;
  }
  if (m_picture.size() > outBytes) return kErrBufferTooSmall;
  memcpy(out, m_picture.data(), m_picture.size());
  return S_OK;
}

HRESULT CPlaceholderPicture::Draw(PlaceholderReason reason, const TargetFormat& target) {
  FrameLayout layout;
  HRESULT hr = DescribeTargetFormat(target, &layout);
  if (FAILED(hr)) return hr;
  const LONG width = layout.width, height = layout.height;

  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down, as the source description below says
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  ScopedMemoryDC dc;
  if (dc.Get() == nullptr) return E_FAIL;
  ScopedGdiObject bitmap(::CreateDIBSection(dc.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  ScopedGdiObject background(::CreateSolidBrush(kBackground));
  ScopedGdiObject messageFont(MakeFont(height, 12, FW_SEMIBOLD));
  ScopedGdiObject titleFont(MakeFont(height, 22, FW_NORMAL));
  if (bitmap.Get() == nullptr || bits == nullptr || background.Get() == nullptr) return E_FAIL;
  {
    ScopedSelection selectBitmap(dc.Get(), bitmap.Get());
    RECT whole = {0, 0, width, height};
    ::FillRect(dc.Get(), &whole, static_cast<HBRUSH>(background.Get()));
    ::SetBkMode(dc.Get(), TRANSPARENT);
    const LONG margin = width / 16;
    {
      ScopedSelection selectFont(dc.Get(), messageFont.Get());
      ::SetTextColor(dc.Get(), kMessageColour);
      RECT message = {margin, height / 3, width - margin, height - height / 4};
      ::DrawTextW(dc.Get(), PlaceholderText(reason), -1, &message, DT_CENTER | DT_WORDBREAK | DT_NOPREFIX);
    }
    {
      ScopedSelection selectFont(dc.Get(), titleFont.Get());
      ::SetTextColor(dc.Get(), kTitleColour);
      RECT title = {margin, height / 8, width - margin, height / 3};
      ::DrawTextW(dc.Get(), kVcamFriendlyName, -1, &title, DT_CENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    ::GdiFlush();
  }

  SourceFrame source;
  source.fourcc = kFourccBgrx32;
  source.width = width;
  source.height = height;
  source.stride = width * 4;
  source.bottomUp = false;
  source.data = static_cast<const BYTE*>(bits);
  source.bytes = static_cast<size_t>(source.stride) * static_cast<size_t>(height);
  m_picture.resize(static_cast<size_t>(layout.imageBytes));
  return m_converter.Convert(source, target, m_picture.data(), m_picture.size());
}
