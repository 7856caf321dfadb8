// fontisctl vcam as a user runs it: it stores what it is given, refuses what the virtual camera
// would ignore, says when a stored value is ignored, and --reset brings the defaults back.
#include <gtest/gtest.h>

#include "common/ScopedRegKey.h"
#include "support/FontisctlRun.h"

namespace {

const wchar_t kSettingsKey[] = L"Software\\Fontis\\VirtualCamera";

CtlRun Vcam(const std::wstring& arguments) { return RunFontisctl(L"vcam " + arguments); }

bool Has(const CtlRun& run, const char* text) { return run.output.find(text) != std::string::npos; }

}  // namespace

TEST(FontisctlVcam, StoresRefusesReportsIgnoredValuesAndResets) {
  CtlRun run = Vcam(L"--reset --instance Studio --camera \"USB Camera\" --guid {6bdd1fc6-810f-11d0-bec7-08002be2092f}");
  EXPECT_EQ(0u, run.code) << run.output;
  EXPECT_TRUE(Has(run, "instance             \"Studio\"  (set)")) << run.output;
  EXPECT_TRUE(Has(run, "camera name          \"USB Camera\"  (set)")) << run.output;
  EXPECT_TRUE(Has(run, "camera GUID          {6BDD1FC6-810F-11D0-BEC7-08002BE2092F}  (set)")) << run.output;
  EXPECT_TRUE(Has(run, "a new host opens     \"USB Camera\"")) << run.output;

  for (const wchar_t* refused : {L"--guid {B00741E9-C763-40BC-8EE1-EFCF1BC99824}", L"--camera \"Fontis Virtual Camera\"",
                                 L"--instance a\\b", L"--guid 42", L"--instance"}) {
    run = Vcam(refused);
    EXPECT_EQ(2u, run.code) << testing::PrintToString(std::wstring(refused)) << run.output;
  }

  // A value somebody else wrote that the virtual camera cannot use is shown as ignored.
  {
    ScopedRegKey key;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_SET_VALUE, key.Receive()));
    const DWORD number = 7;
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(key.Get(), L"Instance", 0, REG_DWORD,
                                              reinterpret_cast<const BYTE*>(&number), sizeof(number)));
  }
  run = Vcam(L"--camera \"\"");
  EXPECT_EQ(0u, run.code) << run.output;
  EXPECT_TRUE(Has(run, "instance             \"FontisVirtualCamera\"  (default: the stored value is ignored, it is "
                       "not a string (REG_SZ))"))
      << run.output;
  EXPECT_TRUE(Has(run, "camera name          (none)  (default)")) << run.output;

  run = Vcam(L"--reset");
  EXPECT_EQ(0u, run.code) << run.output;
  EXPECT_TRUE(Has(run, "instance             \"FontisVirtualCamera\"  (default)")) << run.output;
  EXPECT_TRUE(Has(run, "camera GUID          (none)  (default)")) << run.output;
  ScopedRegKey gone;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, ::RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, gone.Receive()));
}
