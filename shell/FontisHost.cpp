// The capture host's entry: takes the command line apart, opens the instance's status channel,
// settles which process serves the instance, and runs the window message loop.
#include <windows.h>

#include "shell/HostStartup.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPWSTR /*commandLine*/, int /*showCommand*/) {
  return RunHost(instance);
}
