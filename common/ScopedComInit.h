// Joins the calling thread to the process's multithreaded COM apartment for one scope, and
// leaves it only when the join succeeded (a thread already in another apartment keeps it).
// Belongs to the thread that made it.
#pragma once

#include <windows.h>
#include <objbase.h>

class ScopedComInit {
 public:
  ScopedComInit() : m_hr(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~ScopedComInit() {
    if (SUCCEEDED(m_hr)) ::CoUninitialize();
  }
  ScopedComInit(const ScopedComInit&) = delete;
  ScopedComInit& operator=(const ScopedComInit&) = delete;

  // S_OK or S_FALSE (already in this apartment) when COM may be used; RPC_E_CHANGED_MODE when
  // the thread is in a single-threaded apartment, where COM may be used too.
  HRESULT Result() const { return m_hr; }

 private:
  HRESULT m_hr;
};
