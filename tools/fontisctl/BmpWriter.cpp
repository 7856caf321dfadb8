// A frame to a 24-bit BMP file through the frame converter.
#include "BmpWriter.h"

#include <memory>
#include <new>

#include "common/ScopedHandle.h"
#include "filters/vcam/CFrameConverter.h"

namespace {

#pragma pack(push, 2)
struct BmpFileHeader {
  WORD type;
  DWORD size;
  WORD reserved1;
  WORD reserved2;
  DWORD offset;
};
#pragma pack(pop)
static_assert(sizeof(BmpFileHeader) == 14, "BMP file header is 14 bytes");

constexpr WORD kBmpType = 0x4D42;  // "BM"

HRESULT LastError() {
  const DWORD error = ::GetLastError();
  return error != ERROR_SUCCESS ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

}  // namespace

HRESULT SaveFrameAsBmp(const wchar_t* path, const SourceFrame& frame) {
  if (path == nullptr) return E_POINTER;
  TargetFormat rows;
  rows.fourcc = kFourccBgr24;
  rows.width = frame.width;
  rows.height = frame.height;  // positive: bottom row first, as a BMP stores them
  FrameLayout layout;
  HRESULT hr = DescribeTargetFormat(rows, &layout);
  if (FAILED(hr)) return hr;
  const size_t imageBytes = static_cast<size_t>(layout.imageBytes);
  std::unique_ptr<BYTE[]> pixels(new (std::nothrow) BYTE[imageBytes]);
  if (!pixels) return E_OUTOFMEMORY;
  CFrameConverter converter;
  hr = converter.Convert(frame, rows, pixels.get(), imageBytes);
  if (FAILED(hr)) return hr;

  BITMAPINFOHEADER info = {};
  info.biSize = sizeof(info);
  info.biWidth = layout.width;
  info.biHeight = layout.height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  info.biSizeImage = static_cast<DWORD>(imageBytes);
  BmpFileHeader file = {};
  file.type = kBmpType;
  file.offset = sizeof(file) + sizeof(info);
  file.size = file.offset + info.biSizeImage;

  ScopedHandle out(::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!out.IsValid()) return LastError();
  DWORD written = 0;
  const bool complete =
      ::WriteFile(out.Get(), &file, sizeof(file), &written, nullptr) && written == sizeof(file) &&
      ::WriteFile(out.Get(), &info, sizeof(info), &written, nullptr) && written == sizeof(info) &&
      ::WriteFile(out.Get(), pixels.get(), info.biSizeImage, &written, nullptr) && written == info.biSizeImage;
  if (complete) return S_OK;
  hr = LastError();
  out.Close();
  ::DeleteFileW(path);  // no half-written picture left behind
  return hr;
}
