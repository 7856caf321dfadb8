// Common IPin behaviour of our input and output pins: identity, connection state, media types.
//
// A pin is owned by its filter and forwards AddRef/Release to it (plain back-pointer), so a pin
// reference handed out keeps the filter alive and no cycle arises.
// Threads: the IPin connection methods run on graph threads under the filter lock; the peer
// pin and the connection type (m_peer, m_mt) change only under that lock while the filter is
// stopped, so streaming code may read them without the lock while the filter is not stopped.
// One exception: an input pin's streaming thread replaces m_mt with a type a sample carries.
// It does so under m_typeLock alone (a streaming thread never takes the filter lock), and
// ConnectionMediaType reads m_mt under the same lock.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <vfwmsgs.h>
#include <wrl/client.h>

#include <string>

#include "common/CCritSection.h"
#include "common/CMediaType.h"

class CBaseFilter;

class CBasePin : public IPin {
 public:
  // IUnknown: the pin's own interfaces, the filter's reference count.
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IPin (Connect is the output pin's, ReceiveConnection the input pin's; the other direction
  // answers E_UNEXPECTED).
  STDMETHODIMP Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP Disconnect() override;
  STDMETHODIMP ConnectedTo(IPin** pin) override;
  STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* type) override;
  STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
  STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override;
  STDMETHODIMP QueryId(LPWSTR* id) override;
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** types) override;
  STDMETHODIMP QueryInternalConnections(IPin** pins, ULONG* count) override;
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;
  STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

  // S_OK when the pin can take this type; any failure otherwise. Filter lock held or not.
  virtual HRESULT CheckMediaType(const CMediaType& type) = 0;
  // The pin's preferred types in order: S_OK, or VFW_S_NO_MORE_ITEMS past the end.
  virtual HRESULT GetMediaType(int index, CMediaType* type);

  // State hooks, called by the filter with the filter lock held, on connected pins only.
  virtual HRESULT OnActive() { return S_OK; }                       // Stopped -> Paused
  virtual HRESULT OnRun(REFERENCE_TIME /*start*/) { return S_OK; }  // -> Running
  virtual HRESULT OnPause() { return S_OK; }                        // Running -> Paused
  virtual HRESULT OnInactive() { return S_OK; }                     // -> Stopped

  bool IsConnected() const { return m_peer.Get() != nullptr; }
  const std::wstring& Name() const { return m_name; }
  PIN_DIRECTION Direction() const { return m_direction; }
  CBaseFilter* Filter() const { return m_filter; }
  // The connection type; valid while connected. Filter lock, or any thread while not stopped.
  const CMediaType& ConnectionType() const { return m_mt; }

 protected:
  CBasePin(CBaseFilter* filter, const wchar_t* name, PIN_DIRECTION direction);
  virtual ~CBasePin();
  CBasePin(const CBasePin&) = delete;
  CBasePin& operator=(const CBasePin&) = delete;

  // Extra interfaces of a derived pin; must AddRef what they return (AddRef goes to the filter).
  virtual HRESULT QueryPinInterface(REFIID riid, void** object);
  // Called with the filter lock held once the peer accepted the type; a failure undoes the
  // connection.
  virtual HRESULT CompleteConnect(IPin* peer);
  // Called with the filter lock held when the connection is broken or a connect attempt failed.
  virtual void BreakConnect() {}
  // Stores the connection type; a pin may refuse or note it.
  virtual HRESULT SetMediaType(const CMediaType& type);

  CBaseFilter* const m_filter;  // plain back-pointer: the filter owns the pin
  Microsoft::WRL::ComPtr<IPin> m_peer;
  CMediaType m_mt;
  CCritSection m_typeLock;  // innermost: m_mt while streaming may change it

 private:
  const std::wstring m_name;
  const PIN_DIRECTION m_direction;
};
