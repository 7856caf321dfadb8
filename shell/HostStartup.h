// The host's start-up order, from the command line to the message loop.
// Runs on the main thread only.
#pragma once

#include <windows.h>

constexpr int kExitStatusChannelFailed = static_cast<int>(0x8000FFFF);

// Takes over a camera request that a client left in the status record when it names another
// camera than the one in use: another name (exact), or a GUID that is neither null nor ours.
BOOL IsOtherCamera(const WCHAR* requestedName, const GUID& requestedGuid, const WCHAR* currentName,
                   const GUID& currentGuid);

// The whole life of the host process; returns its exit code.
int RunHost(HINSTANCE instance);
