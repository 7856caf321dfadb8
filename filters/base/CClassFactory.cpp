// Class factory for the classes listed in a filter DLL's table.
#include "filters/base/CClassFactory.h"

#include <new>

#include "common/ComReferences.h"
#include "filters/base/ModuleLifetime.h"

CClassFactory::CClassFactory(const ClassFactoryEntry& entry) : m_entry(entry) { ModuleObjectCreated(); }
CClassFactory::~CClassFactory() { ModuleObjectDestroyed(); }

HRESULT CClassFactory::GetClassObject(const ClassFactoryEntry* entries, size_t count, REFCLSID clsid, REFIID iid,
                                      void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  for (size_t i = 0; i < count; ++i) {
    if (*entries[i].clsid != clsid) continue;
    return HandOutNewObject(new (std::nothrow) CClassFactory(entries[i]), iid, object);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

STDMETHODIMP CClassFactory::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (riid == IID_IUnknown || riid == IID_IClassFactory) {
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CClassFactory::AddRef() { return ++m_refs; }

STDMETHODIMP_(ULONG) CClassFactory::Release() {
  const ULONG refs = --m_refs;
  if (refs == 0) delete this;
  return refs;
}

STDMETHODIMP CClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  return m_entry.create(m_entry.context, iid, object);
}

STDMETHODIMP CClassFactory::LockServer(BOOL lock) {
  ModuleLockServer(lock != FALSE);
  return S_OK;
}
