// Saving a frame as a 24-bit BMP file, as `snapshot` and `capture` do: the frame converter turns
// any frame layout into RGB24 with a positive height, which is exactly a BMP's rows (bottom row
// first, each padded to whole 32-bit words). Plain function; any thread.
#pragma once

#include <windows.h>

#include "filters/vcam/FrameLayout.h"

// S_OK; the converter's failure for a frame it cannot read (kErrBadFrameLayout,
// kErrBufferTooSmall, E_OUTOFMEMORY), with no file written; HRESULT_FROM_WIN32 of the error when
// the file cannot be written.
HRESULT SaveFrameAsBmp(const wchar_t* path, const SourceFrame& frame);
