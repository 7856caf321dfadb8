#include "HostLauncher.h"

#include <cstdio>
#include <cwchar>

#include "common/ScopedHandle.h"

namespace {

constexpr size_t kCommandLineCapacity = 2048;

}  // namespace

BOOL FormatHostCommandLine(const HostLaunchRequest& request, WCHAR* out, size_t capacity) {
  const WCHAR* camera = (request.cameraName == nullptr || request.cameraName[0] == L'\0') ? L" " : request.cameraName;
  const int written = swprintf(out, capacity, L"\"%ls\" \"%ls\" \"%ls\" \"%ls\" \"%ls\" \"%lu\"", request.hostPath,
                               request.instanceName, camera,
                               request.cameraGuidText != nullptr ? request.cameraGuidText : L"",
                               request.showWindow ? L"TRUE" : L"FALSE",
                               static_cast<unsigned long>(::GetCurrentProcessId()));
  return written > 0 && static_cast<size_t>(written) < capacity;
}

HRESULT LaunchHostIfNeeded(const HostLaunchRequest& request, LaunchOutcome* outcome, HANDLE* process) {
  if (request.hostPath == nullptr || request.instanceName == nullptr || outcome == nullptr) return E_INVALIDARG;
  *outcome = LaunchOutcome::kStarted;
  if (process != nullptr) *process = nullptr;

  switch (ProbeHostPresence(request.instanceName)) {
    case HostPresence::kHealthy:
      *outcome = LaunchOutcome::kHostServes;
      return S_OK;
    case HostPresence::kSuccessorWaiting:
      *outcome = LaunchOutcome::kSuccessorWaits;
      return S_OK;
    case HostPresence::kNone:
      break;
  }

  WCHAR commandLine[kCommandLineCapacity];
  if (!FormatHostCommandLine(request, commandLine, kCommandLineCapacity)) return E_INVALIDARG;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessW(request.hostPath, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info)) {
    return HRESULT_FROM_WIN32(::GetLastError());
  }
  ScopedHandle thread(info.hThread);
  ScopedHandle host(info.hProcess);
  AwaitHostFlag(request.instanceName);
  if (process != nullptr) *process = host.Release();
  return S_OK;
}
