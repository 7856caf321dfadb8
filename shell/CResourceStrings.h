// The host's user-visible texts, read from a string file next to the program, one section per
// user-interface language, with English and then the key itself as fall-backs.
// Created and used on the main thread.
#pragma once

#include <windows.h>

#include <memory>

#include "common/WideString.h"

class CResourceStrings {
 public:
  enum Kind : DWORD { kNotOpened = 0, kIniFile = 1, kXmlFile = 2 };

  static std::unique_ptr<CResourceStrings> Create(const WCHAR* fileName);

  CResourceStrings();
  ~CResourceStrings();
  CResourceStrings(const CResourceStrings&) = delete;
  CResourceStrings& operator=(const CResourceStrings&) = delete;

  HRESULT Open(const WCHAR* fileName);
  HRESULT GetString(WCHAR* buffer, DWORD capacity, const WCHAR* key, DWORD reserved);

  // The section that a user-interface language identifier selects.
  static const WCHAR* SectionForLanguage(LANGID language);

  const WCHAR* Path() const { return m_path; }

 private:
  HRESULT GetIniString(WCHAR* buffer, DWORD capacity, const WCHAR* key);

  WCHAR m_path[kNameCapacity];
  DWORD m_kind;
  HRESULT m_comInit;
};
