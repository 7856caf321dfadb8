// Create-or-open of the named kernel objects that host and clients share.
//
// Each call first creates (no security attributes, handle not inheritable). When a client
// created the object with a security that refuses this process full access, the create fails
// with ERROR_ACCESS_DENIED and the object is opened with the least rights the protocol needs.
// On success the last error is the create's own, so ERROR_ALREADY_EXISTS tells that the object
// existed; after the access-denied fallback it is set to ERROR_ALREADY_EXISTS too, since the
// object necessarily existed (and a record found that way must never be initialised again).
// A null name makes a plain unnamed object, never an open.
#pragma once

#include <windows.h>

constexpr DWORD kMutexOpenRights = SYNCHRONIZE | MUTEX_MODIFY_STATE;   // 0x00100001
constexpr DWORD kEventOpenRights = SYNCHRONIZE | EVENT_MODIFY_STATE;   // 0x00100002
constexpr DWORD kMappingOpenRights = FILE_MAP_WRITE;                    // 2

HANDLE CreateOrOpenMutex(BOOL initialOwner, const WCHAR* name);
HANDLE CreateOrOpenEvent(BOOL manualReset, BOOL initialState, const WCHAR* name);
HANDLE CreateOrOpenFileMapping(HANDLE file, DWORD protection, DWORD sizeHigh, DWORD sizeLow, const WCHAR* name);
