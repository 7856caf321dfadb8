// Polling with a deadline, for behaviour that takes its time on a loaded machine.
#pragma once

#include <windows.h>

// Polls `done` every 5 ms, dispatching this thread's messages (a graph or a window of this
// thread may need them), until it holds or the time is up; the last result.
template <class Done>
bool WaitUntil(Done done, DWORD timeoutMs) {
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  while (!done()) {
    if (::GetTickCount64() >= deadline) return done();
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
    ::Sleep(5);
  }
  return true;
}
