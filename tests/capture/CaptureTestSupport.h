// What the capture tests share: the test cameras and the capture renderer registered for the
// whole program, polling with a deadline, and the check that no filter object outlived a test.
// The environments run on the program's main thread, which they put in the multithreaded
// apartment.
#pragma once

#include <windows.h>

#include "support/TestCameraRegistration.h"

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

// Every test camera and capture renderer object is gone once the graph and the test let go.
void ExpectNoLiveFilters();
