// An unnamed Win32 event. A creation failure is not reported: the handle stays null and every
// wait on it is FALSE.
#pragma once

#include <windows.h>

#include "common/ScopedHandle.h"

class CWaitEvent {
 public:
  explicit CWaitEvent(BOOL manualReset) : m_event(::CreateEventW(nullptr, manualReset, FALSE, nullptr)) {}
  CWaitEvent(const CWaitEvent&) = delete;
  CWaitEvent& operator=(const CWaitEvent&) = delete;

  void Set() { ::SetEvent(m_event.Get()); }
  void Reset() { ::ResetEvent(m_event.Get()); }
  // TRUE only when the event was signalled; a time-out or a failure is FALSE.
  BOOL Wait(DWORD timeoutMs) { return ::WaitForSingleObject(m_event.Get(), timeoutMs) == WAIT_OBJECT_0; }
  BOOL Check() { return Wait(0); }
  HANDLE Handle() const { return m_event.Get(); }

 private:
  ScopedHandle m_event;
};
