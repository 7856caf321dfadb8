#include "ExtraVideoDevice.h"

#include <cwchar>
#include <initializer_list>
#include <utility>

namespace {

constexpr wchar_t kClasses[] = L"Software\\Classes\\CLSID\\";
// The instances of CLSID_VideoInputDeviceCategory, as the system device enumerator reads them.
constexpr wchar_t kCategoryInstances[] = L"{860BB310-5D01-11D0-BD3B-00A0C911CE86}\\Instance\\";

// Creates the key under HKLM and writes the values that are not null.
LONG WriteKey(const std::wstring& path, std::initializer_list<std::pair<const wchar_t*, const wchar_t*>> values) {
  HKEY key = nullptr;
  LONG status = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) return status;
  for (const auto& value : values) {
    if (value.second == nullptr || status != ERROR_SUCCESS) continue;
    status = ::RegSetValueExW(key, value.first, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.second),
                              static_cast<DWORD>((wcslen(value.second) + 1) * sizeof(wchar_t)));
  }
  ::RegCloseKey(key);
  return status;
}

}  // namespace

LONG ExtraVideoDevice::Add(const wchar_t* instanceKey, const wchar_t* friendlyName, const wchar_t* description,
                           const wchar_t* devicePath, const wchar_t* clsidText) {
  m_instanceKey = std::wstring(kClasses) + kCategoryInstances + instanceKey;
  return WriteKey(m_instanceKey, {{L"FriendlyName", friendlyName}, {L"Description", description},
                                  {L"DevicePath", devicePath}, {L"CLSID", clsidText}});
}

LONG ExtraVideoDevice::AddClassServer(const wchar_t* clsidText, const wchar_t* serverPath) {
  m_classKey = std::wstring(kClasses) + clsidText;
  return WriteKey(m_classKey + L"\\InprocServer32", {{nullptr, serverPath}});
}

void ExtraVideoDevice::Remove() {
  if (!m_instanceKey.empty()) ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, m_instanceKey.c_str());
  if (!m_classKey.empty()) ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, m_classKey.c_str());
  m_instanceKey.clear();
  m_classKey.clear();
}
