#include "DeviceMatching.h"

#include <cwchar>

#include "common/WideString.h"

bool SameDeviceText(const WCHAR* value, const WCHAR* name) {
  if (value == nullptr || name == nullptr) return false;
  return wcscmp(value, name) == 0;
}

bool HasDevGuidIdToken(const WCHAR* name) { return name != nullptr && wcsstr(name, kDevGuidIdToken) != nullptr; }

void DevGuidIdClsidText(const WCHAR* name, WCHAR* out, size_t capacity) {
  if (out == nullptr || capacity == 0) return;
  // The token is contained, so the text is at least as long as the part skipped.
  const bool longEnough = name != nullptr && BoundedLength(name, kDevGuidIdTokenLength) == kDevGuidIdTokenLength;
  BoundedCopy(out, capacity, longEnough ? name + kDevGuidIdTokenLength : nullptr);
}

bool MatchesDisplayNameOrPath(const DeviceIdentity& device, const WCHAR* name) {
  return SameDeviceText(device.displayName, name) || SameDeviceText(device.devicePath, name);
}

bool MatchesDeviceName(const DeviceIdentity& device, const WCHAR* name) {
  return MatchesDisplayNameOrPath(device, name) || SameDeviceText(device.clsidText, name);
}

bool NamesKsProxyModule(const WCHAR* serverPath) {
  return serverPath != nullptr && wcsstr(serverPath, kKsProxyModule) != nullptr;
}
