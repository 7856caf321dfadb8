#include "HostProcess.h"

#include <tlhelp32.h>

#include <cwchar>
#include <utility>
#include <vector>

namespace {

// The running FontisHost.exe processes, each with the id of the process that started it.
std::vector<PROCESSENTRY32W> RunningHosts() {
  std::vector<PROCESSENTRY32W> hosts;
  ScopedHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.IsValid()) return hosts;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more; more = ::Process32NextW(snapshot.Get(), &entry)) {
    if (_wcsicmp(entry.szExeFile, L"FontisHost.exe") == 0) hosts.push_back(entry);
  }
  return hosts;
}

}  // namespace

bool HostProcess::Find(DWORD parentId) {
  for (const PROCESSENTRY32W& entry : RunningHosts()) {
    if (parentId != 0 && entry.th32ParentProcessID != parentId) continue;
    ScopedHandle process(
        ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
    WCHAR path[MAX_PATH * 2];
    DWORD length = MAX_PATH * 2;
    if (!process.IsValid() || !::QueryFullProcessImageNameW(process.Get(), 0, path, &length)) continue;
    m_id = entry.th32ProcessID;
    m_imagePath.assign(path, length);
    m_process = std::move(process);
    return true;
  }
  return false;
}

bool HostProcess::AnyRunning() { return !RunningHosts().empty(); }

DWORD HostProcess::Wait(DWORD timeoutMs) {
  if (!m_process.IsValid() || ::WaitForSingleObject(m_process.Get(), timeoutMs) != WAIT_OBJECT_0) return STILL_ACTIVE;
  DWORD code = STILL_ACTIVE;
  ::GetExitCodeProcess(m_process.Get(), &code);
  return code;
}
