// The picture the virtual camera delivers while no camera frame comes: a dark frame that says
// in words why, drawn with GDI into a 32-bit DIB at the negotiated size and converted to the
// negotiated layout. The last picture is kept, so an unchanged reason costs one copy a frame.
// Streaming thread only; no locks.
#pragma once

#include <windows.h>

#include <cstddef>
#include <vector>

#include "filters/vcam/CFrameConverter.h"
#include "filters/vcam/PlaceholderReason.h"

class CPlaceholderPicture {
 public:
  CPlaceholderPicture() = default;
  CPlaceholderPicture(const CPlaceholderPicture&) = delete;
  CPlaceholderPicture& operator=(const CPlaceholderPicture&) = delete;

  // Writes the picture for `reason` in the target's layout; the converter's errors, E_FAIL
  // when GDI could not draw, E_OUTOFMEMORY.
  HRESULT Render(PlaceholderReason reason, const TargetFormat& target, BYTE* out, size_t outBytes);

 private:
  HRESULT Draw(PlaceholderReason reason, const TargetFormat& target);

  CFrameConverter m_converter;
  std::vector<BYTE> m_picture;  // the converted picture of m_reason at m_target
  bool m_valid = false;
  PlaceholderReason m_reason = PlaceholderReason::kStarting;
  TargetFormat m_target;
};
