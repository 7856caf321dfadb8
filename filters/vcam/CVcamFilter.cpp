// The virtual camera filter: its pin, and its membership of the instance while in a graph.
#include "filters/vcam/CVcamFilter.h"

#include <new>

#include "common/CScopedLock.h"
#include "common/ComReferences.h"
#include "filters/vcam/VcamIdentity.h"

HRESULT CVcamFilter::CreateInstance(const void*, REFIID iid, void** object) {
  return HandOutNewObject(new (std::nothrow) CVcamFilter(), iid, object);
}

CVcamFilter::CVcamFilter() : CCaptureSourceFilter(kVcamClsid), m_pin(std::make_unique<CVcamPin>(this)) {}

CVcamFilter::~CVcamFilter() {
  m_pin.reset();
  m_client.Leave();
}

STDMETHODIMP CVcamFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
  CScopedLock lock(&FilterLock());
  const HRESULT hr = CCaptureSourceFilter::JoinFilterGraph(graph, name);
  if (FAILED(hr)) return hr;
  if (graph == nullptr) {
    m_client.Leave();
    return hr;
  }
  CMediaType format;
  if (SUCCEEDED(m_pin->RequestedFormat(&format))) m_client.Join(format.Get());
  return hr;
}

STDMETHODIMP CVcamFilter::Pause() {
  CScopedLock lock(&FilterLock());
  const HRESULT hr = CCaptureSourceFilter::Pause();
  if (SUCCEEDED(hr)) m_client.SetWantsVideo(true);
  return hr;
}

STDMETHODIMP CVcamFilter::Stop() {
  CScopedLock lock(&FilterLock());
  const HRESULT hr = CCaptureSourceFilter::Stop();
  m_client.SetWantsVideo(false);
  return hr;
}

int CVcamFilter::GetPinCount() { return 1; }

CBasePin* CVcamFilter::GetPin(int index) { return index == 0 ? m_pin.get() : nullptr; }
