// The host's one process-wide record: start-up arguments, liveness handles, window handles,
// owned objects and the monitor loop's countdowns.
//
// Written by the main thread only, except `stallCountdown` and `noClientCountdown`, which only
// the monitor thread touches. No lock: other threads reach the main thread by posting messages.
#pragma once

#include <windows.h>

#include <memory>

#include "common/ScopedHandle.h"
#include "common/WideString.h"
#include "ipc/CGraphErrInfo.h"

class CFontisGraphMng;
class CResourceStrings;

constexpr int32_t kStallCountdownStart = 600;
constexpr int32_t kNoClientCountdownStart = 6;

struct ApplicationState {
  ApplicationState();
  ~ApplicationState();
  ApplicationState(const ApplicationState&) = delete;
  ApplicationState& operator=(const ApplicationState&) = delete;

  WCHAR instanceName[kNameCapacity];
  WCHAR deviceName[kNameCapacity];
  GUID deviceGuid;
  BOOL showWindow;
  ScopedHandle liveWaitEvent;
  ScopedHandle liveFlag;
  ScopedHandle liveLock;
  HINSTANCE hInstance;
  WCHAR windowClass[kNameCapacity];
  WCHAR windowTitle[kNameCapacity];
  HWND mainWindow;
  std::unique_ptr<CFontisGraphMng> graphMng;
  std::unique_ptr<CResourceStrings> resources;
  BOOL resumePending;
  BOOL quitPosted;
  CGraphErrInfo statusBlock;
  int32_t startRetryCount;
  int32_t stallCountdown;
  int32_t noClientCountdown;
};

// The host's instance, alive before wWinMain runs and closed at process exit.
extern ApplicationState g_appState;

// Takes the process's own command line apart into g_appState.
BOOL ParseCommandLine();

// The same rules on a given command line and state; ParseCommandLine's core.
BOOL ParseCommandLineText(const WCHAR* commandLine, ApplicationState& state);
