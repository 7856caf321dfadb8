// A filter DLL of ours registered for the whole test program, as regsvr32 would do it: loaded
// from beside the program, DllRegisterServer at the program's start, DllUnregisterServer at its
// end. Kept loaded: a graph may hand back its last references late, and the DLL unloads with the
// process anyway. Main thread only (gtest runs environments there).
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

class RegisteredFilterDll : public ::testing::Environment {
 public:
  explicit RegisteredFilterDll(const wchar_t* dllName) : m_name(dllName) {}
  void SetUp() override;
  void TearDown() override;
  bool IsRegistered() const { return m_registered; }
  // One of the DLL's parameterless exports (DllRegisterServer, DllCanUnloadNow...).
  HRESULT Call(const char* name) const;

 private:
  const std::wstring m_name;
  HMODULE m_module = nullptr;
  bool m_registered = false;
};
