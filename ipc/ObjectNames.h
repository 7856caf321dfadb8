// Suffixes of an instance's named objects, and the composition of their full names.
#pragma once

#include <windows.h>

#include "common/WideString.h"

inline constexpr WCHAR kSuffixLiveLock[] = L"NVFS_LIVE_MX";
inline constexpr WCHAR kSuffixLiveFlag[] = L"NVFS_LIVE_FLAG_MX";
inline constexpr WCHAR kSuffixLiveWaitEvent[] = L"NVFS_LIVE_WAIT_EV";
inline constexpr WCHAR kSuffixCheckErrLock[] = L"NVFS_CHECKERRLOCK_MX";
inline constexpr WCHAR kSuffixConnectEvent[] = L"NVFS_GRAPHCONNECTERR_EV";
inline constexpr WCHAR kSuffixRunEvent[] = L"NVFS_GRAPHRUNERR_EV";
inline constexpr WCHAR kSuffixDeviceChangeEvent[] = L"NVFS_DEVICE_CHANGE";
inline constexpr WCHAR kSuffixStatusRecord[] = L"NVFS_GRAPHERR_INFO";
inline constexpr WCHAR kRgCenterBaseSuffix[] = L"Lumx_RgCenter";
inline constexpr WCHAR kSuffixRgCenterLock[] = L"slock";
inline constexpr WCHAR kSuffixRgCenterRecord[] = L"smem";

// The longest suffix ("NVFS_GRAPHCONNECTERR_EV") decides the longest instance name the host
// accepts: with the underscore and the terminator, every name fits kNameCapacity.
constexpr size_t kLongestSuffixLength = sizeof(kSuffixConnectEvent) / sizeof(WCHAR) - 1;
constexpr size_t kMaxInstanceNameLength = kNameCapacity - 2 - kLongestSuffixLength;
static_assert(kMaxInstanceNameLength == 235, "instance names of up to 235 characters");

// "%s_%s" into a 260-character buffer. A name that would not fit is refused (FALSE, out = ""):
// nothing is truncated, because a cut name would silently meet another instance's objects.
BOOL ComposeObjectName(WCHAR (&out)[kNameCapacity], const WCHAR* base, const WCHAR* suffix);

// "%s%s" of the instance name and "Lumx_RgCenter": the request channel's base name.
BOOL ComposeRgCenterBase(WCHAR (&out)[kNameCapacity], const WCHAR* instanceName);
