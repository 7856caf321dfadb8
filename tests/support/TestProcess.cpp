#include "TestProcess.h"

#include <vector>

std::wstring UniqueInstanceName(const wchar_t* prefix) {
  static LONG counter = 0;
  return std::wstring(prefix) + L"_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
         std::to_wstring(::InterlockedIncrement(&counter));
}

std::wstring SiblingPath(const wchar_t* program) {
  std::vector<wchar_t> path(MAX_PATH);
  const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), MAX_PATH);
  std::wstring self(path.data(), length);
  return self.substr(0, self.find_last_of(L"\\/") + 1) + program;
}

TestProcess::~TestProcess() {
  if (m_process.IsValid() && ::WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT) Kill();
}

bool TestProcess::Start(const wchar_t* program, const std::wstring& arguments) {
  const std::wstring path = SiblingPath(program);
  std::wstring commandLine = L"\"" + path + L"\" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info)) {
    return false;
  }
  ::CloseHandle(info.hThread);
  m_process.Reset(info.hProcess);
  m_id = info.dwProcessId;
  return true;
}

DWORD TestProcess::Wait(DWORD timeoutMs) {
  if (::WaitForSingleObject(m_process.Get(), timeoutMs) != WAIT_OBJECT_0) return STILL_ACTIVE;
  DWORD code = STILL_ACTIVE;
  ::GetExitCodeProcess(m_process.Get(), &code);
  return code;
}

void TestProcess::Kill() {
  if (!m_process.IsValid()) return;
  ::TerminateProcess(m_process.Get(), 99);
  ::WaitForSingleObject(m_process.Get(), 10000);
}

bool StartPeer(TestProcess& peer, const std::wstring& instance, const std::wstring& arguments, DWORD timeoutMs) {
  const std::wstring readyName = instance + L"_peer_ready";
  ScopedHandle ready(::CreateEventW(nullptr, TRUE, FALSE, readyName.c_str()));
  ::ResetEvent(ready.Get());
  if (!peer.Start(L"fontis_peer.exe", arguments)) return false;
  HANDLE waits[2] = {ready.Get(), peer.Handle()};
  return ::WaitForMultipleObjects(2, waits, FALSE, timeoutMs) == WAIT_OBJECT_0;
}
