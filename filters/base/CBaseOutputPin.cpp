// Output pin: type agreement with the receiver, allocator negotiation and sample delivery.
#include "filters/base/CBaseOutputPin.h"

#include <uuids.h>

#include "common/CScopedLock.h"
#include "common/CTaskMemMediaType.h"
#include "filters/base/CBaseFilter.h"

using Microsoft::WRL::ComPtr;

namespace {
bool IsFullySpecified(const AM_MEDIA_TYPE& type) {
  return type.majortype != GUID_NULL && type.subtype != GUID_NULL && type.formattype != GUID_NULL;
}

// A partial type matches when each of its non-null GUIDs equals the candidate's.
bool MatchesPartial(const AM_MEDIA_TYPE* partial, const AM_MEDIA_TYPE& candidate) {
  if (partial == nullptr) return true;
  return (partial->majortype == GUID_NULL || partial->majortype == candidate.majortype) &&
         (partial->subtype == GUID_NULL || partial->subtype == candidate.subtype) &&
         (partial->formattype == GUID_NULL || partial->formattype == candidate.formattype);
}
}  // namespace

CBaseOutputPin::CBaseOutputPin(CBaseFilter* filter, const wchar_t* name) : CBasePin(filter, name, PINDIR_OUTPUT) {}

STDMETHODIMP CBaseOutputPin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) {
  if (receivePin == nullptr) return E_POINTER;
  CScopedLock lock(&m_filter->FilterLock());
  if (m_peer) return VFW_E_ALREADY_CONNECTED;
  if (m_filter->CurrentState() != State_Stopped) return VFW_E_NOT_STOPPED;
  PIN_DIRECTION direction = PINDIR_OUTPUT;
  if (FAILED(receivePin->QueryDirection(&direction)) || direction != PINDIR_INPUT) return VFW_E_INVALID_DIRECTION;

  if (type != nullptr && IsFullySpecified(*type)) {
    CMediaType wanted;
    HRESULT hr = wanted.CopyFrom(*type);
    if (FAILED(hr)) return hr;
    hr = TryConnection(receivePin, wanted);
    return SUCCEEDED(hr) ? hr : VFW_E_NO_ACCEPTABLE_TYPES;
  }

  // Our own preferences first, then whatever the receiver proposes.
  for (int i = 0;; ++i) {
    CMediaType candidate;
    if (GetMediaType(i, &candidate) != S_OK) break;
    if (!MatchesPartial(type, candidate.Get())) continue;
    if (SUCCEEDED(TryConnection(receivePin, candidate))) return S_OK;
  }
  ComPtr<IEnumMediaTypes> theirs;
  if (SUCCEEDED(receivePin->EnumMediaTypes(&theirs)) && theirs) {
    for (;;) {
      CTaskMemMediaType next;
      ULONG fetched = 0;
      // S_FALSE: no more types.
      if (theirs->Next(1, next.Receive(), &fetched) != S_OK || fetched != 1 || !next) break;
      CMediaType candidate;
      if (FAILED(candidate.CopyFrom(*next.Get()))) return E_OUTOFMEMORY;
      if (!MatchesPartial(type, candidate.Get())) continue;
      if (SUCCEEDED(TryConnection(receivePin, candidate))) return S_OK;
    }
  }
  return VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT CBaseOutputPin::TryConnection(IPin* receivePin, const CMediaType& type) {
  HRESULT hr = CheckMediaType(type);
  if (hr != S_OK) return FAILED(hr) ? hr : VFW_E_TYPE_NOT_ACCEPTED;
  hr = SetMediaType(type);
  if (FAILED(hr)) return hr;
  m_peer = receivePin;
  hr = receivePin->ReceiveConnection(this, &type.Get());
  if (SUCCEEDED(hr)) {
    hr = CompleteConnect(receivePin);
    if (SUCCEEDED(hr)) return S_OK;
    receivePin->Disconnect();
  }
  BreakConnect();
  m_peer.Reset();
  m_mt.SetEmpty();
  return hr;
}

HRESULT CBaseOutputPin::CompleteConnect(IPin* peer) {
  ComPtr<IMemInputPin> input;
  if (FAILED(peer->QueryInterface(IID_PPV_ARGS(&input)))) return VFW_E_NO_TRANSPORT;
  const HRESULT hr = DecideAllocator(input.Get());
  if (FAILED(hr)) return hr;
  m_memInput = input;
  return S_OK;
}

HRESULT CBaseOutputPin::DecideAllocator(IMemInputPin* input) {
  ALLOCATOR_PROPERTIES wishes = {};
  // Not every receiver states requirements (E_NOTIMPL is common); zero means "no wishes".
  if (FAILED(input->GetAllocatorRequirements(&wishes))) wishes = ALLOCATOR_PROPERTIES{};

  ComPtr<IMemAllocator> allocator;
  if (SUCCEEDED(input->GetAllocator(&allocator)) && allocator) {
    ALLOCATOR_PROPERTIES request = wishes;
    if (SUCCEEDED(DecideBufferSize(allocator.Get(), &request)) &&
        SUCCEEDED(input->NotifyAllocator(allocator.Get(), FALSE))) {
      m_allocator = allocator;
      return S_OK;
    }
  }
  allocator.Reset();
  HRESULT hr = ::CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&allocator));
  if (FAILED(hr)) return hr;
  ALLOCATOR_PROPERTIES request = wishes;
  hr = DecideBufferSize(allocator.Get(), &request);
  if (FAILED(hr)) return hr;
  hr = input->NotifyAllocator(allocator.Get(), FALSE);
  if (FAILED(hr)) return hr;
  m_allocator = allocator;
  return S_OK;
}

void CBaseOutputPin::BreakConnect() {
  if (m_allocator) m_allocator->Decommit();
  m_allocator.Reset();
  m_memInput.Reset();
}

HRESULT CBaseOutputPin::OnActive() {
  if (!m_allocator) return VFW_E_NO_ALLOCATOR;
  return m_allocator->Commit();
}

HRESULT CBaseOutputPin::OnInactive() {
  if (!m_allocator) return S_OK;
  return m_allocator->Decommit();
}

HRESULT CBaseOutputPin::GetDeliveryBuffer(ComPtr<IMediaSample>* sample) {
  if (sample == nullptr) return E_POINTER;
  sample->Reset();
  if (!m_allocator) return VFW_E_NO_ALLOCATOR;
  return m_allocator->GetBuffer(sample->ReleaseAndGetAddressOf(), nullptr, nullptr, 0);
}

HRESULT CBaseOutputPin::Deliver(IMediaSample* sample) {
  if (!m_memInput) return VFW_E_NOT_CONNECTED;
  return m_memInput->Receive(sample);
}

HRESULT CBaseOutputPin::DeliverEndOfStream() {
  ComPtr<IPin> peer = m_peer;
  return peer ? peer->EndOfStream() : VFW_E_NOT_CONNECTED;
}

HRESULT CBaseOutputPin::DeliverBeginFlush() {
  ComPtr<IPin> peer = m_peer;
  return peer ? peer->BeginFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT CBaseOutputPin::DeliverEndFlush() {
  ComPtr<IPin> peer = m_peer;
  return peer ? peer->EndFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT CBaseOutputPin::DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  ComPtr<IPin> peer = m_peer;
  return peer ? peer->NewSegment(start, stop, rate) : VFW_E_NOT_CONNECTED;
}
