// Calling our filter DLLs' exports, and registering one for a test program.
#include "support/RegisteredFilterDll.h"

#include "support/TestProcess.h"

HRESULT CallDllExport(HMODULE module, const char* name) {
  using Export = HRESULT(STDAPICALLTYPE*)();
  if (module == nullptr) return E_UNEXPECTED;
  // GetProcAddress returns a generic function pointer; the export's real type is known here.
  const auto entry = reinterpret_cast<Export>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
  return entry != nullptr ? entry() : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
}

void RegisteredFilterDll::SetUp() {
  m_module = ::LoadLibraryW(SiblingPath(m_name.c_str()).c_str());
  ASSERT_NE(nullptr, m_module) << testing::PrintToString(m_name) << " is missing";
  ASSERT_EQ(S_OK, Call("DllRegisterServer"));
  m_registered = true;
}

void RegisteredFilterDll::TearDown() {
  if (m_module == nullptr) return;
  EXPECT_EQ(S_OK, Call("DllUnregisterServer"));
}
