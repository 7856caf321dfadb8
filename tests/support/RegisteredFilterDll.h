// Our filter DLLs in test programs: loaded from beside the program and registered as regsvr32
// would do it, as a test environment for the whole program. Kept loaded: a graph may hand back
// its last references late, and the DLL unloads with the process anyway. Main thread only
// (gtest runs environments there).
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

class RegisteredFilterDll : public ::testing::Environment {
 public:
  explicit RegisteredFilterDll(const wchar_t* dllName) : m_name(dllName) {}
  ~RegisteredFilterDll() override;
  RegisteredFilterDll(const RegisteredFilterDll&) = delete;
  RegisteredFilterDll& operator=(const RegisteredFilterDll&) = delete;

  void SetUp() override { ASSERT_EQ(S_OK, Register()) << testing::PrintToString(m_name); }
  void TearDown() override { EXPECT_EQ(S_OK, Unregister()); }
  // DllRegisterServer; even a partial registration is undone later.
  HRESULT Register();
  // DllUnregisterServer; S_OK also when nothing was registered.
  HRESULT Unregister();
  bool IsRegistered() const { return m_registered; }
  // One of the DLL's parameterless exports (a live object count, DllCanUnloadNow), the DLL
  // loaded first.
  HRESULT Call(const char* name);

 private:
  const std::wstring m_name;
  HMODULE m_module = nullptr;
  bool m_registered = false;
};
