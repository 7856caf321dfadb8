#include "CResourceStrings.h"

#include <objbase.h>

#include <cstring>
#include <cwchar>

namespace {

// Any static of the program: its address tells which module holds our code.
const int kModuleAnchor = 0;

bool IsOneOf(LANGID language, WORD primary, unsigned firstSub, unsigned lastSub) {
  const unsigned sub = SUBLANGID(language);
  return PRIMARYLANGID(language) == primary && sub >= firstSub && sub <= lastSub;
}

}  // namespace

std::unique_ptr<CResourceStrings> CResourceStrings::Create(const WCHAR* fileName) {
  auto strings = std::make_unique<CResourceStrings>();
  if (FAILED(strings->Open(fileName))) return nullptr;
  return strings;
}

CResourceStrings::CResourceStrings() : m_path{}, m_kind(kNotOpened), m_comInit(::CoInitialize(nullptr)) {}

CResourceStrings::~CResourceStrings() {
  if (SUCCEEDED(m_comInit)) ::CoUninitialize();
}

HRESULT CResourceStrings::Open(const WCHAR* fileName) {
  if (fileName == nullptr) return E_FAIL;
  if (wcsstr(fileName, L".ini") != nullptr) {
    m_kind = kIniFile;
  } else if (wcsstr(fileName, L".xml") != nullptr) {
    m_kind = kXmlFile;
  } else {
    return E_FAIL;
  }

  HMODULE module = nullptr;
  if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&kModuleAnchor), &module)) {
    return E_FAIL;
  }
  WCHAR directory[kNameCapacity] = {};
  const DWORD length = ::GetModuleFileNameW(module, directory, kNameCapacity);
  if (length == 0 || length >= kNameCapacity) return E_FAIL;
  size_t end = length;
  while (end > 0 && directory[end - 1] != L'\\' && directory[end - 1] != L'/') --end;
  directory[end > 0 ? end - 1 : 0] = L'\0';

  // A path that would not fit is refused rather than cut: a cut path names another file.
  const size_t dirLength = wcslen(directory);
  const size_t nameLength = wcslen(fileName);
  if (dirLength + 1 + nameLength >= kNameCapacity) return E_FAIL;
  memcpy(m_path, directory, dirLength * sizeof(WCHAR));
  m_path[dirLength] = L'\\';
  memcpy(m_path + dirLength + 1, fileName, (nameLength + 1) * sizeof(WCHAR));
  return S_OK;
}

const WCHAR* CResourceStrings::SectionForLanguage(LANGID language) {
  if (IsOneOf(language, LANG_ARABIC, 1, 16)) return L"Ara";
  if (language == 0x0404) return L"CHT";
  if (language == 0x0804 || language == 0x0C04 || language == 0x1004 || language == 0x1404) return L"CHS";
  if (IsOneOf(language, LANG_GERMAN, 1, 5)) return L"GER";
  if (IsOneOf(language, LANG_SPANISH, 1, 20)) return L"SPA";
  if (IsOneOf(language, LANG_FRENCH, 1, 6)) return L"FRN";
  if (language == 0x0410 || language == 0x0810) return L"ITA";
  if (language == 0x0411) return L"JPN";
  if (language == 0x0412 || language == 0x0812) return L"KOR";
  if (language == 0x0416 || language == 0x0816) return L"PT";
  if (language == 0x0419) return L"RUS";
  return L"ENG";
}

HRESULT CResourceStrings::GetString(WCHAR* buffer, DWORD capacity, const WCHAR* key, DWORD /*reserved*/) {
  switch (m_kind) {
    case kIniFile:
      return GetIniString(buffer, capacity, key);
    case kXmlFile:
      return E_FAIL;  // XML string files are accepted but hold no strings for us
    default:
      return E_FAIL;
  }
}

HRESULT CResourceStrings::GetIniString(WCHAR* buffer, DWORD capacity, const WCHAR* key) {
  if (buffer == nullptr || capacity == 0 || key == nullptr) return E_FAIL;
  const WCHAR* section = SectionForLanguage(::GetUserDefaultUILanguage());
  if (::GetPrivateProfileStringW(section, key, L"", buffer, capacity, m_path) > 0) return S_OK;
  if (::GetPrivateProfileStringW(L"ENG", key, key, buffer, capacity, m_path) > 0) return S_OK;
  return E_FAIL;
}
