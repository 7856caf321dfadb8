#include "MainWindow.h"

#include <wtsapi32.h>

#include "common/ScopedMutexLock.h"
#include "graphctl/CFontisGraphMng.h"
#include "graphctl/HostMessages.h"
#include "ipc/GraphErrInfo.h"
#include "ipc/LiveInstance.h"
#include "resources/resource.h"
#include "shell/ApplicationState.h"
#include "shell/CResourceStrings.h"
#include "shell/CameraRequest.h"
#include "shell/CaptureControl.h"

namespace {

constexpr int kClientCountTries = 3;
constexpr DWORD kClientCountPauseMs = 10;

// Built, and either in the state the clients' demand asks for or running.
bool IsGraphFine(CFontisGraphMng* graph) {
  return graph->IsGraphBuilt() && (graph->IsGraphStateValid() || graph->IsGraphRunning());
}

void OnPowerBroadcast(WORD event) {
  ApplicationState& app = g_appState;
  CFontisGraphMng* graph = app.graphMng.get();
  if (graph == nullptr) return;
  switch (event) {
    case PBT_APMQUERYSUSPEND:
    case PBT_APMSUSPEND:
    case PBT_APMSTANDBY:
      app.statusBlock.SetHostCondition(kHostConditionSuspended);
      if (graph->IsGraphBuilt()) app.resumePending = TRUE;
      graph->SetSuspended(TRUE);
      // Already at the query: the camera is let go before the system actually sleeps.
      StopCapture();
      return;
    case PBT_APMQUERYSUSPENDFAILED:
    case PBT_APMRESUMECRITICAL:
    case PBT_APMRESUMESUSPEND:
    case PBT_APMRESUMESTANDBY:
      graph->SetSuspended(FALSE);
      // A graph that is fine keeps resumePending, so that a later event of the group looks again.
      if (!app.resumePending || IsGraphFine(graph)) return;
      RestartCapture();
      if (!graph->IsGraphBuilt()) {
        QuitHost();
      } else {
        app.statusBlock.SetHostCondition(kHostConditionNormal);
      }
      app.resumePending = FALSE;
      return;
    default:
      return;  // PBT_APMRESUMEAUTOMATIC and the rest change nothing here
  }
}

void OnSessionChange(WORD code) {
  ApplicationState& app = g_appState;
  CFontisGraphMng* graph = app.graphMng.get();
  if (graph == nullptr) return;
  switch (code) {
    case WTS_CONSOLE_CONNECT:
      graph->SetSuspended(FALSE);
      // The host stays even without a graph: the user is back and clients may come.
      RestartCapture();
      return;
    case WTS_CONSOLE_DISCONNECT:
      app.statusBlock.SetHostCondition(kHostConditionDisconnected);
      graph->SetSuspended(TRUE);
      StopCapture();
      return;
    case WTS_SESSION_LOCK:
      // The graph is kept; the placeholder client keeps it wanted while nobody can see it.
      app.statusBlock.SetHostCondition(kHostConditionLocked);
      graph->SetSessionLocked(TRUE);
      return;
    case WTS_SESSION_UNLOCK:
      app.statusBlock.SetHostCondition(kHostConditionNormal);
      graph->SetSessionLocked(FALSE);
      if (!IsGraphFine(graph)) {
        RestartCapture();
        if (!graph->IsGraphBuilt()) QuitHost();
      }
      app.statusBlock.SetHostCondition(kHostConditionNormal);
      return;
    default:
      return;
  }
}

void OnFormatChanged() {
  ApplicationState& app = g_appState;
  CFontisGraphMng* graph = app.graphMng.get();
  if (graph == nullptr || app.quitPosted) return;
  graph->ChangeFormat();
  if (!graph->IsGraphBuilt() || (!graph->IsGraphStateValid() && !graph->IsGraphRunning())) RunCaptureWithRetries();
  if (!graph->IsGraphBuilt()) QuitHost();
}

void OnDeviceChanged() {
  ApplicationState& app = g_appState;
  CFontisGraphMng* graph = app.graphMng.get();
  if (graph == nullptr || app.quitPosted) return;
  // A request for the camera in use only leads to the test below.
  if (TakeOverCameraRequest(app)) StartCapture(app.deviceName, app.deviceGuid);
  if (!graph->IsGraphBuilt()) QuitHost();
}

// Only a hidden host ends for lack of clients, and only after asking under the liveness lock:
// a client that looks for a host under the same lock sees either one that goes on serving or
// no flag at all.
void OnCheckClients(WPARAM askCount) {
  ApplicationState& app = g_appState;
  if (app.showWindow) return;
  ScopedMutexLock liveLock(app.liveLock.Get(), kLiveLockHostTimeoutMs);
  if (!liveLock.Held()) return;
  bool end = true;
  if (app.graphMng && askCount != 0) {
    for (int attempt = 0; attempt < kClientCountTries; ++attempt) {
      WORD count = 0;
      if (app.graphMng->GetClientCount(&count) == S_OK && count != 0) {
        end = false;
        break;
      }
      ::Sleep(kClientCountPauseMs);
    }
  }
  if (end) {
    if (app.graphMng) app.graphMng->ReleaseGraph();
    app.liveFlag.Close();
    QuitHost();
  }
}

// The window is going: end the host in order, once.
void OnDestroy() {
  ApplicationState& app = g_appState;
  ShutdownInstance();
  if (!app.quitPosted) QuitHost();
}

}  // namespace

