// Shared by the inter-process channel tests: whether a mutex is free, as another thread sees it.
#pragma once

#include <windows.h>

#include <thread>

#include "common/ScopedHandle.h"
#include "support/TestProcess.h"
#include "support/WaitUntil.h"

// A wait of 0 on the mutex from a new thread, released again if obtained: a mutex is re-entrant
// for the thread that holds it, so only another thread can tell whether it is free.
inline DWORD TryMutexFromOtherThread(HANDLE mutex) {
  DWORD result = WAIT_FAILED;
  std::thread([&] {
    result = ::WaitForSingleObject(mutex, 0);
    if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) ::ReleaseMutex(mutex);
  }).join();
  return result;
}
