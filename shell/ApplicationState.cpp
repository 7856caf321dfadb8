#include "ApplicationState.h"

#include <shellapi.h>

#include "graphctl/CFontisGraphMng.h"
#include "shell/CResourceStrings.h"

ApplicationState g_appState;

ApplicationState::ApplicationState()
    : instanceName{},
      deviceName{},
      deviceGuid(GUID_NULL),
      showWindow(TRUE),
      hInstance(nullptr),
      windowClass{},
      windowTitle{},
      mainWindow(nullptr),
      resumePending(FALSE),
      quitPosted(FALSE),
      startRetryCount(0) {}

ApplicationState::~ApplicationState() {
  // Deliberately not destroyed: see the header.
  (void)graphMng.release();
  (void)resources.release();
}

namespace {

constexpr int kRequiredArgumentCount = 6;

// Frees the array that CommandLineToArgvW allocated.
struct ArgvDeleter {
  void operator()(LPWSTR* argv) const { ::LocalFree(argv); }
};

}  // namespace

BOOL ParseCommandLineText(const WCHAR* commandLine, ApplicationState& state) {
  state.showWindow = TRUE;
  state.deviceGuid = GUID_NULL;
  state.instanceName[0] = L'\0';
  state.deviceName[0] = L'\0';
  if (commandLine == nullptr) return FALSE;

  int argc = 0;
  std::unique_ptr<LPWSTR, ArgvDeleter> argv(::CommandLineToArgvW(commandLine, &argc));
  if (!argv || argc < kRequiredArgumentCount) return FALSE;
  LPWSTR* args = argv.get();

  BoundedCopy(state.instanceName, args[1]);
  BoundedCopy(state.deviceName, args[2]);
  if (FAILED(::CLSIDFromString(args[3], &state.deviceGuid))) state.deviceGuid = GUID_NULL;
  // Only the exact text hides the window; anything else, "false" included, shows it.
  state.showWindow = wcscmp(args[4], L"FALSE") == 0 ? FALSE : TRUE;
  return state.instanceName[0] != L'\0';
}

BOOL ParseCommandLine() { return ParseCommandLineText(::GetCommandLineW(), g_appState); }
