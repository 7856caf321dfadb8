#include "CAMThread.h"

#include <objbase.h>

#include "common/CScopedLock.h"

namespace {

using CoInitializeExFn = HRESULT(WINAPI*)(LPVOID, DWORD);

}  // namespace

CAMThread::CAMThread() : m_requestEvent(TRUE), m_replyEvent(FALSE), m_thread(nullptr) {}

CAMThread::~CAMThread() { CloseThread(); }

BOOL CAMThread::StartThread() {
  CScopedLock lock(&m_accessLock);
  if (HasThread()) return FALSE;
  DWORD threadId = 0;
  m_thread.store(::CreateThread(nullptr, 0, ThreadStart, this, 0, &threadId));
  return HasThread();
}

DWORD CAMThread::CallThread(DWORD request) {
  DWORD reply = 0;
  return CallThreadWithin(request, INFINITE, &reply) ? reply : static_cast<DWORD>(E_FAIL);
}

BOOL CAMThread::CallThreadWithin(DWORD request, DWORD timeoutMs, DWORD* reply) {
  CScopedLock lock(&m_accessLock);
  const HANDLE thread = m_thread.load();
  if (thread == nullptr) return FALSE;
  m_requestParam = request;
  m_requestEvent.Set();
  // The reply comes first: a worker that replied and then ended has still answered.
  const HANDLE waits[2] = {m_replyEvent.Handle(), thread};
  if (::WaitForMultipleObjects(2, waits, FALSE, timeoutMs) != WAIT_OBJECT_0) return FALSE;
  if (reply != nullptr) *reply = m_replyValue;
  return TRUE;
}

BOOL CAMThread::PeekRequest(DWORD* request) {
  if (!m_requestEvent.Check()) return FALSE;
  if (request != nullptr) *request = m_requestParam;
  return TRUE;
}

void CAMThread::ReplyRequest(DWORD value) {
  m_replyValue = value;
  // Reset before the reply is set: a client that places a new request at once keeps it pending.
  m_requestEvent.Reset();
  m_replyEvent.Set();
}

void CAMThread::CloseThread() {
  const HANDLE thread = m_thread.exchange(nullptr);
  if (thread != nullptr) {
    ::WaitForSingleObject(thread, INFINITE);
    ::CloseHandle(thread);
  }
}

DWORD WINAPI CAMThread::ThreadStart(void* object) {
  const HRESULT hr = InitComForThread();
  const DWORD result = static_cast<CAMThread*>(object)->ThreadMain();
  if (SUCCEEDED(hr)) ::CoUninitialize();
  return result;
}

HRESULT CAMThread::InitComForThread() {
  // Only a module the process already loaded: a worker never pulls in COM by itself.
  HMODULE ole32 = ::GetModuleHandleW(L"ole32.dll");
  if (ole32 == nullptr) return E_FAIL;
  auto coInitializeEx = reinterpret_cast<CoInitializeExFn>(
      reinterpret_cast<void*>(::GetProcAddress(ole32, "CoInitializeEx")));
  if (coInitializeEx == nullptr) return E_FAIL;
  return coInitializeEx(nullptr, COINIT_DISABLE_OLE1DDE);
}
