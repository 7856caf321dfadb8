#include "support/ScopedFailingClass.h"

#include <objbase.h>

ScopedFailingClass::ScopedFailingClass(REFCLSID clsid, HRESULT failure) : m_failure(failure) {
  if (FAILED(::CoRegisterClassObject(clsid, this, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &m_cookie))) m_cookie = 0;
}

ScopedFailingClass::~ScopedFailingClass() {
  if (m_cookie != 0) ::CoRevokeClassObject(m_cookie);
}

STDMETHODIMP ScopedFailingClass::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (riid != IID_IUnknown && riid != IID_IClassFactory) {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  *object = static_cast<IClassFactory*>(this);
  AddRef();
  return S_OK;
}

STDMETHODIMP ScopedFailingClass::CreateInstance(IUnknown*, REFIID, void** object) {
  if (object != nullptr) *object = nullptr;
  return m_failure;
}
