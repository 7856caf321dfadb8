// fontisctl launch: starts a host for an instance the way a client does, only when needed.
#include <cstdio>
#include <cwchar>

#include "Commands.h"
#include "CtlOutput.h"
#include "common/ScopedHandle.h"
#include "common/WideString.h"
#include "ipc/HostLauncher.h"

const char kLaunchUsage[] = "launch INSTANCE CAMERA-NAME GUID-TEXT TRUE|FALSE";

int RunLaunchCommand(int argc, wchar_t** argv) {
  if (argc != 4) return UsageError("launch takes exactly four arguments", kLaunchUsage);
  if (argv[0][0] == L'\0') return UsageError("the instance name is empty", kLaunchUsage);
  if (wcslen(argv[0]) >= kNameCapacity || wcslen(argv[1]) >= kNameCapacity || wcslen(argv[2]) >= kNameCapacity) {
    return UsageError("an argument is longer than 259 characters", kLaunchUsage);
  }
  if (wcscmp(argv[3], L"TRUE") != 0 && wcscmp(argv[3], L"FALSE") != 0) {
    return UsageError("the window flag must be TRUE or FALSE", kLaunchUsage);
  }
  WCHAR hostPath[MAX_PATH];
  if (!HostPathBeside(nullptr, hostPath, MAX_PATH)) {
    fprintf(stderr, "fontisctl: cannot locate FontisHost.exe beside fontisctl\n");
    return kExitFailure;
  }

  HostLaunchRequest request = {hostPath, argv[0], argv[1], argv[2], wcscmp(argv[3], L"TRUE") == 0};
  LaunchOutcome outcome = LaunchOutcome::kStarted;
  HANDLE process = nullptr;
  const HRESULT hr = LaunchHostIfNeeded(request, &outcome, &process);
  ScopedHandle host(process);
  if (FAILED(hr)) {
    fprintf(stderr, "fontisctl: could not start the host: %s\n", DescribeHResult(hr).c_str());
    return kExitFailure;
  }
  switch (outcome) {
    case LaunchOutcome::kHostServes:
      printf("a healthy host serves instance \"%s\": nothing started\n", Narrow(argv[0]).c_str());
      break;
    case LaunchOutcome::kSuccessorWaits:
      printf("a host already waits to take instance \"%s\" over: nothing started\n", Narrow(argv[0]).c_str());
      break;
    case LaunchOutcome::kStarted:
      printf("started a host for instance \"%s\" (process %lu)\n", Narrow(argv[0]).c_str(),
             static_cast<unsigned long>(::GetProcessId(host.Get())));
      break;
  }
  return kExitOk;
}
