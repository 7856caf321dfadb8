#include "MainWindow.h"

#include <wtsapi32.h>

#include "graphctl/CFontisGraphMng.h"
#include "ipc/LiveInstance.h"
#include "resources/resource.h"
#include "shell/ApplicationState.h"
#include "shell/CResourceStrings.h"

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

void RegisterSessionNotifications(HWND window) { ::WTSRegisterSessionNotification(window, NOTIFY_FOR_THIS_SESSION); }

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
      ShutdownInstance();
      return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDM_EXIT) {
        ::DestroyWindow(window);
        return 0;
      }
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
    if (!successorWaits) app.statusBlock.Reset();
    app.graphMng.reset();
    app.resources.reset();
  }
  FinishLiveInstanceEnd(app.liveFlag, app.liveLock, lockHeld);
  if (app.mainWindow != nullptr) ::WTSUnRegisterSessionNotification(app.mainWindow);
}
