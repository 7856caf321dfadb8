// Base of our DirectShow filters: IBaseFilter with its state, clock and graph membership.
//
// How a derived filter uses the base:
//  - Derive from CBaseFilter, own the pins (CBaseOutputPin / CBaseInputPin subclasses) as
//    members or unique_ptrs created in the constructor, and return them from GetPinCount/GetPin.
//    Pins never change during the filter's life.
//  - Create the object with new (reference count 1), hand it out with HandOutNewObject
//    (CClassFactory.h) or QueryInterface + Release.
//  - Expose extra interfaces by overriding QueryFilterInterface.
//  - To react to state changes override the pins' OnActive/OnRun/OnPause/OnInactive hooks; a
//    filter may also override Stop/Pause/Run/GetState and call the base versions.
//
// Threads and locks:
//  - The graph manager's threads (any thread) call the IMediaFilter/IBaseFilter methods; all of
//    them take the filter lock (FilterLock()), which also guards the pins' connection state.
//  - Streaming threads (a source's own thread, or the upstream thread calling Receive) must not
//    take the filter lock: a state change holds it while it waits for them. They read
//    CurrentState() (no lock) and call GetStreamTime, GetClockAndStart and NotifyEvent, which
//    take only the inner lock.
//  - Lock order: filter lock, then a derived filter's own locks, then the inner lock.
//  - The filter keeps a plain pointer to its graph (JoinFilterGraph): the graph owns the filter.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <vfwmsgs.h>
#include <wrl/client.h>

#include <atomic>
#include <string>

#include "common/CCritSection.h"

class CBasePin;

class CBaseFilter : public IBaseFilter {
 public:
  // IUnknown. Pins forward their AddRef/Release here, so a pin reference keeps the filter alive.
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IPersist
  STDMETHODIMP GetClassID(CLSID* clsid) override;

  // IMediaFilter. Pause from Stopped calls OnActive on every connected pin, Run calls OnRun,
  // Pause from Running calls OnPause, Stop calls OnInactive; all with the filter lock held.
  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP Run(REFERENCE_TIME start) override;
  STDMETHODIMP GetState(DWORD timeoutMs, FILTER_STATE* state) override;
  STDMETHODIMP SetSyncSource(IReferenceClock* clock) override;
  STDMETHODIMP GetSyncSource(IReferenceClock** clock) override;

  // IBaseFilter
  STDMETHODIMP EnumPins(IEnumPins** pins) override;
  STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;
  STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override;
  STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
  STDMETHODIMP QueryVendorInfo(LPWSTR* vendorInfo) override;

  // The filter's pins, fixed for its life; the pins stay owned by the filter. Any thread.
  virtual int GetPinCount() = 0;
  virtual CBasePin* GetPin(int index) = 0;

  CCritSection& FilterLock() { return m_filterLock; }
  // Any thread, no lock: the state as of the last completed state change.
  FILTER_STATE CurrentState() const { return static_cast<FILTER_STATE>(m_state.load()); }
  // Reference clock time minus the run start time; E_FAIL without a clock or while not running.
  // Any thread; takes only the clock lock.
  HRESULT GetStreamTime(REFERENCE_TIME* time);
  // The running start time and the clock (null when the graph runs without one). Any thread.
  void GetClockAndStart(Microsoft::WRL::ComPtr<IReferenceClock>* clock, REFERENCE_TIME* start);
  // Sends an event to the graph (IMediaEventSink). Any thread, streaming threads included;
  // E_FAIL outside a graph.
  HRESULT NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2);
  // The graph the filter belongs to, no reference; null outside a graph. Filter lock held (the
  // pointer changes only under both the filter lock and the inner lock).
  IFilterGraph* Graph() const { return m_graph; }

 protected:
  explicit CBaseFilter(REFCLSID clsid);
  virtual ~CBaseFilter();
  CBaseFilter(const CBaseFilter&) = delete;
  CBaseFilter& operator=(const CBaseFilter&) = delete;

  // Extra interfaces of the derived filter; the base answers IUnknown, IPersist, IMediaFilter
  // and IBaseFilter itself. Must AddRef what it returns.
  virtual HRESULT QueryFilterInterface(REFIID riid, void** object);

 private:
  std::atomic<ULONG> m_refs{1};
  const CLSID m_clsid;
  CCritSection m_filterLock;
  std::atomic<int> m_state{State_Stopped};  // written under the filter lock, read anywhere
  std::wstring m_name;                      // filter lock

  CCritSection m_innerLock;  // guards m_graph, m_clock and m_start
  IFilterGraph* m_graph = nullptr;  // plain pointer: the graph owns the filter
  Microsoft::WRL::ComPtr<IReferenceClock> m_clock;
  REFERENCE_TIME m_start = 0;
};
