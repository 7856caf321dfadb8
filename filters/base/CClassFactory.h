// IClassFactory for the classes of a filter DLL, and the DllGetClassObject lookup over a table.
//
// Use: declare a table of ClassFactoryEntry {&CLSID_x, CreateX, context} and implement
// DllGetClassObject as `return CClassFactory::GetClassObject(table, count, clsid, iid, object);`
// and DllCanUnloadNow as `return ModuleCanUnloadNow();` (ModuleLifetime.h).
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <atomic>
#include <cstddef>

// Creates one object and queries it for iid; `context` is the entry's (for example a
// configuration record shared by several CLSIDs).
using CreateObjectFunction = HRESULT (*)(const void* context, REFIID iid, void** object);

struct ClassFactoryEntry {
  const CLSID* clsid;
  CreateObjectFunction create;
  const void* context;
};

class CClassFactory final : public IClassFactory {
 public:
  // Finds clsid in the table; CLASS_E_CLASSNOTAVAILABLE when it is not there.
  static HRESULT GetClassObject(const ClassFactoryEntry* entries, size_t count, REFCLSID clsid, REFIID iid,
                                void** object);

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // Aggregation is not supported (CLASS_E_NOAGGREGATION).
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
  STDMETHODIMP LockServer(BOOL lock) override;

 private:
  explicit CClassFactory(const ClassFactoryEntry& entry);
  ~CClassFactory();

  std::atomic<ULONG> m_refs{1};
  const ClassFactoryEntry m_entry;
};
