#include "HostStartup.h"

#include <objbase.h>

#include <cwchar>

#include "ipc/GraphErrInfo.h"
#include "resources/resource.h"
#include "shell/ApplicationState.h"
#include "shell/CResourceStrings.h"
#include "ipc/LiveInstance.h"
#include "shell/MainWindow.h"

namespace {

constexpr DWORD kWindowStyle = WS_OVERLAPPEDWINDOW;  // 0x00CF0000
constexpr int kWindowWidth = 320;
constexpr int kWindowHeight = 300;

BOOL InitInstance(HINSTANCE instance) {
  ApplicationState& app = g_appState;
  ::CoInitialize(nullptr);
  app.hInstance = instance;
  app.resources->GetString(app.windowTitle, kNameCapacity, L"FONTIS_TITLE", 0);
  ::LoadStringW(instance, IDS_APP_CLASS, app.windowClass, kNameCapacity);
  RegisterMainWindowClass(instance);

  app.mainWindow = ::CreateWindowExW(app.showWindow ? 0 : WS_EX_TOOLWINDOW, app.windowClass, app.windowTitle,
                                     kWindowStyle, CW_USEDEFAULT, 0, kWindowWidth, kWindowHeight, nullptr,
                                     nullptr, instance, nullptr);
  // The graph-control object is created here once the capture graph exists; without it the
  // host cannot serve and gives up like a host that finds no camera.
  return app.graphMng && app.resources && app.mainWindow != nullptr;
}

}  // namespace

BOOL IsOtherCamera(const WCHAR* requestedName, const GUID& requestedGuid, const WCHAR* currentName,
                   const GUID& currentGuid) {
  if (wcscmp(requestedName, currentName) != 0) return TRUE;
  return !IsEqualGUID(requestedGuid, GUID_NULL) && !IsEqualGUID(requestedGuid, currentGuid);
}

int RunHost(HINSTANCE instance) {
  ApplicationState& app = g_appState;
  if (!ParseCommandLine()) return 0;
  if (FAILED(app.statusBlock.Open(app.instanceName))) return kExitStatusChannelFailed;
  app.resources = CResourceStrings::Create(L"Resource.ini");
  if (!app.resources) return kExitStatusChannelFailed;

  if (!AcquireLiveInstance(app.instanceName, app.statusBlock, app.liveLock, app.liveFlag, app.liveWaitEvent)) {
    app.resources.reset();
    return 0;
  }
  app.statusBlock.SetHostCondition(kHostConditionNormal);
  app.statusBlock.BeginOperation(kOpHostStartup);

  WCHAR requestedName[kNameCapacity];
  GUID requestedGuid = GUID_NULL;
  app.statusBlock.GetDeviceRequest(requestedName, kNameCapacity, &requestedGuid);
  if (IsOtherCamera(requestedName, requestedGuid, app.deviceName, app.deviceGuid)) {
    BoundedCopy(app.deviceName, requestedName);
    app.deviceGuid = requestedGuid;
  }

  if (!InitInstance(instance)) {
    ShutdownInstance();
    return 0;
  }

  HACCEL accelerators = ::LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDC_FONTISHOST));
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (!::TranslateAcceleratorW(message.hwnd, accelerators, &message)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  return static_cast<int>(message.wParam);
}
