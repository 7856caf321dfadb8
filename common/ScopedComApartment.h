// COM initialised on the calling thread for the object's life, in the multithreaded apartment;
// uninitialised only when this object's call succeeded (S_FALSE included: it counts too).
#pragma once

#include <windows.h>
#include <objbase.h>

class ScopedComApartment {
 public:
  ScopedComApartment() : m_hr(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~ScopedComApartment() {
    if (SUCCEEDED(m_hr)) ::CoUninitialize();
  }
  ScopedComApartment(const ScopedComApartment&) = delete;
  ScopedComApartment& operator=(const ScopedComApartment&) = delete;

  // RPC_E_CHANGED_MODE when the thread already is in another apartment.
  HRESULT Result() const { return m_hr; }

 private:
  HRESULT m_hr;
};
