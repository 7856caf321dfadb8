// fontis_peer: plays a client or a rival host against an instance's shared objects. It sets
// "<INSTANCE>_peer_ready" once in the state the test waits for; "<INSTANCE>_peer_stop" ends the
// commands that wait (being killed instead abandons what they hold).
//   hold INSTANCE status|slock        hold the status lock or "slock" of an existing channel
//   client INSTANCE WIDTH HEIGHT      hold a slot wanting RGB24 video by the clients' protocol
//   serve INSTANCE healthy|unhealthy  serve the instance as a host with a good or failed graph
//   host-window INSTANCE obey|ignore  a hidden host's main window; "obey" ends on its exit command
//   random-client INSTANCE SEED SECONDS  join, want video or not, resize and leave at random
//   post-thread THREAD_ID MESSAGE WPARAM [...]  post thread messages; exit 3 when one is refused
#include <windows.h>

#include <cwchar>
#include <random>
#include <string>

#include "common/ScopedHandle.h"
#include "common/ScopedMutexLock.h"
#include "ipc/CGraphErrInfo.h"
#include "ipc/CRgCenterClient.h"
#include "ipc/CStatusChannelClient.h"
#include "ipc/LiveInstance.h"
#include "ipc/VideoInfoFormat.h"
#include "resources/resource.h"

namespace {

constexpr int kExitLeaves = 11;
constexpr int kExitBadArguments = 2;
constexpr int kExitFailed = 3;

void SignalReady(const std::wstring& instance) {
  ScopedHandle ready(::CreateEventW(nullptr, TRUE, FALSE, (instance + L"_peer_ready").c_str()));
  ::SetEvent(ready.Get());
}

// Ready, then waits for "<INSTANCE>_peer_stop" (made before "ready": a test that sets and closes it
// at once must not find it gone).
void SignalReadyAndAwaitStop(const std::wstring& instance) {
  ScopedHandle stop(::CreateEventW(nullptr, TRUE, FALSE, (instance + L"_peer_stop").c_str()));
  SignalReady(instance);
  ::WaitForSingleObject(stop.Get(), INFINITE);
}

int HoldUntilKilled(const std::wstring& instance, bool statusLock) {
  CStatusChannelClient status;
  CRgCenterClient channel;
  const HRESULT opened = statusLock ? status.Open(instance.c_str())
                                    : channel.Open(instance.c_str(), CRgCenterClient::OpenMode::kExistingOnly);
  if (FAILED(opened) || !IsLockObtained(::WaitForSingleObject(statusLock ? status.LockHandle() : channel.LockHandle(), 5000))) {
    return kExitFailed;
  }
  SignalReady(instance);
  ::Sleep(INFINITE);
  return 0;
}

int Client(const std::wstring& instance, LONG width, LONG height) {
  CRgCenterClient channel;
  if (FAILED(channel.Open(instance.c_str(), CRgCenterClient::OpenMode::kCreateOrOpen))) return kExitFailed;
  CMediaType type;
  int slot = -1;
  if (FAILED(BuildVideoInfoType(width, height, VideoSubtype::kRgb24, &type)) ||
      FAILED(channel.TakeSlot(CurrentClientIdentity(), TRUE, type.Get(), &slot))) {
    return kExitFailed;
  }
  SignalReadyAndAwaitStop(instance);
  return SUCCEEDED(channel.ReleaseSlot(slot, CurrentClientIdentity())) ? 0 : kExitFailed;
}

int Serve(const std::wstring& instance, bool healthy) {
  CGraphErrInfo status;
  if (FAILED(status.Open(instance.c_str()))) return kExitFailed;
  ScopedHandle liveLock, liveFlag, liveWaitEvent;
  if (!AcquireLiveInstance(instance.c_str(), status, liveLock, liveFlag, liveWaitEvent)) return kExitLeaves;
  status.BeginOperation(kOpBuildGraph);
  status.EndOperation(healthy ? S_OK : E_FAIL, kOpBuildGraph);
  SignalReadyAndAwaitStop(instance);
  bool successorWaits = false;
  const bool lockHeld = BeginLiveInstanceEnd(liveFlag, liveLock, liveWaitEvent.Get(), &successorWaits);
  if (lockHeld && !successorWaits) status.Reset();
  FinishLiveInstanceEnd(liveFlag, liveLock, lockHeld);
  return successorWaits ? 1 : 0;
}

int RandomClient(const std::wstring& instance, unsigned seed, DWORD seconds) {
  CRgCenterClient channel;
  if (FAILED(channel.Open(instance.c_str(), CRgCenterClient::OpenMode::kCreateOrOpen))) return kExitFailed;
  static const SIZE kSizes[] = {{320, 240}, {640, 480}, {1280, 720}};
  std::mt19937 random(seed);
  const ClientIdentity self = CurrentClientIdentity();
  int slot = -1;
  for (const ULONGLONG end = ::GetTickCount64() + seconds * 1000ull; ::GetTickCount64() < end;) {
    ::Sleep(300 + random() % 2700);
    const SIZE& size = kSizes[random() % 3];
    CMediaType type;
    if (FAILED(BuildVideoInfoType(size.cx, size.cy, VideoSubtype::kRgb24, &type))) continue;
    const unsigned action = random() % 4;  // for a registered client: 3 leaves, 2 resizes
    if (slot < 0) {
      if (random() % 100 < 70) channel.TakeSlot(self, random() % 2, type.Get(), &slot);
    } else if (action == 3) {
      channel.ReleaseSlot(slot, self);
      slot = -1;
    } else {
      channel.UpdateSlot(slot, self, random() % 2, action == 2 ? &type.Get() : nullptr);
    }
  }
  if (slot >= 0) channel.ReleaseSlot(slot, self);
  return 0;
}

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const bool obey = ::GetWindowLongPtrW(window, GWLP_USERDATA) != 0;
  if (message == WM_COMMAND && LOWORD(wParam) == IDM_EXIT && obey) {
    ::DestroyWindow(window);
  } else if (message == WM_DESTROY) {
    ::PostQuitMessage(0);
  } else {
    return ::DefWindowProcW(window, message, wParam, lParam);
  }
  return 0;
}

