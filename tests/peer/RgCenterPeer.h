// fontis_peer's request channel command: a client that holds "slock" until it is killed.
#pragma once

#include <string>

// hold-slock-forever INSTANCE: takes "slock", sets "<INSTANCE>_peer_ready", sleeps until killed
// (so the lock is abandoned).
int HoldRgCenterLockForever(const std::wstring& instance);
