// A test renderer on the filter base: one CFrameCheckPin, no clock, no window.
#pragma once

#include <new>

#include "CFrameCheckPin.h"
#include "filters/base/CBaseFilter.h"

// {5b0e8f7c-3d2a-4c61-9b1e-7a4f2c9d8e31}
inline constexpr GUID CLSID_FrameCheckRenderer = {0x5b0e8f7c, 0x3d2a, 0x4c61, {0x9b, 0x1e, 0x7a, 0x4f, 0x2c, 0x9d, 0x8e, 0x31}};

class CFrameCheckRenderer final : public CBaseFilter {
 public:
  // A new renderer with one reference owned by the caller.
  static CFrameCheckRenderer* Create() { return new (std::nothrow) CFrameCheckRenderer(); }
  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int index) override { return index == 0 ? &m_pin : nullptr; }
  CFrameCheckPin& Pin() { return m_pin; }

 private:
  CFrameCheckRenderer() : CBaseFilter(CLSID_FrameCheckRenderer), m_pin(this) {}
  ~CFrameCheckRenderer() override = default;

  CFrameCheckPin m_pin;
};
