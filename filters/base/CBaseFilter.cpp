// IBaseFilter state machine, clock and graph membership shared by our filters.
#include "filters/base/CBaseFilter.h"

#include <cwchar>

#include "common/CScopedLock.h"
#include "filters/base/CBasePin.h"
#include "filters/base/CEnumPins.h"
#include "filters/base/ModuleLifetime.h"

using Microsoft::WRL::ComPtr;

CBaseFilter::CBaseFilter(REFCLSID clsid) : m_clsid(clsid) { ModuleObjectCreated(); }

CBaseFilter::~CBaseFilter() { ModuleObjectDestroyed(); }

STDMETHODIMP CBaseFilter::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (riid == IID_IUnknown || riid == IID_IPersist || riid == IID_IMediaFilter || riid == IID_IBaseFilter) {
    *object = static_cast<IBaseFilter*>(this);
    AddRef();
    return S_OK;
  }
  return QueryFilterInterface(riid, object);
}

HRESULT CBaseFilter::QueryFilterInterface(REFIID, void**) { return E_NOINTERFACE; }

STDMETHODIMP_(ULONG) CBaseFilter::AddRef() { return ++m_refs; }

STDMETHODIMP_(ULONG) CBaseFilter::Release() {
  const ULONG refs = --m_refs;
  if (refs == 0) delete this;
  return refs;
}

STDMETHODIMP CBaseFilter::GetClassID(CLSID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = m_clsid;
  return S_OK;
}

STDMETHODIMP CBaseFilter::Stop() {
  CScopedLock lock(&m_filterLock);
  if (CurrentState() == State_Stopped) return S_OK;
  // Every pin is told even when one fails, so no streaming thread is left behind.
  HRESULT result = S_OK;
  for (int i = 0; i < GetPinCount(); ++i) {
    CBasePin* pin = GetPin(i);
    if (pin == nullptr || !pin->IsConnected()) continue;
    const HRESULT hr = pin->OnInactive();
    if (FAILED(hr) && SUCCEEDED(result)) result = hr;
  }
  m_state = State_Stopped;
  return result;
}

STDMETHODIMP CBaseFilter::Pause() {
  CScopedLock lock(&m_filterLock);
  const FILTER_STATE state = CurrentState();
  if (state == State_Paused) return S_OK;
  for (int i = 0; i < GetPinCount(); ++i) {
    CBasePin* pin = GetPin(i);
    if (pin == nullptr || !pin->IsConnected()) continue;
    const HRESULT hr = state == State_Stopped ? pin->OnActive() : pin->OnPause();
    if (FAILED(hr)) {
      // Half-activated pins are put back so that a later Stop finds a consistent filter.
      if (state == State_Stopped) {
        for (int j = 0; j < i; ++j) {
          CBasePin* done = GetPin(j);
          if (done != nullptr && done->IsConnected()) done->OnInactive();
        }
      }
      return hr;
    }
  }
  m_state = State_Paused;
  return S_OK;
}

STDMETHODIMP CBaseFilter::Run(REFERENCE_TIME start) {
  CScopedLock lock(&m_filterLock);
  if (CurrentState() == State_Stopped) {
    const HRESULT hr = Pause();
    if (FAILED(hr)) return hr;
  }
  {
    CScopedLock innerLock(&m_innerLock);
    m_start = start;
  }
  if (CurrentState() == State_Running) return S_OK;
  for (int i = 0; i < GetPinCount(); ++i) {
    CBasePin* pin = GetPin(i);
    if (pin == nullptr || !pin->IsConnected()) continue;
    const HRESULT hr = pin->OnRun(start);
    if (FAILED(hr)) return hr;
  }
  m_state = State_Running;
  return S_OK;
}

STDMETHODIMP CBaseFilter::GetState(DWORD, FILTER_STATE* state) {
  if (state == nullptr) return E_POINTER;
  *state = CurrentState();
  return S_OK;
}

STDMETHODIMP CBaseFilter::SetSyncSource(IReferenceClock* clock) {
  CScopedLock lock(&m_filterLock);
  CScopedLock innerLock(&m_innerLock);
  m_clock = clock;
  return S_OK;
}

STDMETHODIMP CBaseFilter::GetSyncSource(IReferenceClock** clock) {
  if (clock == nullptr) return E_POINTER;
  CScopedLock innerLock(&m_innerLock);
  ComPtr<IReferenceClock> copy = m_clock;
  *clock = copy.Detach();
  return S_OK;
}

HRESULT CBaseFilter::GetStreamTime(REFERENCE_TIME* time) {
  if (time == nullptr) return E_POINTER;
  ComPtr<IReferenceClock> clock;
  REFERENCE_TIME start = 0;
  GetClockAndStart(&clock, &start);
  if (!clock || CurrentState() != State_Running) return E_FAIL;
  REFERENCE_TIME now = 0;
  const HRESULT hr = clock->GetTime(&now);
  if (FAILED(hr)) return hr;
  *time = now - start;
  return S_OK;
}

void CBaseFilter::GetClockAndStart(ComPtr<IReferenceClock>* clock, REFERENCE_TIME* start) {
  CScopedLock innerLock(&m_innerLock);
  if (clock != nullptr) *clock = m_clock;
  if (start != nullptr) *start = m_start;
}

HRESULT CBaseFilter::NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2) {
  ComPtr<IMediaEventSink> sink;
  {
    CScopedLock innerLock(&m_innerLock);
    if (m_graph == nullptr) return E_FAIL;
    // A temporary counted reference: the graph cannot go away while Notify runs, and no
    // reference is kept.
    if (FAILED(m_graph->QueryInterface(IID_PPV_ARGS(&sink)))) return E_FAIL;
  }
  return sink->Notify(code, param1, param2);
}

STDMETHODIMP CBaseFilter::EnumPins(IEnumPins** pins) { return CEnumPins::Create(this, pins); }

STDMETHODIMP CBaseFilter::FindPin(LPCWSTR id, IPin** pin) {
  if (id == nullptr || pin == nullptr) return E_POINTER;
  *pin = nullptr;
  for (int i = 0; i < GetPinCount(); ++i) {
    CBasePin* candidate = GetPin(i);
    if (candidate != nullptr && candidate->Name() == id) {
      *pin = candidate;
      candidate->AddRef();
      return S_OK;
    }
  }
  return VFW_E_NOT_FOUND;
}

STDMETHODIMP CBaseFilter::QueryFilterInfo(FILTER_INFO* info) {
  if (info == nullptr) return E_POINTER;
  CScopedLock lock(&m_filterLock);
  const size_t capacity = sizeof(info->achName) / sizeof(info->achName[0]);
  const size_t length = m_name.size() < capacity - 1 ? m_name.size() : capacity - 1;
  std::wmemcpy(info->achName, m_name.c_str(), length);
  info->achName[length] = L'\0';
  // The caller owns this reference; the filter itself keeps none.
  info->pGraph = m_graph;
  if (info->pGraph != nullptr) info->pGraph->AddRef();
  return S_OK;
}

STDMETHODIMP CBaseFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
  CScopedLock lock(&m_filterLock);
  CScopedLock innerLock(&m_innerLock);
  m_graph = graph;
  m_name = name != nullptr ? name : L"";
  return S_OK;
}

STDMETHODIMP CBaseFilter::QueryVendorInfo(LPWSTR* vendorInfo) {
  if (vendorInfo == nullptr) return E_POINTER;
  *vendorInfo = nullptr;
  return E_NOTIMPL;
}
