// The live-source answers shared by our capture source filters.
#include "filters/base/CCaptureSourceFilter.h"

STDMETHODIMP CCaptureSourceFilter::GetState(DWORD timeoutMs, FILTER_STATE* state) {
  const HRESULT hr = CBaseFilter::GetState(timeoutMs, state);
  if (FAILED(hr)) return hr;
  return *state == State_Paused ? VFW_S_CANT_CUE : S_OK;
}

STDMETHODIMP_(ULONG) CCaptureSourceFilter::GetMiscFlags() { return AM_FILTER_MISC_FLAGS_IS_SOURCE; }

HRESULT CCaptureSourceFilter::QueryFilterInterface(REFIID riid, void** object) {
  if (riid == IID_IAMFilterMiscFlags) {
    *object = static_cast<IAMFilterMiscFlags*>(this);
    AddRef();
    return S_OK;
  }
  return CBaseFilter::QueryFilterInterface(riid, object);
}
