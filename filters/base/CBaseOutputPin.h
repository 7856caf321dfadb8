// Output pin base: connects to a downstream input pin, negotiates an allocator and pushes
// samples with IMemInputPin::Receive.
//
// How a derived pin uses it: implement CheckMediaType, GetMediaType (the types it offers, in
// order of preference) and DecideBufferSize (call IMemAllocator::SetProperties). While the filter
// is not stopped, a streaming thread calls GetDeliveryBuffer, fills the sample and calls Deliver.
//
// Connect tries, in order: the given type when it is fully specified; otherwise each of the
// pin's own types that matches the partial type, then each of the receiver's types that
// CheckMediaType accepts. The allocator is the receiver's (GetAllocator) when it takes our buffer
// requirements, else a new CLSID_MemoryAllocator.
//
// Threads: Connect/Disconnect and the state hooks run on graph threads under the filter lock.
// The allocator and the downstream IMemInputPin change only while stopped, so the streaming
// thread uses them without a lock. OnActive commits the allocator; OnInactive decommits it,
// which releases a streaming thread blocked in GetDeliveryBuffer.
#pragma once

#include "filters/base/CBasePin.h"

class CBaseOutputPin : public CBasePin {
 public:
  STDMETHODIMP Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) override;

  HRESULT OnActive() override;
  HRESULT OnInactive() override;

  // Streaming thread. A sample from the allocator (blocks while every buffer is in use); fails
  // with VFW_E_NOT_COMMITTED once the pin went inactive.
  HRESULT GetDeliveryBuffer(Microsoft::WRL::ComPtr<IMediaSample>* sample);
  // Streaming thread. Passes the sample downstream; VFW_E_NOT_CONNECTED without a peer.
  HRESULT Deliver(IMediaSample* sample);
  // Streaming or graph thread: the stream notifications for the downstream pin.
  HRESULT DeliverEndOfStream();
  HRESULT DeliverBeginFlush();
  HRESULT DeliverEndFlush();
  HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

  // The negotiated allocator; null while unconnected. Filter lock or streaming thread.
  IMemAllocator* Allocator() const { return m_allocator.Get(); }

 protected:
  CBaseOutputPin(CBaseFilter* filter, const wchar_t* name);

  // Asks the allocator for buffers of the connection type (m_mt is already set). `request`
  // holds the receiver's wishes (zero when it has none).
  virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;

  HRESULT CompleteConnect(IPin* peer) override;
  void BreakConnect() override;

 private:
  HRESULT TryConnection(IPin* receivePin, const CMediaType& type);
  HRESULT DecideAllocator(IMemInputPin* input);

  Microsoft::WRL::ComPtr<IMemInputPin> m_memInput;
  Microsoft::WRL::ComPtr<IMemAllocator> m_allocator;
};
