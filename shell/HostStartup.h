// The host's start-up order, from the command line to the end of the message loop.
// Runs on the main thread only.
//
// Exit codes: 0 for every ordinary end (bad arguments, another host serves the instance, no
// camera could be opened, every quit the host decides on); 0x8000FFFF when the status channel or
// the string file object cannot be set up; otherwise the wParam of whatever WM_QUIT ended the
// message loop.
#pragma once

#include <windows.h>

constexpr int kExitStartupFailed = static_cast<int>(0x8000FFFF);

// Creates the main window and the graph-control object and opens the camera. TRUE when all three
// succeeded; the caller then runs the message loop, else it shuts the instance down.
BOOL InitInstance(HINSTANCE instance);

// The whole life of the host process; returns its exit code.
int RunHost(HINSTANCE instance);
