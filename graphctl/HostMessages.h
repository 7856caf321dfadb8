// The private messages that the graph-control object's monitor loop posts to the host's main
// window; the window procedure acts on them on the main thread.
#pragma once

#include <windows.h>

// The capture renderer signalled that the clients want another capture format. wParam 0.
constexpr UINT WM_HOST_FORMAT_CHANGED = WM_USER + 64;  // 1088
// No client of another process has been counted for several monitor cycles. wParam 1.
constexpr UINT WM_HOST_CHECK_CLIENTS = WM_USER + 65;  // 1089
// A client asks for another camera through the status record. wParam 0.
constexpr UINT WM_HOST_DEVICE_CHANGED = WM_USER + 66;  // 1090

// wParam of WM_HOST_CHECK_CLIENTS as the monitor loop posts it: ask for the client count.
constexpr WPARAM kCheckClientsAskCount = 1;

static_assert(WM_HOST_FORMAT_CHANGED == 1088 && WM_HOST_CHECK_CLIENTS == 1089 && WM_HOST_DEVICE_CHANGED == 1090,
              "the message numbers are fixed");
