// The rules by which a registered camera answers to the name text the host was started with.
// COM-free and stateless: callable from any thread.
#pragma once

#include <windows.h>

#include <cstddef>

// A name text holding this token names a CLSID directly instead of a device.
inline constexpr WCHAR kDevGuidIdToken[] = L"#devguidid#";
constexpr size_t kDevGuidIdTokenLength = 11;
// The module that serves cameras through the kernel-streaming proxy.
inline constexpr WCHAR kKsProxyModule[] = L"ksproxy.ax";

// What a camera's property bag said; a null field could not be read.
struct DeviceIdentity {
  const WCHAR* displayName;  // "Description", or "FriendlyName" when there is no description
  const WCHAR* devicePath;
  const WCHAR* clsidText;
};

// Whole-string, case-sensitive comparison of UTF-16 units; a null text equals nothing.
bool SameDeviceText(const WCHAR* value, const WCHAR* name);

bool HasDevGuidIdToken(const WCHAR* name);
// The CLSID part of a "#devguidid#" name: the text after its first 11 units, wherever the token
// stands (a token placed later therefore yields a text that is not a CLSID). Bounded to
// capacity - 1 units and terminated.
void DevGuidIdClsidText(const WCHAR* name, WCHAR* out, size_t capacity);

// A device matches a name by its display name or its path; the CLSID is compared separately
// (and only then read) by the callers that accept it.
bool MatchesDisplayNameOrPath(const DeviceIdentity& device, const WCHAR* name);
bool MatchesDeviceName(const DeviceIdentity& device, const WCHAR* name);

// TRUE when an InprocServer32 value names the proxy module (case-sensitive substring).
bool NamesKsProxyModule(const WCHAR* serverPath);
