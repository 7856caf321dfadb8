// Registering one of our filter DLLs for a test program.
#include "support/RegisteredFilterDll.h"

#include "support/TestProcess.h"

namespace {
using ExportFunction = HRESULT(STDAPICALLTYPE*)();
}  // namespace

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

HRESULT RegisteredFilterDll::Call(const char* name) const {
  if (m_module == nullptr) return E_UNEXPECTED;
  const auto entry = reinterpret_cast<ExportFunction>(reinterpret_cast<void*>(::GetProcAddress(m_module, name)));
  return entry != nullptr ? entry() : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
}
