// The virtual camera's keeper thread: a host serves the instance for as long as the filter is in
// a graph.
#include "filters/vcam/CHostKeeper.h"

#include <algorithm>
#include <cwchar>
#include <new>
#include <utility>

#include "common/ScopedComApartment.h"
#include "filters/vcam/HostCamera.h"
#include "filters/vcam/PlaceholderReason.h"
#include "filters/vcam/VcamIdentity.h"
#include "ipc/CHostObserver.h"
#include "ipc/CRgCenterClient.h"
#include "ipc/HostLauncher.h"
#include "ipc/LiveInstance.h"

namespace {

// FontisHost.exe beside the filter's DLL (the module that holds this code), else in the folder
// above it: the installed 32-bit filter lives in x86\ below the 64-bit host.
bool FindHostProgram(HMODULE module, WCHAR* path, size_t capacity) {
  if (!HostPathBeside(module, path, capacity)) return false;
  if (::GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES) return true;
  WCHAR* name = wcsrchr(path, L'\\');
  if (name == nullptr) return true;
  *name = L'\0';
  WCHAR* folder = wcsrchr(path, L'\\');
  if (folder == nullptr) return HostPathBeside(module, path, capacity) != FALSE;
  wcscpy_s(folder + 1, capacity - static_cast<size_t>(folder + 1 - path), kHostProgramName);
  if (::GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES) return true;
  // Neither: start from the DLL's own folder, and the failure says what is missing.
  return HostPathBeside(module, path, capacity) != FALSE;
}

void Publish(std::atomic<int>& state, HostLaunchState value) { state.store(static_cast<int>(value)); }

}  // namespace

CHostKeeper::CHostKeeper(const WCHAR* instanceName, const CVcamSettings& settings,
                         std::shared_ptr<std::atomic<int>> launchState)
    : m_settings(settings), m_launchState(std::move(launchState)) {
  BoundedCopy(m_instance, instanceName);
}

HRESULT CHostKeeper::Start(const WCHAR* instanceName, const CVcamSettings& settings, HANDLE stop,
                           std::shared_ptr<std::atomic<int>> launchState) {
  if (instanceName == nullptr || stop == nullptr || !launchState) return E_INVALIDARG;
  CHostKeeper* keeper = new (std::nothrow) CHostKeeper(instanceName, settings, std::move(launchState));
  if (keeper == nullptr) return E_OUTOFMEMORY;
  HANDLE duplicate = nullptr;
  if (!::DuplicateHandle(::GetCurrentProcess(), stop, ::GetCurrentProcess(), &duplicate, SYNCHRONIZE, FALSE, 0)) {
    const HRESULT hr = HRESULT_FROM_WIN32(::GetLastError());
    delete keeper;
    return hr;
  }
  keeper->m_stop.Reset(duplicate);
  // The thread's own reference to the module: an application may unload the filter's DLL as
  // soon as the filter is gone, while this thread still has to return through its code.
  if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&CHostKeeper::ThreadMain),
                            &keeper->m_module)) {
    const HRESULT hr = HRESULT_FROM_WIN32(::GetLastError());
    delete keeper;
    return hr;
  }
  ScopedHandle thread(::CreateThread(nullptr, 0, &CHostKeeper::ThreadMain, keeper, 0, nullptr));
  if (!thread.IsValid()) {
    const HRESULT hr = HRESULT_FROM_WIN32(::GetLastError());
    ::FreeLibrary(keeper->m_module);
    delete keeper;
    return hr;
  }
  return S_OK;
}

DWORD WINAPI CHostKeeper::ThreadMain(void* self) {
  auto* keeper = static_cast<CHostKeeper*>(self);
  HMODULE module = keeper->m_module;
  keeper->Run();
  delete keeper;
  ::FreeLibraryAndExitThread(module, 0);
  return 0;
}

void CHostKeeper::Run() {
  ScopedComApartment com;  // the device enumeration needs COM on this thread
  WCHAR hostPath[MAX_PATH * 2] = {};
  const bool haveHost = FindHostProgram(m_module, hostPath, sizeof(hostPath) / sizeof(hostPath[0]));
  CHostObserver observer;
  observer.SetInstance(m_instance);
  CRgCenterClient channel;
  channel.Open(m_instance, CRgCenterClient::OpenMode::kExistingOnly);
  std::atomic<int>& state = *m_launchState;

  ScopedHandle host;        // the host this keeper started, while it may still run
  bool hostServed = false;  // ... and whether it was ever seen serving a camera
  DWORD retryMs = kFirstRetryMs;
  DWORD waitMs = 0;
  while (::WaitForSingleObject(m_stop.Get(), waitMs) == WAIT_TIMEOUT) {
    waitMs = kLookEveryMs;
    // An application that crashed while another streams stops counting within a look, not only
    // when the next application registers.
    if (channel.IsOpen()) channel.ReclaimDeadSlots(nullptr);
    const HostPresence presence = ProbeHostPresence(m_instance);
    if (presence == HostPresence::kHealthy) {
      hostServed = hostServed || host.IsValid();
      retryMs = kFirstRetryMs;
      Publish(state, HostLaunchState::kServing);
      continue;
    }
    if (host.IsValid()) {
      if (::WaitForSingleObject(host.Get(), 0) == WAIT_TIMEOUT) continue;  // still starting
      const bool failed = !hostServed;
      host.Close();
      hostServed = false;
      if (failed) {
        // It ended without ever serving: it found no camera by that name, or could not open it.
        Publish(state, HostLaunchState::kCameraFailed);
        waitMs = retryMs;
        retryMs = std::min(retryMs * 2, kMaxRetryMs);
        continue;
      }
    }
    if (presence == HostPresence::kSuccessorWaiting) continue;
    // Another client's host that is still starting needs no successor.
    const HostView view = observer.Look();
    if (view.hostPresent && view.statusReadable && view.status.pending != 0) continue;

    HostCamera camera;
    if (ResolveHostCamera(m_settings, &camera) != S_OK) {
      Publish(state, HostLaunchState::kNoCamera);
      waitMs = retryMs;
      retryMs = std::min(retryMs * 2, kMaxRetryMs);
      continue;
    }
    WCHAR guidText[40] = {};
    ::StringFromGUID2(camera.guid, guidText, 40);
    HostLaunchRequest request = {};
    request.hostPath = hostPath;
    request.instanceName = m_instance;
    request.cameraName = camera.name;
    request.cameraGuidText = guidText;
    request.showWindow = FALSE;
    LaunchOutcome outcome = LaunchOutcome::kHostServes;
    HANDLE started = nullptr;
    const HRESULT hr = haveHost ? LaunchHostIfNeeded(request, &outcome, &started) : E_UNEXPECTED;
    if (FAILED(hr)) {
      Publish(state, HostLaunchState::kStartFailed);
      waitMs = retryMs;
      retryMs = std::min(retryMs * 2, kMaxRetryMs);
      continue;
    }
    if (outcome == LaunchOutcome::kStarted) {
      host.Reset(started);
      hostServed = false;
    }
    Publish(state, HostLaunchState::kServing);
  }
}
