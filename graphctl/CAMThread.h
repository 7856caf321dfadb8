// Base of every object that owns a worker thread, with a one-slot mailbox: a client thread
// places one 32-bit request and blocks until the worker answers with one 32-bit reply.
//
// Client side (StartThread, CallThread) is serialised by m_accessLock, so at most one request
// is in flight. The worker side (PeekRequest, ReplyRequest) takes no lock. A worker must never
// call CallThread on its own object, nor wait for a lock a client may hold inside CallThread.
// The order of the events carries the data: m_requestParam is written before m_requestEvent is
// set, m_replyValue before m_replyEvent is set. A caller waits for the reply or for the worker's
// end, whichever comes first, so a worker that ended without replying never leaves it waiting.
//
// A subclass whose constructor starts the thread must be final: the thread calls ThreadMain,
// which a further subclass would not have until its own constructor ran.
#pragma once

#include <windows.h>

#include <atomic>

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

  // TRUE from StartThread until CloseThread, also after the thread ended. Any thread.
  BOOL HasThread() const { return m_thread.load() != nullptr; }
  BOOL StartThread();
  // The reply to request; E_FAIL at once without a thread, or when the thread ends unanswered.
  DWORD CallThread(DWORD request);
  // CallThread waiting at most timeoutMs: TRUE with the reply, FALSE without a thread, when it
  // ends unanswered or when the time is up. A caller that gives up while the worker may still
  // answer must make sure that answer is never taken for the next call's (DiscardReply).
  BOOL CallThreadWithin(DWORD request, DWORD timeoutMs, DWORD* reply);
  // Drops a reply that nobody waits for any more.
  void DiscardReply() { m_replyEvent.Check(); }
  BOOL PeekRequest(DWORD* request);
  void ReplyRequest(DWORD value);
  // Waits for the thread and closes its handle; only the caller that takes the handle waits.
  // The subclass must have told its thread to end. Not while a CallThread is in progress.
  void CloseThread();

  static DWORD WINAPI ThreadStart(void* object);
  // COM for a worker thread: the multithreaded apartment through an already loaded ole32.
  static HRESULT InitComForThread();

 private:
  CWaitEvent m_requestEvent;  // manual reset: signalled while a request is pending
  CWaitEvent m_replyEvent;    // auto reset: a successful wait consumes the reply
  DWORD m_requestParam;       // written by the client before m_requestEvent is set
  DWORD m_replyValue;         // written by the worker before m_replyEvent is set
  std::atomic<HANDLE> m_thread;  // handed over atomically by CloseThread
  CCritSection m_accessLock;
  CCritSection m_workerLock;  // the worker side's lock; the worker takes none today
};
