// The test cameras and the capture renderer registered for a benchmark's run and unregistered
// at its end, as the test programs have them.
#pragma once

#include <windows.h>

#include <cstdio>

#include "support/TestCameraRegistration.h"
#include "support/TestProcess.h"

class BenchFilters {
 public:
  BenchFilters() = default;
  BenchFilters(const BenchFilters&) = delete;
  BenchFilters& operator=(const BenchFilters&) = delete;
  ~BenchFilters() {
    if (m_rendererRegistered) Call("DllUnregisterServer");
    if (m_cameras.IsRegistered()) m_cameras.Unregister();
  }

  // COM must be initialised. false, said on the error output for `program`, when a DLL is
  // missing or refuses to register.
  bool Register(const char* program) {
    if (m_cameras.Register() == S_OK) {
      // Kept loaded: the DLL goes with the process.
      m_renderer = ::LoadLibraryW(SiblingPath(L"fontis_renderer.dll").c_str());
      m_rendererRegistered = Call("DllRegisterServer") == S_OK;
    }
    if (!m_rendererRegistered) fprintf(stderr, "%s: the test cameras or the capture renderer cannot be registered\n", program);
    return m_rendererRegistered;
  }

 private:
  HRESULT Call(const char* name) const {
    using Entry = HRESULT(STDAPICALLTYPE*)();
    const auto entry = m_renderer == nullptr
                           ? nullptr
                           : reinterpret_cast<Entry>(reinterpret_cast<void*>(::GetProcAddress(m_renderer, name)));
    return entry != nullptr ? entry() : E_FAIL;
  }

  TestCameraRegistration m_cameras;
  HMODULE m_renderer = nullptr;
  bool m_rendererRegistered = false;
};
