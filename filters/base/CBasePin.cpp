// IPin identity, connection state and media type queries shared by input and output pins.
#include "filters/base/CBasePin.h"

#include <cwchar>

#include "common/CScopedLock.h"
#include "filters/base/CBaseFilter.h"
#include "filters/base/CEnumMediaTypes.h"

CBasePin::CBasePin(CBaseFilter* filter, const wchar_t* name, PIN_DIRECTION direction)
    : m_filter(filter), m_name(name != nullptr ? name : L""), m_direction(direction) {}

CBasePin::~CBasePin() = default;

STDMETHODIMP CBasePin::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (riid == IID_IUnknown || riid == IID_IPin) {
    *object = static_cast<IPin*>(this);
    AddRef();
    return S_OK;
  }
  return QueryPinInterface(riid, object);
}

HRESULT CBasePin::QueryPinInterface(REFIID, void**) { return E_NOINTERFACE; }

STDMETHODIMP_(ULONG) CBasePin::AddRef() { return m_filter->AddRef(); }
STDMETHODIMP_(ULONG) CBasePin::Release() { return m_filter->Release(); }

STDMETHODIMP CBasePin::Connect(IPin*, const AM_MEDIA_TYPE*) { return E_UNEXPECTED; }
STDMETHODIMP CBasePin::ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) { return E_UNEXPECTED; }

STDMETHODIMP CBasePin::Disconnect() {
  CScopedLock lock(&m_filter->FilterLock());
  if (m_filter->CurrentState() != State_Stopped) return VFW_E_NOT_STOPPED;
  if (!m_peer) return S_FALSE;
  BreakConnect();
  m_peer.Reset();
  m_mt.SetEmpty();
  return S_OK;
}

STDMETHODIMP CBasePin::ConnectedTo(IPin** pin) {
  if (pin == nullptr) return E_POINTER;
  CScopedLock lock(&m_filter->FilterLock());
  *pin = nullptr;
  if (!m_peer) return VFW_E_NOT_CONNECTED;
  Microsoft::WRL::ComPtr<IPin> peer = m_peer;
  *pin = peer.Detach();
  return S_OK;
}

STDMETHODIMP CBasePin::ConnectionMediaType(AM_MEDIA_TYPE* type) {
  if (type == nullptr) return E_POINTER;
  CScopedLock lock(&m_filter->FilterLock());
  if (!m_peer) {
    CMediaType empty;
    empty.CopyTo(type);
    return VFW_E_NOT_CONNECTED;
  }
  CScopedLock typeLock(&m_typeLock);
  return m_mt.CopyTo(type);
}

STDMETHODIMP CBasePin::QueryPinInfo(PIN_INFO* info) {
  if (info == nullptr) return E_POINTER;
  info->pFilter = m_filter;
  m_filter->AddRef();
  info->dir = m_direction;
  const size_t capacity = sizeof(info->achName) / sizeof(info->achName[0]);
  const size_t length = m_name.size() < capacity - 1 ? m_name.size() : capacity - 1;
  std::wmemcpy(info->achName, m_name.c_str(), length);
  info->achName[length] = L'\0';
  return S_OK;
}

STDMETHODIMP CBasePin::QueryDirection(PIN_DIRECTION* direction) {
  if (direction == nullptr) return E_POINTER;
  *direction = m_direction;
  return S_OK;
}

STDMETHODIMP CBasePin::QueryId(LPWSTR* id) {
  if (id == nullptr) return E_POINTER;
  const size_t bytes = (m_name.size() + 1) * sizeof(wchar_t);
  auto* copy = static_cast<LPWSTR>(::CoTaskMemAlloc(bytes));
  if (copy == nullptr) return E_OUTOFMEMORY;
  std::wmemcpy(copy, m_name.c_str(), m_name.size() + 1);
  *id = copy;
  return S_OK;
}

STDMETHODIMP CBasePin::QueryAccept(const AM_MEDIA_TYPE* type) {
  if (type == nullptr) return E_POINTER;
  CMediaType offered;
  return SUCCEEDED(offered.CopyFrom(*type)) && CheckMediaType(offered) == S_OK ? S_OK : S_FALSE;
}

STDMETHODIMP CBasePin::EnumMediaTypes(IEnumMediaTypes** types) { return CEnumMediaTypes::Create(this, types); }

STDMETHODIMP CBasePin::QueryInternalConnections(IPin**, ULONG*) { return E_NOTIMPL; }

STDMETHODIMP CBasePin::EndOfStream() { return E_UNEXPECTED; }
STDMETHODIMP CBasePin::BeginFlush() { return E_UNEXPECTED; }
STDMETHODIMP CBasePin::EndFlush() { return E_UNEXPECTED; }
STDMETHODIMP CBasePin::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) { return S_OK; }

HRESULT CBasePin::GetMediaType(int, CMediaType*) { return VFW_S_NO_MORE_ITEMS; }

HRESULT CBasePin::CompleteConnect(IPin*) { return S_OK; }

HRESULT CBasePin::SetMediaType(const CMediaType& type) { return m_mt.CopyFrom(type); }
