// The host's start-up arguments and the camera-request take-over rule.
#include <gtest/gtest.h>

#include <string>

#include "ipc/HostLauncher.h"
#include "shell/ApplicationState.h"
#include "shell/CameraRequest.h"

namespace {

const GUID kCamera = {0x0B1C2D3E, 0x4F50, 0x6172, {0x83, 0x94, 0xA5, 0xB6, 0xC7, 0xD8, 0xE9, 0xF0}};
const wchar_t kCameraText[] = L"{0B1C2D3E-4F50-6172-8394-A5B6C7D8E9F0}";

std::wstring Line(const std::wstring& instance, const std::wstring& camera, const std::wstring& guid,
                  const std::wstring& show) {
  return L"C:\\host\\FontisHost.exe \"" + instance + L"\" \"" + camera + L"\" \"" + guid + L"\" \"" + show +
         L"\" \"1234567890123\"";
}

}  // namespace

TEST(CommandLine, AcceptsTheClientsLine) {
  ApplicationState state;
  ASSERT_TRUE(ParseCommandLineText(Line(L"cam0", L"USB Camera", kCameraText, L"FALSE").c_str(), state));
  EXPECT_STREQ(L"cam0", state.instanceName);
  EXPECT_STREQ(L"USB Camera", state.deviceName);
  EXPECT_TRUE(IsEqualGUID(kCamera, state.deviceGuid));
  EXPECT_FALSE(state.showWindow);
}

TEST(CommandLine, ReadsWhatALauncherWritesForAHostUnderAPathWithBlanks) {
  const HostLaunchRequest request = {L"C:\\Program Files\\Fontis\\FontisHost.exe", L"cam0", L"USB Camera", kCameraText,
                                     FALSE};
  WCHAR line[1024];
  ASSERT_TRUE(FormatHostCommandLine(request, line, 1024));
  ApplicationState state;
  ASSERT_TRUE(ParseCommandLineText(line, state));
  EXPECT_STREQ(L"cam0", state.instanceName);
  EXPECT_STREQ(L"USB Camera", state.deviceName);
  EXPECT_TRUE(IsEqualGUID(kCamera, state.deviceGuid));
  EXPECT_FALSE(state.showWindow);
}

TEST(CommandLine, RefusesMissingArgumentsAndEmptyInstanceLeavingResetFields) {
  ApplicationState state;
  ASSERT_TRUE(ParseCommandLineText(Line(L"cam0", L"USB Camera", kCameraText, L"FALSE").c_str(), state));
  EXPECT_FALSE(ParseCommandLineText(L"FontisHost.exe \"cam0\" \"USB Camera\" \"{x}\" \"FALSE\"", state));
  EXPECT_STREQ(L"", state.instanceName);
  EXPECT_STREQ(L"", state.deviceName);
  EXPECT_TRUE(IsEqualGUID(GUID_NULL, state.deviceGuid));
  EXPECT_TRUE(state.showWindow);

  EXPECT_FALSE(ParseCommandLineText(Line(L"", L"USB Camera", kCameraText, L"TRUE").c_str(), state));
  EXPECT_FALSE(ParseCommandLineText(L"", state));
  EXPECT_FALSE(ParseCommandLineText(nullptr, state));
  // Entries beyond the sixth are ignored.
  EXPECT_TRUE(ParseCommandLineText((Line(L"i", L"c", kCameraText, L"TRUE") + L" extra more").c_str(), state));
}

TEST(CommandLine, OnlyExactFalseHidesTheWindow) {
  ApplicationState state;
  for (const wchar_t* shown : {L"TRUE", L"false", L"True", L"FALSE ", L""}) {
    ASSERT_TRUE(ParseCommandLineText(Line(L"i", L"c", kCameraText, shown).c_str(), state));
    EXPECT_TRUE(state.showWindow) << shown;
  }
  ASSERT_TRUE(ParseCommandLineText(Line(L"i", L"c", kCameraText, L"FALSE").c_str(), state));
  EXPECT_FALSE(state.showWindow);
}

TEST(CommandLine, CameraNameAndGuidEdgeCases) {
  ApplicationState state;
  ASSERT_TRUE(ParseCommandLineText(Line(L"i", L" ", L"not a guid", L"TRUE").c_str(), state));
  EXPECT_STREQ(L" ", state.deviceName);  // a blank is a one-character name
  EXPECT_TRUE(IsEqualGUID(GUID_NULL, state.deviceGuid));
  ASSERT_TRUE(ParseCommandLineText(Line(L"i", L"c", L"{0B1C2D3E-4F50-6172-8394-A5B6C7D8E9F}", L"TRUE").c_str(), state));
  EXPECT_TRUE(IsEqualGUID(GUID_NULL, state.deviceGuid));
}

TEST(CommandLine, LongArgumentsAreCutTo259Characters) {
  ApplicationState state;
  const std::wstring longInstance(300, L'i');
  const std::wstring longCamera = std::wstring(258, L'c') + L"XYZ";
  ASSERT_TRUE(ParseCommandLineText(Line(longInstance, longCamera, kCameraText, L"TRUE").c_str(), state));
  EXPECT_EQ(std::wstring(259, L'i'), state.instanceName);
  EXPECT_EQ(std::wstring(258, L'c') + L"X", state.deviceName);
}

TEST(CameraRequest, TakenOverOnlyWhenItNamesAnotherCamera) {
  const GUID other = {0x1, 0x2, 0x3, {4, 5, 6, 7, 8, 9, 10, 11}};
  EXPECT_FALSE(IsOtherCamera(L"Cam", GUID_NULL, L"Cam", kCamera));
  EXPECT_FALSE(IsOtherCamera(L"Cam", kCamera, L"Cam", kCamera));
  EXPECT_TRUE(IsOtherCamera(L"Cam", other, L"Cam", kCamera));
  EXPECT_TRUE(IsOtherCamera(L"cam", GUID_NULL, L"Cam", kCamera));  // names compare exactly
  EXPECT_TRUE(IsOtherCamera(L"", GUID_NULL, L"Cam", kCamera));     // even an empty name
}
