// The host's rules that need no other process: its arguments, the camera-request take-over, the
// window title's string file, and the retry procedure's fault guard.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>

#include "graphctl/CFontisGraphMng.h"
#include "ipc/HostLauncher.h"
#include "shell/ApplicationState.h"
#include "shell/CResourceStrings.h"
#include "shell/CameraRequest.h"
#include "shell/CaptureControl.h"
#include "support/TestProcess.h"

namespace {

const GUID kCamera = {0x0B1C2D3E, 0x4F50, 0x6172, {0x83, 0x94, 0xA5, 0xB6, 0xC7, 0xD8, 0xE9, 0xF0}};
const wchar_t kCameraText[] = L"{0B1C2D3E-4F50-6172-8394-A5B6C7D8E9F0}";

std::wstring Line(const std::wstring& instance, const std::wstring& camera, const std::wstring& guid = kCameraText,
                  const std::wstring& show = L"TRUE") {
  return L"C:\\host\\FontisHost.exe \"" + instance + L"\" \"" + camera + L"\" \"" + guid + L"\" \"" + show +
         L"\" \"1234567890123\"";
}

}  // namespace

TEST(CommandLine, ReadsTheFieldsCutsThemTo259AndHidesTheWindowOnlyForAnExactFalse) {
  // Names with quotes and backslashes (a camera's name is anybody's text) cannot shift the fields.
  WCHAR quoted[1024];
  const HostLaunchRequest quotes = {L"C:\\Fontis\\FontisHost.exe", L"in\"st\\", L"Cam \"A\" \\\" X \\", kCameraText, FALSE};
  ASSERT_TRUE(FormatHostCommandLine(quotes, quoted, 1024));
  EXPECT_FALSE(FormatHostCommandLine(quotes, quoted, wcslen(quoted)));  // one character short
  const struct {
    std::wstring line;
    const wchar_t* instance;
    std::wstring camera;
    GUID guid;
    bool shown;
  } cases[] = {
      {Line(L"cam0", L"USB Camera", kCameraText, L"FALSE"), L"cam0", L"USB Camera", kCamera, false},
      {quoted, L"in\"st\\", L"Cam \"A\" \\\" X \\", kCamera, false},
      {Line(L"i", L"c") + L" extra more", L"i", L"c", kCamera, true},  // entries beyond the sixth
      {Line(L"i", L" ", L"not a guid"), L"i", L" ", GUID_NULL, true},  // a blank is a one-character name
      {Line(L"i", L"c", L"{0B1C2D3E-4F50-6172-8394-A5B6C7D8E9F}"), L"i", L"c", GUID_NULL, true},
      {Line(std::wstring(300, L'i'), std::wstring(258, L'c') + L"XYZ"), nullptr, std::wstring(258, L'c') + L"X",
       kCamera, true},
      {Line(L"i", L"c", kCameraText, L"false"), L"i", L"c", kCamera, true},
  };
  for (const auto& c : cases) {
    ApplicationState state;
    ASSERT_TRUE(ParseCommandLineText(c.line.c_str(), state)) << c.line;
    EXPECT_EQ(c.instance != nullptr ? std::wstring(c.instance) : std::wstring(259, L'i'), state.instanceName) << c.line;
    EXPECT_EQ(c.camera, state.deviceName) << c.line;
    EXPECT_TRUE(IsEqualGUID(c.guid, state.deviceGuid)) << c.line;
    EXPECT_EQ(c.shown, !!state.showWindow) << c.line;
  }
}

TEST(CommandLine, RefusesFewerThanSixEntriesAndAnEmptyInstance) {
  ApplicationState state;
  EXPECT_FALSE(ParseCommandLineText(Line(L"", L"USB Camera").c_str(), state));
  // The fields of an earlier parse do not survive a refused line.
  for (const wchar_t* line : {L"FontisHost.exe \"cam0\" \"USB Camera\" \"{x}\" \"FALSE\"", L"",
                              static_cast<const wchar_t*>(nullptr)}) {
    ASSERT_TRUE(ParseCommandLineText(Line(L"cam0", L"USB Camera", kCameraText, L"FALSE").c_str(), state));
    EXPECT_FALSE(ParseCommandLineText(line, state));
    EXPECT_STREQ(L"", state.instanceName);
    EXPECT_STREQ(L"", state.deviceName);
    EXPECT_TRUE(IsEqualGUID(GUID_NULL, state.deviceGuid));
    EXPECT_TRUE(state.showWindow);
  }
}

