// Base of our live capture source filters (the test camera, the virtual camera): a live source
// has nothing to cue while paused, so GetState says VFW_S_CANT_CUE and the graph runs without
// waiting for preroll; IAMFilterMiscFlags tells the graph it is a source.
// Threads: as CBaseFilter.
#pragma once

#include "filters/base/CBaseFilter.h"

class CCaptureSourceFilter : public CBaseFilter, public IAMFilterMiscFlags {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override { return CBaseFilter::QueryInterface(riid, object); }
  STDMETHODIMP_(ULONG) AddRef() override { return CBaseFilter::AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return CBaseFilter::Release(); }

  STDMETHODIMP GetState(DWORD timeoutMs, FILTER_STATE* state) override;

  // IAMFilterMiscFlags
  STDMETHODIMP_(ULONG) GetMiscFlags() override;

 protected:
  explicit CCaptureSourceFilter(REFCLSID clsid) : CBaseFilter(clsid) {}
  HRESULT QueryFilterInterface(REFIID riid, void** object) override;
};
