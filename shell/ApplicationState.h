// The host's one process-wide record: start-up arguments, liveness handles, window handles and
// owned objects. (The monitor loop's countdowns live in the graph-control object, which lives as
// long as the process serves.)
//
// Written and read by the main thread only. No lock: other threads reach the main thread by
// posting messages to its window.
#pragma once

#include <windows.h>

#include <memory>

#include "common/ScopedHandle.h"
#include "common/WideString.h"
#include "ipc/CGraphErrInfo.h"

class CFontisGraphMng;
class CResourceStrings;

struct ApplicationState {
  ApplicationState();
  // Closes the status channel and the handles, but leaves the graph-control object and the string
  // object alone: an ordinary quit ends the process without tearing the graph down (only the
  // orderly shutdown does that), and the monitor and graph threads may still run here.
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
};

// The host's instance, alive before wWinMain runs and closed at process exit.
extern ApplicationState g_appState;

// Takes the process's own command line apart into g_appState.
BOOL ParseCommandLine();

// The same rules on a given command line and state; ParseCommandLine's core.
BOOL ParseCommandLineText(const WCHAR* commandLine, ApplicationState& state);
