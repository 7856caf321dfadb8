// Pin enumerator over a snapshot of the filter's pins.
#include "filters/base/CEnumPins.h"

#include <new>

#include "filters/base/CBaseFilter.h"
#include "filters/base/CBasePin.h"
#include "filters/base/ModuleLifetime.h"

CEnumPins::CEnumPins() { ModuleObjectCreated(); }
CEnumPins::~CEnumPins() { ModuleObjectDestroyed(); }

HRESULT CEnumPins::Create(CBaseFilter* filter, IEnumPins** result) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  auto* enumerator = new (std::nothrow) CEnumPins();
  if (enumerator == nullptr) return E_OUTOFMEMORY;
  for (int i = 0; i < filter->GetPinCount(); ++i) {
    CBasePin* pin = filter->GetPin(i);
    if (pin != nullptr) enumerator->m_pins.emplace_back(pin);
  }
  *result = enumerator;
  return S_OK;
}

STDMETHODIMP CEnumPins::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (riid == IID_IUnknown || riid == IID_IEnumPins) {
    *object = static_cast<IEnumPins*>(this);
    AddRef();
    return S_OK;
  }
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CEnumPins::AddRef() { return ++m_refs; }

STDMETHODIMP_(ULONG) CEnumPins::Release() {
  const ULONG refs = --m_refs;
  if (refs == 0) delete this;
  return refs;
}

STDMETHODIMP CEnumPins::Next(ULONG count, IPin** pins, ULONG* fetched) {
  if (pins == nullptr) return E_POINTER;
  if (count != 1 && fetched == nullptr) return E_INVALIDARG;
  ULONG done = 0;
  while (done < count && m_position < m_pins.size()) {
    Microsoft::WRL::ComPtr<IPin> pin = m_pins[m_position++];
    pins[done++] = pin.Detach();
  }
  if (fetched != nullptr) *fetched = done;
  return done == count ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumPins::Skip(ULONG count) {
  const size_t left = m_pins.size() - m_position;
  if (count > left) {
    m_position = m_pins.size();
    return S_FALSE;
  }
  m_position += count;
  return S_OK;
}

STDMETHODIMP CEnumPins::Reset() {
  m_position = 0;
  return S_OK;
}

STDMETHODIMP CEnumPins::Clone(IEnumPins** result) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  auto* copy = new (std::nothrow) CEnumPins();
  if (copy == nullptr) return E_OUTOFMEMORY;
  copy->m_pins = m_pins;
  copy->m_position = m_position;
  *result = copy;
  return S_OK;
}
