// The virtual camera's rules without a graph: the placeholder each look at the instance gives,
// and its settings read from registry values anyone may have written.
#include <gtest/gtest.h>

#include <string>

#include "common/GuidText.h"
#include "common/ScopedRegKey.h"
#include "filters/vcam/CVcamSettings.h"
#include "filters/vcam/PlaceholderReason.h"
#include "filters/vcam/VcamIdentity.h"
#include "ipc/ObjectNames.h"
#include "support/TestProcess.h"

namespace {

HostView Host(int32_t state, int32_t condition, uint32_t pending, int32_t result, uint32_t deviceChange) {
  HostView view;
  view.hostPresent = true;
  view.statusReadable = true;
  view.status.state = state;
  view.status.hostCondition = condition;
  view.status.pending = pending;
  view.status.result = result;
  view.status.deviceChangePending = deviceChange;
  return view;
}

// A settings key of the test's own under HKCU, removed at the end.
struct ScratchSettingsKey {
  ScratchSettingsKey() {
    ::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Receive(), nullptr);
  }
  ~ScratchSettingsKey() { ::RegDeleteKeyW(HKEY_CURRENT_USER, path.c_str()); }
  // Raw bytes of any type, as a stranger may write them.
  void Write(const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(key.Get(), name, 0, type, static_cast<const BYTE*>(data), bytes));
  }
  void WriteText(const wchar_t* name, const std::wstring& text) {
    Write(name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }

  const std::wstring path = L"Software\\Fontis\\" + UniqueInstanceName(L"settings");
  ScopedRegKey key;
};

}  // namespace

TEST(VcamPlaceholder, EachLookAtTheInstanceGivesItsReason) {
  using R = PlaceholderReason;
  using L = HostLaunchState;
  const HostView none{}, noRecord{true, false, {}};
  const struct {
    const char* what;
    HostView view;
    L launch;
    R reason;
    bool sawFrames = true;
  } cases[] = {
      {"no host yet", none, L::kUnknown, R::kStarting},
      {"no device to ask for", none, L::kNoCamera, R::kNoCamera},
      {"no host program", none, L::kStartFailed, R::kHostMissing},
      {"the host ended without a camera", none, L::kCameraFailed, R::kCameraUnavailable},
      {"a host present, no record yet", noRecord, L::kNoCamera, R::kStarting},
      {"a camera asked for", Host(kOpRunGraph, 3, 0, S_OK, 1), L::kServing, R::kSwitching},
      {"the starting client's own camera request", Host(kOpRestartCapture, 3, 1, S_OK, 1), L::kServing,
       R::kStarting, false},
      {"session locked", Host(kOpRunGraph, 0, 0, S_OK, 0), L::kServing, R::kSessionLocked},
      {"console disconnected", Host(kOpReleaseGraph, 1, 0, S_OK, 0), L::kServing, R::kPaused},
      {"the camera was not found", Host(kOpRestartCapture, 3, 0, E_UNEXPECTED, 0), L::kServing,
       R::kCameraUnavailable},
      {"the camera is being opened", Host(kOpRestartCapture, 3, 1, S_OK, 0), L::kServing, R::kStarting},
      {"a stranger's condition value", Host(kOpRunGraph, -77, 0, S_OK, 0), L::kServing, R::kStarting},
  };
  for (const auto& c : cases) EXPECT_EQ(c.reason, ChoosePlaceholder(c.view, c.launch, c.sawFrames)) << c.what;
}

TEST(VcamSettings, StoredValuesAreUsedAndBadOnesFallBackToTheDefaults) {
  ScratchSettingsKey key;
  CVcamSettings settings(key.path.c_str());
  settings.Load();
  EXPECT_EQ(CVcamSettings::Origin::kDefault, settings.OriginOf(CVcamSettings::kInstance));

  // The longest instance name the host accepts, a camera name and a GUID in lower case.
  const std::wstring longest(kMaxInstanceNameLength, L'n'), tooLong(kMaxInstanceNameLength + 1, L'n');
  const auto writeGood = [&] {
    key.WriteText(L"Instance", longest);
    key.WriteText(L"CameraName", L"USB Camera");
    key.WriteText(L"CameraGuid", L"{6bdd1fc6-810f-11d0-bec7-08002be2092f}");
  };
  writeGood();
  settings.Load();
  EXPECT_EQ(longest, settings.Instance());
  EXPECT_STREQ(L"USB Camera", settings.CameraName());
  GUID expected = GUID_NULL;
  ASSERT_TRUE(ParseGuidText(L"{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}", &expected));
  EXPECT_TRUE(IsEqualGUID(expected, settings.CameraGuid()));
  for (int s = 0; s < CVcamSettings::kSettingCount; ++s) {
    EXPECT_EQ(CVcamSettings::Origin::kStored, settings.OriginOf(static_cast<CVcamSettings::Setting>(s))) << s;
  }

  // Four characters and no terminator; the fifth is not one either (Wine adds a terminator that
  // follows the data).
  const wchar_t unterminated[] = L"abcdX";
  const DWORD number = 7;
  using S = CVcamSettings;
  const struct {
    const char* what;
    const wchar_t* value;
    DWORD type;
    const void* data;
    DWORD bytes;
    S::Setting setting;
  } bad[] = {
      {"a number", L"Instance", REG_DWORD, &number, sizeof(number), S::kInstance},
      {"one character too many", L"Instance", REG_SZ, tooLong.c_str(), static_cast<DWORD>((tooLong.size() + 1) * 2),
       S::kInstance},
      {"no terminator", L"Instance", REG_SZ, unterminated, 8, S::kInstance},
      {"a backslash", L"Instance", REG_SZ, L"Global\\X", 18, S::kInstance},
      {"the virtual camera itself", L"CameraName", REG_SZ, kVcamFriendlyName, sizeof(kVcamFriendlyName),
       S::kCameraName},
      {"not a GUID", L"CameraGuid", REG_SZ, L"{6BDD1FC6-810F-11D0-BEC7-08002BE2092}", 76, S::kCameraGuid},
      {"the virtual camera's class", L"CameraGuid", REG_SZ, kVcamClsidText, sizeof(kVcamClsidText), S::kCameraGuid},
  };
  for (const auto& b : bad) {
    writeGood();
    key.Write(b.value, b.type, b.data, b.bytes);
    settings.Load();
    EXPECT_EQ(S::Origin::kRejected, settings.OriginOf(b.setting)) << b.what;
    EXPECT_STRNE("", settings.Problem(b.setting)) << b.what;
    switch (b.setting) {
      case S::kInstance: EXPECT_STREQ(L"FontisVirtualCamera", settings.Instance()) << b.what; break;
      case S::kCameraName: EXPECT_STREQ(L"", settings.CameraName()) << b.what; break;
      default: EXPECT_TRUE(IsEqualGUID(GUID_NULL, settings.CameraGuid())) << b.what; break;
    }
  }
}
