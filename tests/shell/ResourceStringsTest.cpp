// The window title's string file: section by user-interface language, fall-backs, file kinds.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "shell/CResourceStrings.h"
#include "support/TestProcess.h"

namespace {

// A string file beside the test program, removed again at the end.
class StringFile {
 public:
  explicit StringFile(const std::wstring& name, const char* text) : m_path(SiblingPath(name.c_str())) {
    FILE* file = _wfopen(m_path.c_str(), L"wb");
    if (file != nullptr) {
      fputs(text, file);
      fclose(file);
    }
  }
  ~StringFile() { ::DeleteFileW(m_path.c_str()); }

 private:
  std::wstring m_path;
};

}  // namespace

TEST(ResourceStrings, SectionByLanguage) {
  EXPECT_STREQ(L"CHS", CResourceStrings::SectionForLanguage(0x0C04));  // Hong Kong reads simplified
  EXPECT_STREQ(L"CHS", CResourceStrings::SectionForLanguage(0x1404));
  EXPECT_STREQ(L"CHT", CResourceStrings::SectionForLanguage(0x0404));
  EXPECT_STREQ(L"ENG", CResourceStrings::SectionForLanguage(0x0409));
  EXPECT_STREQ(L"RUS", CResourceStrings::SectionForLanguage(0x0419));
  EXPECT_STREQ(L"ENG", CResourceStrings::SectionForLanguage(0x0819));  // Russian, Moldova
  EXPECT_STREQ(L"FRN", CResourceStrings::SectionForLanguage(0x040C));
  EXPECT_STREQ(L"ENG", CResourceStrings::SectionForLanguage(0x1C0C));  // French sublanguage 7
  EXPECT_STREQ(L"Ara", CResourceStrings::SectionForLanguage(0x4001));
  EXPECT_STREQ(L"ENG", CResourceStrings::SectionForLanguage(0x4401));  // Arabic sublanguage 17
  EXPECT_STREQ(L"SPA", CResourceStrings::SectionForLanguage(0x500A));
  EXPECT_STREQ(L"GER", CResourceStrings::SectionForLanguage(0x1407));
  EXPECT_STREQ(L"ENG", CResourceStrings::SectionForLanguage(0x1807));
  EXPECT_STREQ(L"PT", CResourceStrings::SectionForLanguage(0x0816));
  EXPECT_STREQ(L"KOR", CResourceStrings::SectionForLanguage(0x0812));
  EXPECT_STREQ(L"JPN", CResourceStrings::SectionForLanguage(0x0411));
  EXPECT_STREQ(L"ITA", CResourceStrings::SectionForLanguage(0x0810));
}

TEST(ResourceStrings, LooksUpTheUsersSectionThenEnglishThenTheKey) {
  const std::wstring name = UniqueInstanceName(L"strings") + L".ini";
  const char own[] = "[ENG]\r\nFONTIS_TITLE=Camera Host\r\nENG_ONLY=english\r\n";
  StringFile file(name, own);
  auto strings = CResourceStrings::Create(name.c_str());
  ASSERT_NE(nullptr, strings);
  WCHAR text[64];
  ASSERT_EQ(S_OK, strings->GetString(text, 64, L"FONTIS_TITLE", 0));
  EXPECT_STREQ(L"Camera Host", text);
  ASSERT_EQ(S_OK, strings->GetString(text, 64, L"ENG_ONLY", 0));
  EXPECT_STREQ(L"english", text);
  ASSERT_EQ(S_OK, strings->GetString(text, 64, L"MISSING_KEY", 0));
  EXPECT_STREQ(L"MISSING_KEY", text);
  WCHAR small[5];
  ASSERT_EQ(S_OK, strings->GetString(small, 5, L"FONTIS_TITLE", 0));
  EXPECT_STREQ(L"Came", small);
}

TEST(ResourceStrings, MissingFileYieldsTheKey) {
  auto strings = CResourceStrings::Create(L"no-such-file.ini");
  ASSERT_NE(nullptr, strings);
  WCHAR text[64];
  ASSERT_EQ(S_OK, strings->GetString(text, 64, L"FONTIS_TITLE", 0));
  EXPECT_STREQ(L"FONTIS_TITLE", text);
}

TEST(ResourceStrings, FileKindByNameAnywhereInIt) {
  EXPECT_NE(nullptr, CResourceStrings::Create(L"Resource.ini.bak"));
  EXPECT_EQ(nullptr, CResourceStrings::Create(L"Resource.txt"));
  EXPECT_EQ(nullptr, CResourceStrings::Create(L"Resource.INI"));  // case-sensitive
  EXPECT_EQ(nullptr, CResourceStrings::Create(std::wstring(300, L'a').append(L".ini").c_str()));
  auto xml = CResourceStrings::Create(L"Resource.xml");
  ASSERT_NE(nullptr, xml);
  WCHAR text[8] = L"keep";
  EXPECT_EQ(E_FAIL, xml->GetString(text, 8, L"FONTIS_TITLE", 0));
  EXPECT_STREQ(L"keep", text);
}

TEST(ResourceStrings, TheShippedFileTitlesTheWindowInEveryLanguage) {
  const std::wstring path = SiblingPath(L"Resource.ini");
  WCHAR english[64] = {};
  ASSERT_GT(::GetPrivateProfileStringW(L"ENG", L"FONTIS_TITLE", L"", english, 64, path.c_str()), 0u);
  EXPECT_STREQ(L"Fontis Camera Host", english);
  for (const wchar_t* section : {L"Ara", L"CHT", L"CHS", L"GER", L"SPA", L"FRN", L"ITA", L"JPN", L"KOR", L"PT", L"RUS"}) {
    WCHAR title[64] = {};
    EXPECT_GT(::GetPrivateProfileStringW(section, L"FONTIS_TITLE", L"", title, 64, path.c_str()), 0u) << section;
    EXPECT_NE(nullptr, wcsstr(title, L"Fontis")) << section;
    EXPECT_STRNE(english, title) << section << " is not translated";
  }
}
