// What the capture tests share: the test cameras and the capture renderer registered for the
// whole program, a filter's class, polling with a deadline.
// The environments run on the program's main thread, which they put in the multithreaded
// apartment.
#pragma once

#include <windows.h>
#include <strmif.h>

#include "support/TestCameraRegistration.h"

TestCameraRegistration& CameraRegistration();

// The filter's class, GUID_NULL when it does not say.
CLSID FilterClass(IBaseFilter* filter);

// Waits until pred() holds or the time is up; the last result.
template <class Pred>
bool WaitUntil(Pred pred, DWORD timeoutMs) {
  const ULONGLONG end = ::GetTickCount64() + timeoutMs;
  for (;;) {
    if (pred()) return true;
    if (::GetTickCount64() >= end) return false;
    ::Sleep(5);
  }
}