TEST(CameraRequest, TakenOverOnlyWhenItNamesAnotherCamera) {
  const GUID other = {0x1, 0x2, 0x3, {4, 5, 6, 7, 8, 9, 10, 11}};
  EXPECT_FALSE(IsOtherCamera(L"Cam", GUID_NULL, L"Cam", kCamera));
  EXPECT_FALSE(IsOtherCamera(L"Cam", kCamera, L"Cam", kCamera));
  EXPECT_TRUE(IsOtherCamera(L"Cam", other, L"Cam", kCamera));
  EXPECT_TRUE(IsOtherCamera(L"cam", GUID_NULL, L"Cam", kCamera));  // names compare exactly
  EXPECT_TRUE(IsOtherCamera(L"", GUID_NULL, L"Cam", kCamera));     // even an empty name
}

TEST(ResourceStrings, SectionByLanguageWithinEachLanguagesKnownSublanguages) {
  const struct {
    LANGID language;
    const wchar_t* section;
  } cases[] = {
      {0x0404, L"CHT"}, {0x1407, L"GER"}, {0x1807, L"ENG"},  // Taiwan; German sublanguage 5, and 6
  };
  for (const auto& c : cases) EXPECT_STREQ(c.section, CResourceStrings::SectionForLanguage(c.language)) << c.language;
}

TEST(ResourceStrings, LooksUpTheUsersSectionThenEnglishThenTheKeyInAnIniFileOnly) {
  const std::wstring name = UniqueInstanceName(L"strings") + L".ini", path = SiblingPath(name.c_str());
  std::ofstream(path.c_str(), std::ios::binary) << "[ENG]\r\nFONTIS_TITLE=Camera Host\r\n";
  const std::unique_ptr<const WCHAR, BOOL(WINAPI*)(LPCWSTR)> removed(path.c_str(), ::DeleteFileW);
  auto strings = CResourceStrings::Create(name.c_str());
  ASSERT_NE(nullptr, strings);
  WCHAR text[64], small[5];
  ASSERT_EQ(S_OK, strings->GetString(text, 64, L"FONTIS_TITLE", 0));
  EXPECT_STREQ(L"Camera Host", text);
  ASSERT_EQ(S_OK, strings->GetString(small, 5, L"FONTIS_TITLE", 0));
  EXPECT_STREQ(L"Came", small);
  ASSERT_EQ(S_OK, strings->GetString(text, 64, L"MISSING_KEY", 0));
  EXPECT_STREQ(L"MISSING_KEY", text);
  strings = CResourceStrings::Create(L"no-such-file.ini");
  ASSERT_NE(nullptr, strings);
  ASSERT_EQ(S_OK, strings->GetString(text, 64, L"FONTIS_TITLE", 0));
  EXPECT_STREQ(L"FONTIS_TITLE", text);

  // The kind is told by ".ini" or ".xml" anywhere in the name, case-sensitively.
  EXPECT_NE(nullptr, CResourceStrings::Create(L"Resource.ini.bak"));
  EXPECT_EQ(nullptr, CResourceStrings::Create(L"Resource.INI"));
}

TEST(CaptureRetry, AFaultInsideIsReportedAsSuccessAndKeepsTheCount) {
  // A graph-control object whose every access faults: the first call of the procedure touches it.
  void* page = ::VirtualAlloc(nullptr, 65536, MEM_COMMIT | MEM_RESERVE, PAGE_NOACCESS);
  ASSERT_NE(nullptr, page);
  g_appState.graphMng.reset(static_cast<CFontisGraphMng*>(page));
  g_appState.startRetryCount = 5;
  EXPECT_TRUE(RunCaptureWithRetries());
  EXPECT_EQ(5, g_appState.startRetryCount);
  (void)g_appState.graphMng.release();
  ::VirtualFree(page, 0, MEM_RELEASE);
  g_appState.startRetryCount = 0;
}
