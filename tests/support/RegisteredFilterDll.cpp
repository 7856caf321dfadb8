// Loading our filter DLLs and calling their exports for test programs.
#include "support/RegisteredFilterDll.h"

#include "support/TestProcess.h"

RegisteredFilterDll::~RegisteredFilterDll() {
  if (m_registered) Unregister();
}

HRESULT RegisteredFilterDll::Call(const char* name) {
  if (m_module == nullptr) m_module = ::LoadLibraryW(SiblingPath(m_name.c_str()).c_str());
  if (m_module == nullptr) return HRESULT_FROM_WIN32(::GetLastError());
  using Export = HRESULT(STDAPICALLTYPE*)();
  // GetProcAddress returns a generic function pointer; the export's real type is known here.
  const auto entry = reinterpret_cast<Export>(reinterpret_cast<void*>(::GetProcAddress(m_module, name)));
  return entry != nullptr ? entry() : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
}

HRESULT RegisteredFilterDll::Register() {
  const HRESULT hr = Call("DllRegisterServer");
  m_registered = true;
  return hr;
}

HRESULT RegisteredFilterDll::Unregister() {
  const HRESULT hr = Call("DllUnregisterServer");
  if (SUCCEEDED(hr)) m_registered = false;
  return hr;
}
