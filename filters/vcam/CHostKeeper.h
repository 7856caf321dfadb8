// Makes sure that a host serves an instance while a virtual camera filter is in a graph: on a
// thread of its own it starts FontisHost.exe from the filter's folder when none serves (the
// handshake's client side, hidden), looks again every second, and publishes what it found as a
// HostLaunchState for the placeholder. Each look also frees the request channel slots of clients
// whose process has ended. Its starter never waits for it: Start hands everything to
// the thread, and the thread ends (some time) after the stop event is set.
// Threads: Start on the caller's thread; the object then belongs to the keeper thread, which
// deletes it and unloads its reference to the module as its last acts.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>

#include "common/ScopedHandle.h"
#include "common/WideString.h"
#include "filters/vcam/CVcamSettings.h"

class CHostKeeper {
 public:
  // How often the keeper looks whether a host serves.
  static constexpr DWORD kLookEveryMs = 1000;
  // After a failure (no camera, no host program, a host that could not open the camera) it
  // tries again after this long, doubled each time up to kMaxRetryMs.
  static constexpr DWORD kFirstRetryMs = 2000;
  static constexpr DWORD kMaxRetryMs = 30000;

  // `stop` is duplicated: the caller keeps and sets its own handle.
  static HRESULT Start(const WCHAR* instanceName, const CVcamSettings& settings, HANDLE stop,
                       std::shared_ptr<std::atomic<int>> launchState);

 private:
  CHostKeeper(const WCHAR* instanceName, const CVcamSettings& settings, std::shared_ptr<std::atomic<int>> launchState);
  static DWORD WINAPI ThreadMain(void* self);
  void Run();

  WCHAR m_instance[kNameCapacity];
  const CVcamSettings m_settings;
  const std::shared_ptr<std::atomic<int>> m_launchState;
  ScopedHandle m_stop;
  HMODULE m_module = nullptr;  // a reference that keeps this code loaded while the thread runs
};