ATOM RegisterMainWindowClass(HINSTANCE instance) {
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = MainWndProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(IDI_FONTISHOST));
  windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
  windowClass.lpszMenuName = MAKEINTRESOURCEW(IDC_FONTISHOST);
  windowClass.lpszClassName = g_appState.windowClass;
  windowClass.hIconSm = ::LoadIconW(instance, MAKEINTRESOURCEW(IDI_SMALL));
  return ::RegisterClassExW(&windowClass);
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      ::BeginPaint(window, &paint);
      ::EndPaint(window, &paint);
      return 0;
    }
    case WM_QUIT:
      // Only a WM_QUIT sent to the procedure itself arrives here (a posted one ends the message
      // loop): the instance is given up for a successor, and the loop goes on.
      ShutdownInstance();
      return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDM_EXIT) {
        ::DestroyWindow(window);
        return 0;
      }
      return ::DefWindowProcW(window, message, wParam, lParam);
    case WM_POWERBROADCAST:
      OnPowerBroadcast(LOWORD(wParam));
      return 0;
    case WM_WTSSESSION_CHANGE:
      OnSessionChange(LOWORD(wParam));
      return 0;
    case WM_HOST_FORMAT_CHANGED:
      OnFormatChanged();
      return 0;
    case WM_HOST_CHECK_CLIENTS:
      OnCheckClients(wParam);
      return 0;
    case WM_HOST_DEVICE_CHANGED:
      OnDeviceChanged();
      return 0;
    case WM_DESTROY:
      OnDestroy();
      return 0;
    case WM_NCDESTROY:
      if (g_appState.mainWindow == window) g_appState.mainWindow = nullptr;
      return ::DefWindowProcW(window, message, wParam, lParam);
    default:
      return ::DefWindowProcW(window, message, wParam, lParam);
  }
}

void ShutdownInstance() {
  ApplicationState& app = g_appState;
  bool successorWaits = false;
  const bool lockHeld = BeginLiveInstanceEnd(app.liveFlag, app.liveLock, app.liveWaitEvent.Get(), &successorWaits);
  if (lockHeld) {
    // A waiting successor takes the record as it stands; otherwise clients see a fresh one.
    if (!successorWaits && app.graphMng) app.graphMng->ResetStatus();
    app.graphMng.reset();
    app.resources.reset();
  }
  FinishLiveInstanceEnd(app.liveFlag, app.liveLock, lockHeld);
  if (app.mainWindow != nullptr) ::WTSUnRegisterSessionNotification(app.mainWindow);
}

void QuitHost() {
  ::PostQuitMessage(0);
  g_appState.quitPosted = TRUE;
}
