// Media type enumerator over a snapshot of a pin's preferred types.
#include "filters/base/CEnumMediaTypes.h"

#include <new>
#include <utility>

#include "filters/base/CBasePin.h"
#include "filters/base/ModuleLifetime.h"

CEnumMediaTypes::CEnumMediaTypes(std::vector<CMediaType> types) : m_types(std::move(types)) {
  ModuleObjectCreated();
}

CEnumMediaTypes::~CEnumMediaTypes() { ModuleObjectDestroyed(); }

HRESULT CEnumMediaTypes::Create(CBasePin* pin, IEnumMediaTypes** result) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  std::vector<CMediaType> types;
  for (int i = 0;; ++i) {
    CMediaType type;
    if (pin->GetMediaType(i, &type) != S_OK) break;
    types.push_back(std::move(type));
  }
  return Create(std::move(types), result);
}

HRESULT CEnumMediaTypes::Create(std::vector<CMediaType> types, IEnumMediaTypes** result) {
  if (result == nullptr) return E_POINTER;
  auto* enumerator = new (std::nothrow) CEnumMediaTypes(std::move(types));
  *result = enumerator;
  return enumerator != nullptr ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CEnumMediaTypes::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (riid == IID_IUnknown || riid == IID_IEnumMediaTypes) {
    *object = static_cast<IEnumMediaTypes*>(this);
    AddRef();
    return S_OK;
  }
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CEnumMediaTypes::AddRef() { return ++m_refs; }

STDMETHODIMP_(ULONG) CEnumMediaTypes::Release() {
  const ULONG refs = --m_refs;
  if (refs == 0) delete this;
  return refs;
}

STDMETHODIMP CEnumMediaTypes::Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) {
  if (types == nullptr) return E_POINTER;
  if (count != 1 && fetched == nullptr) return E_INVALIDARG;
  ULONG done = 0;
  while (done < count && m_position < m_types.size()) {
    AM_MEDIA_TYPE* copy = m_types[m_position].CreateTaskMemCopy();
    if (copy == nullptr) {
      // Hand back nothing rather than a partial batch the caller cannot tell from success.
      for (ULONG i = 0; i < done; ++i) CMediaType::DeleteTaskMemType(types[i]);
      if (fetched != nullptr) *fetched = 0;
      return E_OUTOFMEMORY;
    }
    types[done++] = copy;
    ++m_position;
  }
  if (fetched != nullptr) *fetched = done;
  return done == count ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumMediaTypes::Skip(ULONG count) {
  const size_t left = m_types.size() - m_position;
  if (count > left) {
    m_position = m_types.size();
    return S_FALSE;
  }
  m_position += count;
  return S_OK;
}

STDMETHODIMP CEnumMediaTypes::Reset() {
  m_position = 0;
  return S_OK;
}

STDMETHODIMP CEnumMediaTypes::Clone(IEnumMediaTypes** result) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  std::vector<CMediaType> types(m_types.size());
  for (size_t i = 0; i < types.size(); ++i) {
    if (FAILED(types[i].CopyFrom(m_types[i]))) return E_OUTOFMEMORY;
  }
  auto* copy = new (std::nothrow) CEnumMediaTypes(std::move(types));
  if (copy == nullptr) return E_OUTOFMEMORY;
  copy->m_position = m_position;
  *result = copy;
  return S_OK;
}
