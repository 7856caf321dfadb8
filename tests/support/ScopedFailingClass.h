// Makes a COM class impossible to create in this process for as long as the object lives: a
// class object registered for it answers every CreateInstance with the given failure, so that a
// test reaches the code that copes with a graph object that cannot be had.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <unknwn.h>

#include <atomic>

class ScopedFailingClass final : public IClassFactory {
 public:
  ScopedFailingClass(REFCLSID clsid, HRESULT failure) : m_failure(failure) {
    if (FAILED(::CoRegisterClassObject(clsid, this, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &m_cookie))) m_cookie = 0;
  }
  ~ScopedFailingClass() {
    if (m_cookie != 0) ::CoRevokeClassObject(m_cookie);
  }
  ScopedFailingClass(const ScopedFailingClass&) = delete;
  ScopedFailingClass& operator=(const ScopedFailingClass&) = delete;

  bool IsRegistered() const { return m_cookie != 0; }

  // IClassFactory on the object itself; COM's references never outlive the registration.
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = riid == IID_IUnknown || riid == IID_IClassFactory ? static_cast<IClassFactory*>(this) : nullptr;
    if (*object == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
  STDMETHODIMP_(ULONG) Release() override { return --m_references; }
  STDMETHODIMP CreateInstance(IUnknown*, REFIID, void** object) override {
    if (object != nullptr) *object = nullptr;
    return m_failure;
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }

 private:
  const HRESULT m_failure;
  std::atomic<ULONG> m_references{1};
  DWORD m_cookie = 0;
};
