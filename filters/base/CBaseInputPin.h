// Input pin base: accepts a connection whose type CheckMediaType allows, provides or takes an
// allocator, and hands samples to the derived pin (IPin + IMemInputPin).
//
// How a derived pin uses it: implement CheckMediaType and OnReceive; override OnEndOfStream,
// OnBeginFlush/OnEndFlush when the filter must react (a renderer sends EC_COMPLETE on end of
// stream through the filter's NotifyEvent).
//
// Threads: ReceiveConnection/Disconnect and the state hooks run on graph threads under the
// filter lock. Receive, ReceiveMultiple, EndOfStream and NewSegment run on the upstream
// streaming thread without the filter lock; BeginFlush/EndFlush on a graph thread. Receive
// refuses samples while the filter is stopped (VFW_E_WRONG_STATE) and drops them while
// flushing (S_FALSE); a sample that carries a new media type is checked with CheckMediaType and
// the connection type is updated under the pin's type lock, never the filter lock. OnReceive may
// block (for a renderer waiting for its presentation time) but must return when the filter
// stops or a flush begins; it must not take the filter lock.
#pragma once

#include <atomic>

#include "filters/base/CBasePin.h"

class CBaseInputPin : public CBasePin, public IMemInputPin {
 public:
  // IUnknown: one identity for IPin and IMemInputPin.
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IPin
  STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;
  STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

  // IMemInputPin
  STDMETHODIMP GetAllocator(IMemAllocator** allocator) override;
  STDMETHODIMP NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
  STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) override;
  STDMETHODIMP Receive(IMediaSample* sample) override;
  STDMETHODIMP ReceiveMultiple(IMediaSample** samples, LONG count, LONG* processed) override;
  STDMETHODIMP ReceiveCanBlock() override;

  HRESULT OnInactive() override;

  bool IsFlushing() const { return m_flushing.load(); }

 protected:
  CBaseInputPin(CBaseFilter* filter, const wchar_t* name);

  // Upstream streaming thread, no filter lock held; the filter is paused or running.
  virtual HRESULT OnReceive(IMediaSample* sample) = 0;
  // Upstream streaming thread.
  virtual HRESULT OnEndOfStream() { return S_OK; }
  // Graph thread: release anything OnReceive waits on at BeginFlush.
  virtual HRESULT OnBeginFlush() { return S_OK; }
  virtual HRESULT OnEndFlush() { return S_OK; }

  void BreakConnect() override;

 private:
  std::atomic<bool> m_flushing{false};
  Microsoft::WRL::ComPtr<IMemAllocator> m_allocator;  // filter lock
  bool m_readOnly = false;                            // filter lock
};
