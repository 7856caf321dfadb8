// fontis_peer's request channel commands: a client that writes arbitrary slots, or that holds
// "slock" until it is killed.
#pragma once

#include <string>

// fill-slots INSTANCE ITEM...: writes under "slock", then exits 0 (2 for a bad ITEM, 3 when the
// channel cannot be opened or locked). The ITEMs, applied in order:
//   count=N                 clientCount
//   placeholder=0|1         placeholderActive
//   SLOT:PID:WANTS:WxH      an RGB24 VIDEOINFOHEADER type of W x H in client slot SLOT (0..8),
//                           or output slot oSLOT; PID "self" is this process
//   SLOT@OFFSET=HEX         raw bytes at a byte offset within client slot SLOT (or oSLOT)
//   rec@OFFSET=HEX          raw bytes at a byte offset within the record
// It sets "<INSTANCE>_peer_ready" once written.
int FillRgCenterSlots(const std::wstring& instance, int count, wchar_t** items);

// hold-slock-forever INSTANCE: takes "slock", sets "<INSTANCE>_peer_ready", sleeps until killed
// (so the lock is abandoned).
int HoldRgCenterLockForever(const std::wstring& instance);
