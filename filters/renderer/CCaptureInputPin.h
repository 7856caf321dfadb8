// The capture renderer's one input pin: takes uncompressed video whose layout the renderer
// understands (RendererFormat.h) and passes every sample to the renderer.
//
// Threads: connection methods on graph threads under the filter lock; OnReceive and
// OnEndOfStream on the upstream streaming thread without it (CBaseInputPin.h).
#pragma once

#include "filters/base/CBaseInputPin.h"

class CCaptureRenderer;

class CCaptureInputPin final : public CBaseInputPin {
 public:
  explicit CCaptureInputPin(CCaptureRenderer* renderer);

  // Decided at connection time (and for a format carried by a sample), never at the first sample.
  HRESULT CheckMediaType(const CMediaType& type) override;

 protected:
  HRESULT CompleteConnect(IPin* peer) override;
  HRESULT OnReceive(IMediaSample* sample) override;
  HRESULT OnEndOfStream() override;

 private:
  CCaptureRenderer* const m_renderer;  // plain back-pointer: the renderer owns the pin
};
