// Our filter DLLs in test programs: their exports called, and one registered for the whole
// program as regsvr32 would do it.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

// One of a loaded DLL's parameterless exports (DllRegisterServer, DllCanUnloadNow, a live object
// count); E_UNEXPECTED without a module.
HRESULT CallDllExport(HMODULE module, const char* name);

// Loaded from beside the program, DllRegisterServer at the program's start, DllUnregisterServer
// at its end. Kept loaded: a graph may hand back its last references late, and the DLL unloads
// with the process anyway. Main thread only (gtest runs environments there).
class RegisteredFilterDll : public ::testing::Environment {
 public:
  explicit RegisteredFilterDll(const wchar_t* dllName) : m_name(dllName) {}
  void SetUp() override;
  void TearDown() override;
  bool IsRegistered() const { return m_registered; }
  HRESULT Call(const char* name) const { return CallDllExport(m_module, name); }

 private:
  const std::wstring m_name;
  HMODULE m_module = nullptr;
  bool m_registered = false;
};
