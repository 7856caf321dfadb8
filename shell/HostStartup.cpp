#include "HostStartup.h"

#include <objbase.h>
#include <wtsapi32.h>

#include "graphctl/CFontisGraphMng.h"
#include "ipc/GraphErrInfo.h"
#include "ipc/LiveInstance.h"
#include "resources/resource.h"
#include "shell/ApplicationState.h"
#include "shell/CResourceStrings.h"
#include "shell/CameraRequest.h"
#include "shell/CaptureControl.h"
#include "shell/MainWindow.h"

namespace {

constexpr DWORD kWindowStyle = WS_OVERLAPPEDWINDOW;  // 0x00CF0000
constexpr int kWindowWidth = 320;
constexpr int kWindowHeight = 300;

}  // namespace

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
  // A hidden host ends once no client is left; a shown one stays for its user.
  app.graphMng.reset(CFontisGraphMng::CreateInstance(app.instanceName, app.showWindow ? FALSE : TRUE));
  if (!app.graphMng || !app.resources || app.mainWindow == nullptr) return FALSE;

  ::ShowWindow(app.mainWindow, app.showWindow ? SW_SHOW : SW_HIDE);
  ::UpdateWindow(app.mainWindow);
  ::WTSRegisterSessionNotification(app.mainWindow, NOTIFY_FOR_THIS_SESSION);
  app.statusBlock.EndOperation(S_OK, kOpHostStartup);

  if (!StartCapture(app.deviceName, app.deviceGuid)) return FALSE;
  // The camera actually opened, as StartCapture has just stored it.
  app.graphMng->PublishDevice(app.deviceGuid, app.deviceName);
  return TRUE;
}

int RunHost(HINSTANCE instance) {
  ApplicationState& app = g_appState;
  if (!ParseCommandLine()) return 0;
  if (FAILED(app.statusBlock.Open(app.instanceName))) return kExitStartupFailed;
  app.resources = CResourceStrings::Create(L"Resource.ini");
  if (!app.resources) return kExitStartupFailed;

  if (!AcquireLiveInstance(app.instanceName, app.statusBlock, app.liveLock, app.liveFlag, app.liveWaitEvent)) {
    app.resources.reset();
    return 0;
  }
  // From here on this process serves the instance.
  app.statusBlock.SetHostCondition(kHostConditionNormal);
  app.statusBlock.BeginOperation(kOpHostStartup);

  // A client that asked for a camera before this host existed gets that camera.
  TakeOverCameraRequest(app);

  if (!InitInstance(instance)) {
    ShutdownInstance();
    return 0;
  }

  HACCEL accelerators = ::LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDC_FONTISHOST));
  MSG message = {};
  BOOL got;
  while ((got = ::GetMessageW(&message, nullptr, 0, 0)) != 0) {
    if (got == -1) return 0;  // cannot happen without a window filter; never spin on it
    if (!::TranslateAcceleratorW(message.hwnd, accelerators, &message)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  // Whoever posted the quit (this host, or the monitor thread after a lasting stall) chose the
  // code; the process ends without clean-up, and the instance's mutexes it still owns become
  // abandoned, which a waiting successor sees.
  return static_cast<int>(message.wParam);
}
