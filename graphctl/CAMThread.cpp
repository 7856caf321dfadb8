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
  m_thread = ::CreateThread(nullptr, 0, ThreadStart, this, 0, &threadId);
  return m_thread != nullptr;
}

DWORD CAMThread::CallThread(DWORD request) {
  CScopedLock lock(&m_accessLock);
  if (!HasThread()) return static_cast<DWORD>(E_FAIL);
  m_requestParam = request;
  m_requestEvent.Set();
  m_replyEvent.Wait(INFINITE);
  return m_replyValue;
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
  HANDLE thread = static_cast<HANDLE>(
      ::InterlockedExchangePointer(reinterpret_cast<PVOID volatile*>(&m_thread), nullptr));
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
