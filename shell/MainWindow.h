// The host's main window: its class, its procedure with the power, session and private-message
// handlers, and the orderly shutdown.
//
// The window is usually hidden; it receives the power broadcasts and session changes of the
// platform and the private messages that the graph-control object's monitor thread posts
// (graphctl/HostMessages.h). Destroying it (its menu's exit command 105, which the installer and
// `fontisctl stop-hosts` send, or closing it) ends the host in order: ShutdownInstance, then a
// quit with exit code 0. A window-less host could never hear from its monitor again, so it would
// serve nobody and never end.
//
// Everything here runs on the main thread.
#pragma once

#include <windows.h>

ATOM RegisterMainWindowClass(HINSTANCE instance);
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Gives the instance up: the flag, the status record (reset unless a successor waits), the
// graph-control and string objects, the liveness lock, the session notifications. Posts no quit
// and leaves the window alone. Harmless when run again.
void ShutdownInstance();

// The host's own decision to end: PostQuitMessage(0), and from then on the format-change and
// device-change messages are ignored.
void QuitHost();
