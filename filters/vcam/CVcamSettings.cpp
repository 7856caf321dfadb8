// Reading, checking and writing the virtual camera's per-user settings.
#include "filters/vcam/CVcamSettings.h"

#include <objbase.h>

#include <cwchar>

#include "common/GuidText.h"
#include "common/ScopedRegKey.h"
#include "filters/vcam/VcamIdentity.h"
#include "ipc/ObjectNames.h"

namespace {

bool SameText(const WCHAR* a, const WCHAR* b) { return wcscmp(a, b) == 0; }

}  // namespace

CVcamSettings::CVcamSettings(const WCHAR* keyPath) {
  BoundedCopy(m_keyPath, keyPath);
  SetDefaults();
}

void CVcamSettings::SetDefaults() {
  BoundedCopy(m_instance, kDefaultInstance);
  m_cameraName[0] = L'\0';
  m_cameraGuid = GUID_NULL;
  for (int i = 0; i < kSettingCount; ++i) {
    m_origin[i] = Origin::kDefault;
    m_problem[i] = "";
  }
}

const WCHAR* CVcamSettings::ValueName(Setting setting) {
  switch (setting) {
    case kInstance: return L"Instance";
    case kCameraName: return L"CameraName";
    case kCameraGuid: return L"CameraGuid";
    default: return L"";
  }
}

bool CVcamSettings::IsUsableInstance(const WCHAR* instance, const char** problem) {
  WCHAR longest[kNameCapacity];
  if (instance == nullptr || instance[0] == L'\0') {
    *problem = "it is empty";
  } else if (wcschr(instance, L'\\') != nullptr) {
    *problem = "it holds a backslash, which kernel object names reserve for namespaces";
  } else if (!ComposeObjectName(longest, instance, kSuffixConnectEvent)) {
    *problem = "it is too long to name the instance's objects";
  } else {
    *problem = "";
    return true;
  }
  return false;
}

bool CVcamSettings::IsUsableCameraName(const WCHAR* name, const char** problem) {
  if (name != nullptr && (SameText(name, kVcamFriendlyName) || SameText(name, kVcamDevicePath) ||
                          SameText(name, kVcamClsidText))) {
    *problem = "it names the virtual camera itself";
    return false;
  }
  *problem = "";
  return true;
}

bool CVcamSettings::ReadString(HKEY key, const WCHAR* name, WCHAR (&out)[kNameCapacity], const char** problem) const {
  *problem = "";
  DWORD type = REG_NONE;
  DWORD bytes = sizeof(out);
  WCHAR buffer[kNameCapacity];
  const LONG error = ::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes);
  if (error == ERROR_FILE_NOT_FOUND) return false;
  if (error == ERROR_MORE_DATA) {
    *problem = "it is longer than 259 characters";
    return false;
  }
  if (error != ERROR_SUCCESS) {
    *problem = "it cannot be read";
    return false;
  }
  if (type != REG_SZ) {
    *problem = "it is not a string (REG_SZ)";
    return false;
  }
  const size_t units = bytes / sizeof(WCHAR);
  if (bytes % sizeof(WCHAR) != 0 || units == 0 || BoundedLength(buffer, units) == units) {
    *problem = "it is not terminated";
    return false;
  }
  BoundedCopy(out, buffer);
  return true;
}

void CVcamSettings::Load() {
  SetDefaults();
  ScopedRegKey key;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, m_keyPath, 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS) return;

  WCHAR text[kNameCapacity];
  const char* problem = "";
  if (ReadString(key.Get(), ValueName(kInstance), text, &problem) && IsUsableInstance(text, &problem)) {
    BoundedCopy(m_instance, text);
    m_origin[kInstance] = Origin::kStored;
  }
  if (problem[0] != '\0') m_origin[kInstance] = Origin::kRejected;
  m_problem[kInstance] = problem;

  if (ReadString(key.Get(), ValueName(kCameraName), text, &problem) && IsUsableCameraName(text, &problem)) {
    BoundedCopy(m_cameraName, text);
    // An empty name is as good as none.
    m_origin[kCameraName] = text[0] != L'\0' ? Origin::kStored : Origin::kDefault;
  }
  if (problem[0] != '\0') m_origin[kCameraName] = Origin::kRejected;
  m_problem[kCameraName] = problem;

  GUID guid = GUID_NULL;
  if (ReadString(key.Get(), ValueName(kCameraGuid), text, &problem)) {
    if (!ParseGuidText(text, &guid)) {
      problem = "it is not a GUID in braces";
    } else if (IsEqualGUID(guid, kVcamClsid)) {
      problem = "it names the virtual camera itself";
    } else {
      m_cameraGuid = guid;
      m_origin[kCameraGuid] = IsEqualGUID(guid, GUID_NULL) ? Origin::kDefault : Origin::kStored;
    }
  }
  if (problem[0] != '\0') m_origin[kCameraGuid] = Origin::kRejected;
  m_problem[kCameraGuid] = problem;
}

HRESULT CVcamSettings::StoreString(Setting setting, const WCHAR* text) {
  ScopedRegKey key;
  LONG error = ::RegCreateKeyExW(HKEY_CURRENT_USER, m_keyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Receive(),
                                 nullptr);
  if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
  error = ::RegSetValueExW(key.Get(), ValueName(setting), 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                           static_cast<DWORD>((wcslen(text) + 1) * sizeof(WCHAR)));
  return HRESULT_FROM_WIN32(error);
}

HRESULT CVcamSettings::StoreInstance(const WCHAR* instance) {
  const char* problem = "";
  if (!IsUsableInstance(instance, &problem)) return E_INVALIDARG;
  return StoreString(kInstance, instance);
}

HRESULT CVcamSettings::StoreCameraName(const WCHAR* name) {
  const char* problem = "";
  if (name == nullptr || BoundedLength(name, kNameCapacity) >= kNameCapacity || !IsUsableCameraName(name, &problem)) {
    return E_INVALIDARG;
  }
  if (name[0] == L'\0') return Remove(kCameraName);
  return StoreString(kCameraName, name);
}

HRESULT CVcamSettings::StoreCameraGuid(const GUID& guid) {
  if (IsEqualGUID(guid, kVcamClsid)) return E_INVALIDARG;
  if (IsEqualGUID(guid, GUID_NULL)) return Remove(kCameraGuid);
  WCHAR text[40];
  if (::StringFromGUID2(guid, text, 40) == 0) return E_UNEXPECTED;
  return StoreString(kCameraGuid, text);
}

HRESULT CVcamSettings::Remove(Setting setting) {
  ScopedRegKey key;
  LONG error = ::RegOpenKeyExW(HKEY_CURRENT_USER, m_keyPath, 0, KEY_SET_VALUE, key.Receive());
  if (error == ERROR_FILE_NOT_FOUND) return S_OK;
  if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
  error = ::RegDeleteValueW(key.Get(), ValueName(setting));
  return error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(error);
}

HRESULT CVcamSettings::Reset() {
  for (int i = 0; i < kSettingCount; ++i) {
    const HRESULT hr = Remove(static_cast<Setting>(i));
    if (FAILED(hr)) return hr;
  }
  // Only an empty key goes: values or keys that are not ours stay.
  DWORD values = 0, subkeys = 0;
  {
    ScopedRegKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, m_keyPath, 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS) return S_OK;
    if (::RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                           nullptr, nullptr) != ERROR_SUCCESS) {
      return S_OK;
    }
  }
  if (values == 0 && subkeys == 0) ::RegDeleteKeyW(HKEY_CURRENT_USER, m_keyPath);
  return S_OK;
}
