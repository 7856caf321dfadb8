// The host's main window: its class, its procedure and the orderly shutdown.
// Everything here runs on the main thread.
#pragma once

#include <windows.h>

ATOM RegisterMainWindowClass(HINSTANCE instance);
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void RegisterSessionNotifications(HWND window);

// Gives the instance up: flag, status record (unless a successor waits), owned objects, locks.
void ShutdownInstance();
