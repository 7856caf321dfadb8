// The frame ring's one-writer rule: a named mutex that the writer owns for its whole life. A
// mutex belongs to the thread that took it and is abandoned when that thread ends, while the
// writer is opened on one thread and publishes on another; so a thread of this object's own
// takes the mutex and holds it until Release. A writer that died leaves the mutex abandoned, and
// the next one takes it over.
//
// Threads: Acquire and Release from one thread at a time (the writer's owner). The holder thread
// only waits for the release event, which this object sets.
#pragma once

#include <windows.h>

#include "common/ScopedHandle.h"

class CRingWriterLock {
 public:
  CRingWriterLock() = default;
  ~CRingWriterLock() { Release(); }
  CRingWriterLock(const CRingWriterLock&) = delete;
  CRingWriterLock& operator=(const CRingWriterLock&) = delete;

  // Owns the mutex of that name from now until Release: S_OK, also when its last owner died
  // holding it; kErrTaken while another owner lives; the system's error when the mutex, the
  // event or the thread cannot be made.
  static constexpr HRESULT kErrTaken = HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION);
  HRESULT Acquire(const WCHAR* name);
  // Lets the mutex go and ends the holder thread; nothing when not held.
  void Release();
  bool IsHeld() const { return m_holder.IsValid(); }

 private:
  static DWORD WINAPI HolderMain(void* self);

  ScopedHandle m_mutex;
  ScopedHandle m_taken;    // manual reset: the holder has tried the mutex (m_tryResult)
  ScopedHandle m_release;  // manual reset: the holder lets go and ends
  ScopedHandle m_holder;   // the holder thread while it holds the mutex
  DWORD m_tryResult = WAIT_FAILED;  // written by the holder before m_taken is set
};
