#include "ExtraVideoDevice.h"

#include <cwchar>

namespace {

// The instances of CLSID_VideoInputDeviceCategory, as the system device enumerator reads them.
constexpr wchar_t kCategoryInstances[] =
    L"Software\\Classes\\CLSID\\{860BB310-5D01-11D0-BD3B-00A0C911CE86}\\Instance\\";

LONG SetText(HKEY key, const wchar_t* name, const wchar_t* value) {
  if (value == nullptr) return ERROR_SUCCESS;
  return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                          static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
}

LONG CreateWithValues(const std::wstring& path, const wchar_t* const (*values)[2], size_t count) {
  HKEY key = nullptr;
  LONG status = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) return status;
  for (size_t i = 0; i < count && status == ERROR_SUCCESS; ++i) status = SetText(key, values[i][0], values[i][1]);
  ::RegCloseKey(key);
  return status;
}

}  // namespace

LONG ExtraVideoDevice::Add(const wchar_t* instanceKey, const wchar_t* friendlyName, const wchar_t* description,
                           const wchar_t* devicePath, const wchar_t* clsidText) {
  m_instanceKey = std::wstring(kCategoryInstances) + instanceKey;
  const wchar_t* const values[][2] = {
      {L"FriendlyName", friendlyName}, {L"Description", description}, {L"DevicePath", devicePath}, {L"CLSID", clsidText}};
  return CreateWithValues(m_instanceKey, values, 4);
}

LONG ExtraVideoDevice::AddClassServer(const wchar_t* clsidText, const wchar_t* serverPath) {
  m_classKey = std::wstring(L"Software\\Classes\\CLSID\\") + clsidText;
  const wchar_t* const values[][2] = {{nullptr, serverPath}};
  return CreateWithValues(m_classKey + L"\\InprocServer32", values, 1);
}

void ExtraVideoDevice::Remove() {
  if (!m_instanceKey.empty()) ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, m_instanceKey.c_str());
  if (!m_classKey.empty()) ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, m_classKey.c_str());
  m_instanceKey.clear();
  m_classKey.clear();
}
