// The client's side of starting a host: start one only when no healthy host serves the
// instance and no successor already waits, with the command line the host expects, for the
// camera that the client asks for in the status record.
#pragma once

#include <windows.h>

#include "LiveInstance.h"

struct HostLaunchRequest {
  const WCHAR* hostPath;      // FontisHost.exe
  const WCHAR* instanceName;
  const WCHAR* cameraName;    // "" is sent as a single blank, as clients without a name do
  const WCHAR* cameraGuidText;
  BOOL showWindow;
};

// The host program; clients start it from their own folder.
inline constexpr WCHAR kHostProgramName[] = L"FontisHost.exe";

// FontisHost.exe in the folder of `module` (null: the running program). FALSE when the path
// would not fit `capacity` characters.
BOOL HostPathBeside(HMODULE module, WCHAR* out, size_t capacity);

enum class LaunchOutcome { kStarted, kHostServes, kSuccessorWaits };

// Before it starts a host for an instance that no host holds, the client names its camera in the
// status record (name, GUID and the pending flag under the record's lock, then the device-change
// event); a host started beside one that holds the instance waits to succeed it and is asked for
// nothing. The record stays open until the started host holds the instance or has ended.
// On kStarted, *process holds the new host's process handle (the caller may wait on it).
HRESULT LaunchHostIfNeeded(const HostLaunchRequest& request, LaunchOutcome* outcome, HANDLE* process);

// The host's command line: the path and the five arguments, each quoted, blank-separated. The
// path is quoted too: installed under "Program Files", unquoted it would split into two entries.
// A double quote or backslash in a name (a camera's name is anybody's text) is escaped, so the
// host reads every argument back as it was. FALSE when it would not fit in `capacity` characters.
BOOL FormatHostCommandLine(const HostLaunchRequest& request, WCHAR* out, size_t capacity);
