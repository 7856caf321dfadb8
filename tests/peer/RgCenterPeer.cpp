// fontis_peer's request channel command (see RgCenterPeer.h).
#include "RgCenterPeer.h"

#include <windows.h>

#include "ipc/CRgCenterClient.h"
#include "ipc/ScopedHandle.h"
#include "ipc/ScopedMutexLock.h"

namespace {

constexpr int kExitFailed = 3;
constexpr DWORD kLockWaitMs = 5000;

}  // namespace

int HoldRgCenterLockForever(const std::wstring& instance) {
  CRgCenterClient channel;
  if (FAILED(channel.Open(instance.c_str(), CRgCenterClient::OpenMode::kCreateOrOpen))) return kExitFailed;
  if (!IsLockObtained(::WaitForSingleObject(channel.LockHandle(), kLockWaitMs))) return kExitFailed;
  // The peer's ready convention: the test waits for "<instance>_peer_ready".
  ScopedHandle ready(::CreateEventW(nullptr, TRUE, FALSE, (instance + L"_peer_ready").c_str()));
  ::SetEvent(ready.Get());
  ::Sleep(INFINITE);
  return 0;
}
