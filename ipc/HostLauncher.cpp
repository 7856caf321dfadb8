#include "HostLauncher.h"

#include <cwchar>
#include <string>

#include <objbase.h>

#include "CGraphErrInfo.h"
#include "CStatusChannelClient.h"
#include "common/QuotedArgument.h"
#include "common/ScopedHandle.h"

namespace {

constexpr size_t kCommandLineCapacity = 2048;
// How long a client keeps the status record open for a host that is starting, at most.
constexpr DWORD kHostStartWaitMs = 15000;
constexpr DWORD kHostStartPollMs = 10;

// Names the client's camera in the status record as a request, the way a client asks for a camera:
// the new host takes it over and works with it, and its retry loop compares the record with the
// camera in use. A client without a name leaves "" and the GUID: the host then finds the camera
// by GUID alone.
void RequestCamera(const HostLaunchRequest& request) {
  CStatusChannelClient status;
  if (FAILED(status.Open(request.instanceName))) return;
  GUID guid = GUID_NULL;
  if (request.cameraGuidText == nullptr || FAILED(::CLSIDFromString(request.cameraGuidText, &guid))) guid = GUID_NULL;
  status.RequestDevice(request.cameraName != nullptr ? request.cameraName : L"", guid);
}

// The host holds the instance's flag only after it has opened the status record: until then (or
// until it ended) the record must not vanish with our handle, taking the request with it.
void AwaitHostHoldingRecord(HANDLE host, const WCHAR* instanceName) {
  const ULONGLONG deadline = ::GetTickCount64() + kHostStartWaitMs;
  while (!IsInstanceFlagPresent(instanceName) && ::GetTickCount64() < deadline) {
    if (::WaitForSingleObject(host, kHostStartPollMs) == WAIT_OBJECT_0) return;
  }
}

}  // namespace

BOOL HostPathBeside(HMODULE module, WCHAR* out, size_t capacity) {
  if (out == nullptr || capacity == 0 || capacity > MAXDWORD) return FALSE;
  const DWORD length = ::GetModuleFileNameW(module, out, static_cast<DWORD>(capacity));
  if (length == 0 || length >= capacity) return FALSE;
  WCHAR* folderEnd = wcsrchr(out, L'\\');
  if (folderEnd == nullptr) return FALSE;
  const size_t folderLength = static_cast<size_t>(folderEnd + 1 - out);
  if (folderLength + wcslen(kHostProgramName) >= capacity) return FALSE;
  wcscpy_s(folderEnd + 1, capacity - folderLength, kHostProgramName);
  return TRUE;
}

BOOL FormatHostCommandLine(const HostLaunchRequest& request, WCHAR* out, size_t capacity) {
  if (out == nullptr || capacity == 0 || request.hostPath == nullptr || request.instanceName == nullptr) return FALSE;
  const WCHAR* camera = (request.cameraName == nullptr || request.cameraName[0] == L'\0') ? L" " : request.cameraName;
  const std::wstring processId = std::to_wstring(static_cast<unsigned long>(::GetCurrentProcessId()));
  const WCHAR* const arguments[] = {request.hostPath, request.instanceName, camera,
                                    request.cameraGuidText != nullptr ? request.cameraGuidText : L"",
                                    request.showWindow ? L"TRUE" : L"FALSE", processId.c_str()};
  std::wstring line;
  for (const WCHAR* argument : arguments) {
    if (!line.empty()) line.push_back(L' ');
    AppendQuotedArgument(&line, argument);
  }
  if (line.size() >= capacity) return FALSE;
  wmemcpy(out, line.c_str(), line.size() + 1);
  return TRUE;
}

HRESULT LaunchHostIfNeeded(const HostLaunchRequest& request, LaunchOutcome* outcome, HANDLE* process) {
  if (request.hostPath == nullptr || request.instanceName == nullptr || outcome == nullptr) return E_INVALIDARG;
  *outcome = LaunchOutcome::kStarted;
  if (process != nullptr) *process = nullptr;

  const HostPresence presence = ProbeHostPresence(request.instanceName);
  switch (presence) {
    case HostPresence::kHealthy:
      *outcome = LaunchOutcome::kHostServes;
      return S_OK;
    case HostPresence::kSuccessorWaiting:
      *outcome = LaunchOutcome::kSuccessorWaits;
      return S_OK;
    case HostPresence::kNone:
    case HostPresence::kUnhealthy:
      break;
  }

  WCHAR commandLine[kCommandLineCapacity];
  if (!FormatHostCommandLine(request, commandLine, kCommandLineCapacity)) return E_INVALIDARG;
  // Creates the record when no process has it, as a client may. The camera is asked for only
  // when no host holds the instance: a serving host would take the request as a camera switch,
  // and one that merely looked unhealthy for a moment (its record busy) would restart for it.
  CGraphErrInfo record;
  if (SUCCEEDED(record.Open(request.instanceName)) && presence == HostPresence::kNone) RequestCamera(request);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessW(request.hostPath, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info)) {
    return HRESULT_FROM_WIN32(::GetLastError());
  }
  ScopedHandle thread(info.hThread);
  ScopedHandle host(info.hProcess);
  AwaitHostHoldingRecord(host.Get(), request.instanceName);
  AwaitHostFlag(request.instanceName);
  if (process != nullptr) *process = host.Release();
  return S_OK;
}
