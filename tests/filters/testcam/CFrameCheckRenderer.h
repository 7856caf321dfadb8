// A test renderer on the filter base: one input pin that takes video with a VIDEOINFOHEADER,
// reads the test camera's frame counter from every sample and checks its length and time stamps.
// Threads: the pin's OnReceive runs on the camera's streaming thread, Stats on the test thread;
// m_statsLock guards m_stats.
#pragma once

#include <windows.h>

#include <cstdint>
#include <new>

#include "common/CCritSection.h"
#include "filters/base/CBaseFilter.h"
#include "filters/base/CBaseInputPin.h"

struct FrameCheckStats {
  LONG samples = 0;
  // Unreadable counter, length other than the connection's sample size, missing time stamps,
  // or a start not after the previous start.
  LONG badSamples = 0;
  LONG counterGaps = 0;       // a counter that is not the previous one plus one
  LONG irregularSpacing = 0;  // start - previous start differs from the frame interval
  LONG discontinuities = 0;
  uint32_t firstCounter = 0, lastCounter = 0;
  REFERENCE_TIME lastStart = 0;
};

class CFrameCheckRenderer final : public CBaseFilter {
 public:
  class Pin final : public CBaseInputPin {
   public:
    explicit Pin(CBaseFilter* filter) : CBaseInputPin(filter, L"In") {}
    HRESULT CheckMediaType(const CMediaType& type) override;
    HRESULT OnActive() override;
    FrameCheckStats Stats();

   protected:
    HRESULT OnReceive(IMediaSample* sample) override;

   private:
    CCritSection m_statsLock;
    FrameCheckStats m_stats;
  };

  // A new renderer with one reference owned by the caller.
  static CFrameCheckRenderer* Create() { return new (std::nothrow) CFrameCheckRenderer(); }
  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int index) override { return index == 0 ? &m_pin : nullptr; }
  Pin& InputPin() { return m_pin; }

 private:
  CFrameCheckRenderer() : CBaseFilter(GUID_NULL), m_pin(this) {}
  ~CFrameCheckRenderer() override = default;

  Pin m_pin;
};
