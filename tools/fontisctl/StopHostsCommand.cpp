// fontisctl stop-hosts: asks every host on this desktop to end through its window's exit command
// and waits for the processes, so that an installer can replace or remove their files.
#include <cstdio>
#include <cwchar>
#include <utility>
#include <vector>

#include "Commands.h"
#include "CtlOutput.h"
#include "common/ScopedHandle.h"
#include "resources/resource.h"

const char kStopHostsUsage[] = "stop-hosts [--timeout SECONDS] [--force]";

namespace {

constexpr long long kDefaultTimeoutSeconds = 10;
constexpr long long kMaxTimeoutSeconds = 600;
// How often the desktop is looked at again for hosts that started while we waited.
constexpr DWORD kRescanMs = 200;
// Exit code of a host that had to be ended by force.
constexpr UINT kForcedExitCode = ERROR_PROCESS_ABORTED;
constexpr DWORD kForcedEndWaitMs = 5000;

struct HostProcess {
  DWORD id;
  HWND window;
  ScopedHandle process;  // null when the process could not be opened: then its window tells
};

BOOL CALLBACK CollectHostWindow(HWND window, LPARAM context) {
  WCHAR className[64];
  const int length = ::GetClassNameW(window, className, static_cast<int>(sizeof(className) / sizeof(className[0])));
  if (length > 0 && wcscmp(className, L"" FONTIS_WINDOW_CLASS) == 0) {
    reinterpret_cast<std::vector<HWND>*>(context)->push_back(window);
  }
  return TRUE;
}

bool HasEnded(const HostProcess& host) {
  if (!host.process.IsValid()) return !::IsWindow(host.window);
  return ::WaitForSingleObject(host.process.Get(), 0) == WAIT_OBJECT_0;
}

// Sends the exit command once to every host window not asked before (hidden windows too: the
// enumeration lists every top-level window) and starts tracking its process.
void AskNewHosts(std::vector<HWND>& asked, std::vector<HostProcess>& hosts) {
  std::vector<HWND> windows;
  ::EnumWindows(CollectHostWindow, reinterpret_cast<LPARAM>(&windows));
  for (HWND window : windows) {
    bool known = false;
    for (HWND previous : asked) known = known || previous == window;
    if (known) continue;
    asked.push_back(window);
    DWORD id = 0;
    ::GetWindowThreadProcessId(window, &id);
    if (id == 0) continue;  // the window went away meanwhile
    bool tracked = false;
    for (const HostProcess& host : hosts) tracked = tracked || host.id == id;
    if (!tracked) {
      HostProcess host{id, window, ScopedHandle(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, id))};
      if (!host.process.IsValid()) {
        printf("host process %lu cannot be opened (error %lu)\n", static_cast<unsigned long>(id), ::GetLastError());
      }
      hosts.push_back(std::move(host));
    }
    // Posted, not sent: a host that hangs must not hang us too.
    if (::PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0)) {
      printf("asked host process %lu to end\n", static_cast<unsigned long>(id));
    }
  }
}

}  // namespace

int RunStopHostsCommand(int argc, wchar_t** argv) {
  long long timeoutSeconds = kDefaultTimeoutSeconds;
  bool force = false;
  for (int i = 0; i < argc; ++i) {
    if (wcscmp(argv[i], L"--force") == 0) {
      force = true;
    } else if (wcscmp(argv[i], L"--timeout") == 0 && i + 1 < argc) {
      if (!ParseNumber(argv[++i], 0, kMaxTimeoutSeconds, &timeoutSeconds)) {
        return UsageError("--timeout takes whole seconds from 0 to 600", kStopHostsUsage);
      }
    } else {
      return UsageError("unknown argument", kStopHostsUsage);
    }
  }

  std::vector<HWND> asked;
  std::vector<HostProcess> hosts;
  const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(timeoutSeconds) * 1000;
  for (;;) {
    AskNewHosts(asked, hosts);
    std::vector<HANDLE> running;
    bool allEnded = true;
    for (const HostProcess& host : hosts) {
      if (HasEnded(host)) continue;
      allEnded = false;
      if (host.process.IsValid()) running.push_back(host.process.Get());
    }
    const ULONGLONG now = ::GetTickCount64();
    if (allEnded || now >= deadline) break;
    if (running.size() > MAXIMUM_WAIT_OBJECTS) running.resize(MAXIMUM_WAIT_OBJECTS);
    const DWORD pause = static_cast<DWORD>(deadline - now < kRescanMs ? deadline - now : kRescanMs);
    if (running.empty()) {
      ::Sleep(pause);
    } else {
      ::WaitForMultipleObjects(static_cast<DWORD>(running.size()), running.data(), FALSE, pause);
    }
  }

  if (hosts.empty()) {
    printf("no host is running\n");
    return kExitOk;
  }
  int remaining = 0;
  for (HostProcess& host : hosts) {
    const unsigned long id = static_cast<unsigned long>(host.id);
    if (HasEnded(host)) {
      printf("host process %lu ended\n", id);
    } else if (force && host.process.IsValid() && ::TerminateProcess(host.process.Get(), kForcedExitCode) &&
               ::WaitForSingleObject(host.process.Get(), kForcedEndWaitMs) == WAIT_OBJECT_0) {
      printf("host process %lu did not end within %lld s and was ended by force\n", id, timeoutSeconds);
    } else {
      printf("host process %lu is still running after %lld s\n", id, timeoutSeconds);
      ++remaining;
    }
  }
  return remaining == 0 ? kExitOk : kExitFailure;
}
