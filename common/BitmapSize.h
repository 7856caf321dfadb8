// The row stride and image size of an uncompressed bitmap: rows padded to whole 32-bit words,
// the image |height| rows of that stride.
#pragma once

#include <windows.h>

#include <cstdint>

// In the unsigned 32-bit arithmetic that bitmap headers carry (biSizeImage): wraps on overflow.
inline DWORD BitmapStride(LONG width, WORD bitCount) {
  return ((static_cast<DWORD>(width) * bitCount + 31) & ~DWORD{31}) / 8;
}

inline DWORD BitmapImageSize(LONG width, LONG height, WORD bitCount) {
  const DWORD rows = height < 0 ? 0u - static_cast<DWORD>(height) : static_cast<DWORD>(height);
  return BitmapStride(width, bitCount) * rows;
}

// The same rule in 64 bits for sizes that must not wrap: false, with nothing stored, for a
// negative width or an image above 4 GiB - 1 bytes (what a 32-bit biSizeImage can hold).
inline bool CheckedBitmapSize(LONG width, LONG height, WORD bitCount, uint64_t* stride, uint64_t* imageSize) {
  if (width < 0) return false;
  const uint64_t rowBytes = ((static_cast<uint64_t>(width) * bitCount + 31) & ~uint64_t{31}) / 8;
  // A height of LONG_MIN has no 32-bit absolute value.
  const uint64_t rows =
      height < 0 ? static_cast<uint64_t>(-static_cast<int64_t>(height)) : static_cast<uint64_t>(height);
  if (rows != 0 && rowBytes > UINT32_MAX / rows) return false;
  if (stride != nullptr) *stride = rowBytes;
  if (imageSize != nullptr) *imageSize = rowBytes * rows;
  return true;
}
