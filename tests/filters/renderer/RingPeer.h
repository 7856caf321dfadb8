// Starting fontis_ring_peer for a test and waiting until it is in the wanted state.
#pragma once

#include <windows.h>

#include <string>

#include "ipc/ScopedHandle.h"
#include "support/TestProcess.h"

// False when the peer ended or stalled before it reported ready.
inline bool StartRingPeer(TestProcess& peer, const std::wstring& instance, const std::wstring& arguments,
                          DWORD timeoutMs = 20000) {
  ScopedHandle ready(::CreateEventW(nullptr, TRUE, FALSE, (instance + L"_ring_peer_ready").c_str()));
  ::ResetEvent(ready.Get());
  if (!peer.Start(L"fontis_ring_peer.exe", arguments)) return false;
  HANDLE waits[2] = {ready.Get(), peer.Handle()};
  return ::WaitForMultipleObjects(2, waits, FALSE, timeoutMs) == WAIT_OBJECT_0;
}
