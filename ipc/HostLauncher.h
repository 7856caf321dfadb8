// The client's side of starting a host: start one only when no healthy host serves the
// instance and no successor already waits, with the command line the host expects.
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

enum class LaunchOutcome { kStarted, kHostServes, kSuccessorWaits };

// On kStarted, *process holds the new host's process handle (the caller may wait on it).
HRESULT LaunchHostIfNeeded(const HostLaunchRequest& request, LaunchOutcome* outcome, HANDLE* process);

// The host's command line: the path and the five arguments, each quoted, blank-separated. The
// path is quoted too: installed under "Program Files", unquoted it would split into two entries.
// FALSE when it would not fit in `capacity` characters.
BOOL FormatHostCommandLine(const HostLaunchRequest& request, WCHAR* out, size_t capacity);
