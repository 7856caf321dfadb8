#include "TestProcess.h"

#include <cwchar>
#include <fstream>
#include <iterator>

std::wstring UniqueInstanceName(const wchar_t* prefix) {
  static LONG counter = 0;
  return std::wstring(prefix) + L"_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
         std::to_wstring(::InterlockedIncrement(&counter));
}

std::wstring SiblingPath(const wchar_t* program) {
  WCHAR path[MAX_PATH];
  const std::wstring self(path, ::GetModuleFileNameW(nullptr, path, MAX_PATH));
  return self.substr(0, self.find_last_of(L"\\/") + 1) + program;
}

TestProcess::~TestProcess() {
  if (m_process.IsValid() && ::WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT) Kill();
  if (!m_outputPath.empty()) ::DeleteFileW(m_outputPath.c_str());
}

bool TestProcess::Start(const wchar_t* program, const std::wstring& arguments, bool captureOutput) {
  // A program named with its folder is started from there (an installed copy, for example).
  const std::wstring path = wcschr(program, L'\\') != nullptr ? std::wstring(program) : SiblingPath(program);
  std::wstring commandLine = L"\"" + path + L"\" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  ScopedHandle output;
  if (captureOutput) {
    m_outputPath = SiblingPath((UniqueInstanceName(L"output") + L".txt").c_str());
    SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
    output.Reset(::CreateFileW(m_outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!output.IsValid()) return false;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = output.Get();
  }
  PROCESS_INFORMATION info = {};
  // Wine has been seen to refuse a start now and then while the wineserver is busy: try again
  // briefly before the test reports it.
  BOOL started = FALSE;
  for (int attempt = 0; attempt < 3 && !started; ++attempt) {
    if (attempt > 0) ::Sleep(100);
    started = ::CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, captureOutput ? TRUE : FALSE, 0,
                               nullptr, nullptr, &startup, &info);
  }
  if (!started) return false;
  ::CloseHandle(info.hThread);
  m_process.Reset(info.hProcess);
  m_id = info.dwProcessId;
  return true;
}

DWORD TestProcess::Wait(DWORD timeoutMs) {
  DWORD code = STILL_ACTIVE;
  if (::WaitForSingleObject(m_process.Get(), timeoutMs) == WAIT_OBJECT_0) ::GetExitCodeProcess(m_process.Get(), &code);
  return code;
}

std::string TestProcess::Output() const {
  std::ifstream file(m_outputPath.c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void TestProcess::Kill() {
  if (!m_process.IsValid()) return;
  ::TerminateProcess(m_process.Get(), 99);
  ::WaitForSingleObject(m_process.Get(), 10000);
}

bool StartAndAwaitReady(TestProcess& process, const wchar_t* program, const std::wstring& readyEvent,
                        const std::wstring& arguments, DWORD timeoutMs) {
  ScopedHandle ready(::CreateEventW(nullptr, TRUE, FALSE, readyEvent.c_str()));
  ::ResetEvent(ready.Get());
  if (!process.Start(program, arguments)) return false;
  HANDLE waits[2] = {ready.Get(), process.Handle()};
  return ::WaitForMultipleObjects(2, waits, FALSE, timeoutMs) == WAIT_OBJECT_0;
}

bool StartPeer(TestProcess& peer, const std::wstring& instance, const std::wstring& arguments, DWORD timeoutMs) {
  return StartAndAwaitReady(peer, L"fontis_peer.exe", instance + L"_peer_ready", arguments, timeoutMs);
}

void StopPeer(const std::wstring& instance) {
  ScopedHandle stop(::CreateEventW(nullptr, TRUE, FALSE, (instance + L"_peer_stop").c_str()));
  ::SetEvent(stop.Get());
}
