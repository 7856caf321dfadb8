// Base of every object that owns a worker thread, with a one-slot mailbox: a client thread
// places one 32-bit request and blocks until the worker answers with one 32-bit reply.
//
// Client side (StartThread, CallThread) is serialised by m_accessLock, so at most one request
// is in flight. The worker side (PeekRequest, ReplyRequest) takes no lock. A worker must never
// call CallThread on its own object, nor wait for a lock a client may hold inside CallThread.
// The order of the events carries the data: m_requestParam is written before m_requestEvent is
// set, m_replyValue before m_replyEvent is set.
#pragma once

#include <windows.h>

#include "common/CCritSection.h"
#include "graphctl/CWaitEvent.h"

class CAMThread {
 public:
  CAMThread();
  virtual ~CAMThread();
  CAMThread(const CAMThread&) = delete;
  CAMThread& operator=(const CAMThread&) = delete;

  // The thread body; its result becomes the thread's exit code.
  virtual DWORD ThreadMain() = 0;

  BOOL HasThread() const { return m_thread != nullptr; }
  BOOL StartThread();
  DWORD CallThread(DWORD request);
  BOOL PeekRequest(DWORD* request);
  void ReplyRequest(DWORD value);
  // Waits for the thread and closes its handle; only the caller that takes the handle waits.
  void CloseThread();

  static DWORD WINAPI ThreadStart(void* object);
  // COM for a worker thread: the multithreaded apartment through an already loaded ole32.
  static HRESULT InitComForThread();

 private:
  CWaitEvent m_requestEvent;  // manual reset: signalled while a request is pending
  CWaitEvent m_replyEvent;    // auto reset: a successful wait consumes the reply
  DWORD m_requestParam;       // written by the client before m_requestEvent is set
  DWORD m_replyValue;         // written by the worker before m_replyEvent is set
  HANDLE m_thread;            // handed over atomically by CloseThread
  CCritSection m_accessLock;
  CCritSection m_workerLock;  // the worker side's lock; the worker takes none today
};
