// A test renderer on the filter base: one input pin that takes video with a VIDEOINFOHEADER,
// checks every sample's length and time stamps, reads the test camera's frame counter from it,
// keeps a copy of the newest sample and hands each sample to an inspector when one is set.
// Threads: the pin's OnReceive (and the inspector) runs on the source's streaming thread, Stats
// and CopyNewest on the test thread; m_lock guards what the pin records. The inspector is set
// before the graph runs and not changed while it does.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <new>
#include <utility>
#include <vector>

#include "common/CCritSection.h"
#include "filters/base/CBaseFilter.h"
#include "filters/base/CBaseInputPin.h"

struct FrameCheckStats {
  LONG samples = 0;
  // A length other than the connection's sample size, missing time stamps, or a start not
  // after the previous start.
  LONG badSamples = 0;
  LONG counterGaps = 0;         // a counter missing, or not the previous one plus one
  LONG irregularSpacing = 0;    // start - previous start differs from the frame interval
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
    // The newest sample's bytes (empty before the first of this run).
    void CopyNewest(std::vector<BYTE>* bytes);
    using Inspector = std::function<void(const BYTE* data, size_t size)>;
    void SetInspector(Inspector inspector) { m_inspector = std::move(inspector); }

   protected:
    HRESULT OnReceive(IMediaSample* sample) override;

   private:
    CCritSection m_lock;
    FrameCheckStats m_stats;
    std::vector<BYTE> m_newest;
    Inspector m_inspector;
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
