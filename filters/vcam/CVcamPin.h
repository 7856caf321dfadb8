// The virtual camera's output pin: offers VcamFormats through IAMStreamConfig (SetFormat before
// connection fixes the format, one we do not offer is refused), says it is a capture pin, and
// fills every sample from a CVcamFeed: the instance's newest camera frame converted to the
// negotiated format, or a placeholder. IAMPushSource and IAMLatency tell a live source's latency
// of one frame. Streaming, time stamps and threads are CCaptureSourcePin's.
// Threads: as CCaptureSourcePin; m_feed is made in OnActive before the streaming thread starts
// and destroyed after it ended, and in between only that thread uses it.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <memory>

#include "filters/base/CCaptureSourcePin.h"
#include "filters/vcam/CVcamFeed.h"

class CVcamFilter;

class CVcamPin final : public CCaptureSourcePin, public IAMPushSource {
 public:
  explicit CVcamPin(CVcamFilter* filter);
  ~CVcamPin() override;

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IAMLatency: one frame interval of the connection type.
  STDMETHODIMP GetLatency(REFERENCE_TIME* latency) override;
  // IAMPushSource: time stamps are stream time of the graph's clock; the offsets are kept and
  // reported, nothing else.
  STDMETHODIMP GetPushSourceFlags(ULONG* flags) override;
  STDMETHODIMP SetPushSourceFlags(ULONG flags) override;
  STDMETHODIMP SetStreamOffset(REFERENCE_TIME offset) override;
  STDMETHODIMP GetStreamOffset(REFERENCE_TIME* offset) override;
  STDMETHODIMP GetMaxStreamOffset(REFERENCE_TIME* offset) override;
  STDMETHODIMP SetMaxStreamOffset(REFERENCE_TIME offset) override;

  HRESULT OnActive() override;
  HRESULT OnInactive() override;

  // The format to register with the instance: what GetFormat reports. Filter lock held.
  HRESULT RequestedFormat(CMediaType* out) const { return CurrentFormat(out); }

 protected:
  HRESULT QueryPinInterface(REFIID riid, void** object) override;
  size_t CapabilityCount() const override;
  HRESULT GetCapability(size_t index, CMediaType* type, VIDEO_STREAM_CONFIG_CAPS* caps) const override;
  bool FindCapability(const AM_MEDIA_TYPE& type, size_t* index) const override;
  void OnFormatChanged() override;
  HRESULT FillSample(IMediaSample* sample, uint32_t number) override;

 private:
  CVcamFilter* const m_vcam;  // plain back-pointer: the filter owns the pin
  std::unique_ptr<CVcamFeed> m_feed;
  size_t m_imageBytes = 0;  // of the connection type; set with m_feed
  REFERENCE_TIME m_streamOffset = 0;     // filter lock
  REFERENCE_TIME m_maxStreamOffset = 0;  // filter lock
};
