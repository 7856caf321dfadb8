// The shell's side of the capture graph: open a camera, rebuild the graph of the camera in use,
// build and run it with bounded retries, release it. They drive g_appState.graphMng and report
// the camera lookup (status operation 6) and the acknowledgement of a client's camera request
// in the status record.
//
// Main thread only. Each graph-control operation takes that object's lock for its own duration;
// none of these holds a lock across steps, so the monitor thread may act between them.
#pragma once

#include <windows.h>

#include <cstdint>

// Attempts of RunCaptureWithRetries before it gives up (the counter runs 0..8).
constexpr int32_t kMaxStartRetryCount = 8;
constexpr DWORD kBuildFailSleepMs = 400;
constexpr DWORD kRunFailSleepMs = 200;
constexpr DWORD kStartRetryPauseMs = 200;
// The capture renderer's option on every start.
constexpr DWORD kRendererOptionOnStart = 1;

// Opens the named camera (by GUID when the name is empty) and brings its graph up; on success
// the camera becomes deviceName/deviceGuid and a client's request for it is acknowledged. TRUE
// when a graph is built.
BOOL StartCapture(const WCHAR* name, GUID guid);

// Rebuilds the graph of the camera in use, in two attempts at most. TRUE when a graph is built.
BOOL RestartCapture();

// Builds and runs the handed-over camera's graph until one is built, in kMaxStartRetryCount + 1
// attempts at most (the count carries over in startRetryCount when a client's camera request
// interrupts it). A processor fault inside is reported as success, the count left as it was.
BOOL RunCaptureWithRetries();

// Releases the graph and the camera; always TRUE.
BOOL StopCapture();
