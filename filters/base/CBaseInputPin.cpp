// Input pin: connection acceptance, allocator hand-over and sample reception checks.
#include "filters/base/CBaseInputPin.h"

#include <uuids.h>

#include <utility>

#include "common/CScopedLock.h"
#include "common/CTaskMemMediaType.h"
#include "filters/base/CBaseFilter.h"

using Microsoft::WRL::ComPtr;

CBaseInputPin::CBaseInputPin(CBaseFilter* filter, const wchar_t* name) : CBasePin(filter, name, PINDIR_INPUT) {}

STDMETHODIMP CBaseInputPin::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (riid == IID_IMemInputPin) {
    *object = static_cast<IMemInputPin*>(this);
    AddRef();
    return S_OK;
  }
  return CBasePin::QueryInterface(riid, object);
}

STDMETHODIMP_(ULONG) CBaseInputPin::AddRef() { return CBasePin::AddRef(); }
STDMETHODIMP_(ULONG) CBaseInputPin::Release() { return CBasePin::Release(); }

STDMETHODIMP CBaseInputPin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) {
  if (connector == nullptr || type == nullptr) return E_POINTER;
  CScopedLock lock(&m_filter->FilterLock());
  if (m_peer) return VFW_E_ALREADY_CONNECTED;
  if (m_filter->CurrentState() != State_Stopped) return VFW_E_NOT_STOPPED;
  PIN_DIRECTION direction = PINDIR_INPUT;
  if (FAILED(connector->QueryDirection(&direction)) || direction != PINDIR_OUTPUT) return VFW_E_INVALID_DIRECTION;
  CMediaType offered;
  HRESULT hr = offered.CopyFrom(*type);
  if (FAILED(hr)) return hr;
  if (CheckMediaType(offered) != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
  hr = SetMediaType(offered);
  if (FAILED(hr)) return hr;
  m_peer = connector;
  hr = CompleteConnect(connector);
  if (FAILED(hr)) {
    BreakConnect();
    m_peer.Reset();
    m_mt.SetEmpty();
    return hr;
  }
  return S_OK;
}

void CBaseInputPin::BreakConnect() {
  if (m_allocator) m_allocator->Decommit();
  m_allocator.Reset();
  m_readOnly = false;
}

HRESULT CBaseInputPin::OnInactive() {
  // A stop ends any flush: the next run starts with a clean stream.
  m_flushing = false;
  return S_OK;
}

STDMETHODIMP CBaseInputPin::EndOfStream() {
  if (m_filter->CurrentState() == State_Stopped) return VFW_E_WRONG_STATE;
  if (m_flushing.load()) return S_FALSE;
  return OnEndOfStream();
}

STDMETHODIMP CBaseInputPin::BeginFlush() {
  m_flushing = true;
  return OnBeginFlush();
}

STDMETHODIMP CBaseInputPin::EndFlush() {
  const HRESULT hr = OnEndFlush();
  m_flushing = false;
  return hr;
}

STDMETHODIMP CBaseInputPin::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) { return S_OK; }

STDMETHODIMP CBaseInputPin::GetAllocator(IMemAllocator** allocator) {
  if (allocator == nullptr) return E_POINTER;
  *allocator = nullptr;
  CScopedLock lock(&m_filter->FilterLock());
  if (!m_allocator) {
    const HRESULT hr =
        ::CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&m_allocator));
    if (FAILED(hr)) return hr;
  }
  ComPtr<IMemAllocator> copy = m_allocator;
  *allocator = copy.Detach();
  return S_OK;
}

STDMETHODIMP CBaseInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) {
  if (allocator == nullptr) return E_POINTER;
  CScopedLock lock(&m_filter->FilterLock());
  m_allocator = allocator;
  m_readOnly = readOnly != FALSE;
  return S_OK;
}

STDMETHODIMP CBaseInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) { return E_NOTIMPL; }

STDMETHODIMP CBaseInputPin::Receive(IMediaSample* sample) {
  if (sample == nullptr) return E_POINTER;
  if (m_filter->CurrentState() == State_Stopped) return VFW_E_WRONG_STATE;
  if (m_flushing.load()) return S_FALSE;

  // A dynamic format change travels on the sample; it must be one the pin accepts.
  CTaskMemMediaType changed;
  if (sample->GetMediaType(changed.Receive()) == S_OK && changed) {
    CMediaType type;
    const HRESULT hr = type.CopyFrom(*changed.Get());
    if (FAILED(hr)) return hr;
    if (CheckMediaType(type) != S_OK) return VFW_E_INVALIDMEDIATYPE;
    // Not the filter lock: a state change holds it while it waits for this thread.
    CScopedLock lock(&m_typeLock);
    m_mt = std::move(type);
  }
  return OnReceive(sample);
}

STDMETHODIMP CBaseInputPin::ReceiveMultiple(IMediaSample** samples, LONG count, LONG* processed) {
  if (samples == nullptr || processed == nullptr) return E_POINTER;
  *processed = 0;
  HRESULT hr = S_OK;
  for (LONG i = 0; i < count; ++i) {
    hr = Receive(samples[i]);
    if (hr != S_OK) break;
    ++*processed;
  }
  return hr;
}

STDMETHODIMP CBaseInputPin::ReceiveCanBlock() { return S_OK; }
