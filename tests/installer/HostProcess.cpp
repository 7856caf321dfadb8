#include "HostProcess.h"

#include <tlhelp32.h>

#include <cwchar>
#include <utility>

bool HostProcess::Find(DWORD parentId) {
  ScopedHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = snapshot.IsValid() && ::Process32FirstW(snapshot.Get(), &entry); more;
       more = ::Process32NextW(snapshot.Get(), &entry)) {
    if (_wcsicmp(entry.szExeFile, L"FontisHost.exe") != 0) continue;
    if (parentId != 0 && entry.th32ParentProcessID != parentId) continue;
    ScopedHandle process(
        ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
    WCHAR path[MAX_PATH * 2];
    DWORD length = MAX_PATH * 2;
    if (!process.IsValid() || !::QueryFullProcessImageNameW(process.Get(), 0, path, &length)) continue;
    m_imagePath.assign(path, length);
    m_process = std::move(process);
    return true;
  }
  return false;
}

bool HostProcess::AnyRunning() { return HostProcess().Find(); }

DWORD HostProcess::Wait(DWORD timeoutMs) {
  if (!m_process.IsValid() || ::WaitForSingleObject(m_process.Get(), timeoutMs) != WAIT_OBJECT_0) return STILL_ACTIVE;
  DWORD code = STILL_ACTIVE;
  ::GetExitCodeProcess(m_process.Get(), &code);
  return code;
}