int HostWindow(const std::wstring& instance, bool obey) {
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = HostWindowProc;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"" FONTIS_WINDOW_CLASS;
  if (::RegisterClassExW(&windowClass) == 0) return kExitFailed;
  HWND window = ::CreateWindowExW(WS_EX_TOOLWINDOW, windowClass.lpszClassName, L"", WS_OVERLAPPEDWINDOW,
                                  CW_USEDEFAULT, 0, 320, 300, nullptr, nullptr, windowClass.hInstance, nullptr);
  if (window == nullptr) return kExitFailed;
  ::SetWindowLongPtrW(window, GWLP_USERDATA, obey ? 1 : 0);
  SignalReady(instance);
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) ::DispatchMessageW(&message);
  return static_cast<int>(message.wParam);
}

int PostToThread(int argc, wchar_t** argv) {
  const DWORD threadId = wcstoul(argv[2], nullptr, 10);
  for (int i = 3; i + 1 < argc; i += 2) {
    const UINT message = wcstoul(argv[i], nullptr, 10);
    if (!::PostThreadMessageW(threadId, message, wcstoul(argv[i + 1], nullptr, 10), 0)) return kExitFailed;
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return kExitBadArguments;
  const std::wstring command = argv[1];
  const std::wstring instance = argv[2];
  if (command == L"hold" && argc == 4) return HoldUntilKilled(instance, wcscmp(argv[3], L"status") == 0);
  if (command == L"serve" && argc == 4) return Serve(instance, wcscmp(argv[3], L"healthy") == 0);
  if (command == L"client" && argc == 5) {
    return Client(instance, static_cast<LONG>(wcstol(argv[3], nullptr, 10)),
                  static_cast<LONG>(wcstol(argv[4], nullptr, 10)));
  }
  if (command == L"host-window" && argc == 4) return HostWindow(instance, wcscmp(argv[3], L"obey") == 0);
  if (command == L"random-client" && argc == 5) {
    return RandomClient(instance, static_cast<unsigned>(wcstoul(argv[3], nullptr, 10)),
                        static_cast<DWORD>(wcstoul(argv[4], nullptr, 10)));
  }
  if (command == L"post-thread" && argc >= 5 && (argc - 3) % 2 == 0) return PostToThread(argc, argv);
  return kExitBadArguments;
}
