// The virtual camera's rules without a graph: which placeholder a look at the instance gives,
// and its per-user settings read from registry values that anyone may have written (wrong type,
// too long, not terminated, naming the virtual camera itself), always falling back cleanly.
#include <gtest/gtest.h>

#include <string>

#include "common/GuidText.h"
#include "common/ScopedRegKey.h"
#include "filters/vcam/CVcamSettings.h"
#include "filters/vcam/PlaceholderReason.h"
#include "filters/vcam/VcamIdentity.h"
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
class ScratchSettingsKey {
 public:
  ScratchSettingsKey() : m_path(L"Software\\Fontis\\" + UniqueInstanceName(L"settings")) {
    ::RegCreateKeyExW(HKEY_CURRENT_USER, m_path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, m_key.Receive(),
                      nullptr);
  }
  ~ScratchSettingsKey() {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, m_path.c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, m_path.c_str());
  }
  const wchar_t* Path() const { return m_path.c_str(); }
  // Raw bytes of any type, as a stranger may write them.
  void Write(const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(m_key.Get(), name, 0, type, static_cast<const BYTE*>(data), bytes));
  }
  void WriteText(const wchar_t* name, const std::wstring& text) {
    Write(name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }

 private:
  std::wstring m_path;
  ScopedRegKey m_key;
};

}  // namespace

TEST(VcamPlaceholder, EachLookAtTheInstanceGivesItsReason) {
  const struct {
    const char* what;
    HostView view;
    HostLaunchState launch;
    PlaceholderReason reason;
    bool sawFrames = true;
  } cases[] = {
      {"no host yet", HostView{}, HostLaunchState::kUnknown, PlaceholderReason::kStarting},
      {"no host, one was started", HostView{}, HostLaunchState::kServing, PlaceholderReason::kStarting},
      {"no device to ask for", HostView{}, HostLaunchState::kNoCamera, PlaceholderReason::kNoCamera},
      {"no host program", HostView{}, HostLaunchState::kStartFailed, PlaceholderReason::kHostMissing},
      {"the host ended without a camera", HostView{}, HostLaunchState::kCameraFailed,
       PlaceholderReason::kCameraUnavailable},
      {"a host present, no record yet", HostView{true, false, {}}, HostLaunchState::kNoCamera,
       PlaceholderReason::kStarting},
      {"running", Host(kOpRunGraph, 3, 0, S_OK, 0), HostLaunchState::kServing, PlaceholderReason::kStarting},
      {"a camera asked for", Host(kOpRunGraph, 3, 0, S_OK, 1), HostLaunchState::kServing,
       PlaceholderReason::kSwitching},
      {"the starting client's own camera request", Host(kOpRestartCapture, 3, 1, S_OK, 1), HostLaunchState::kServing,
       PlaceholderReason::kStarting, false},
      {"session locked", Host(kOpRunGraph, 0, 0, S_OK, 0), HostLaunchState::kServing,
       PlaceholderReason::kSessionLocked},
      {"console disconnected", Host(kOpReleaseGraph, 1, 0, S_OK, 0), HostLaunchState::kServing,
       PlaceholderReason::kPaused},
      {"suspended", Host(kOpReleaseGraph, 2, 0, S_OK, 0), HostLaunchState::kServing, PlaceholderReason::kPaused},
      {"the camera was not found", Host(kOpRestartCapture, 3, 0, E_UNEXPECTED, 0), HostLaunchState::kServing,
       PlaceholderReason::kCameraUnavailable},
      {"the camera is being opened", Host(kOpRestartCapture, 3, 1, S_OK, 0), HostLaunchState::kServing,
       PlaceholderReason::kStarting},
      {"a stranger's condition value", Host(kOpRunGraph, -77, 0, S_OK, 0), HostLaunchState::kServing,
       PlaceholderReason::kStarting},
  };
  for (const auto& c : cases) EXPECT_EQ(c.reason, ChoosePlaceholder(c.view, c.launch, c.sawFrames)) << c.what;
  for (int reason = 0; reason <= static_cast<int>(PlaceholderReason::kHostMissing); ++reason) {
    EXPECT_GT(wcslen(PlaceholderText(static_cast<PlaceholderReason>(reason))), 10u) << reason;
  }
}

TEST(VcamSettings, StoredValuesAreUsedAndBadOnesFallBackToTheDefaults) {
  ScratchSettingsKey key;
  CVcamSettings settings(key.Path());
  settings.Load();
  EXPECT_STREQ(L"FontisVirtualCamera", settings.Instance());
  EXPECT_STREQ(L"", settings.CameraName());
  EXPECT_TRUE(IsEqualGUID(GUID_NULL, settings.CameraGuid()));
  EXPECT_EQ(CVcamSettings::Origin::kDefault, settings.OriginOf(CVcamSettings::kInstance));

  key.WriteText(L"Instance", L"Studio");
  key.WriteText(L"CameraName", L"USB Camera");
  key.WriteText(L"CameraGuid", L"{6bdd1fc6-810f-11d0-bec7-08002be2092f}");
  settings.Load();
  EXPECT_STREQ(L"Studio", settings.Instance());
  EXPECT_STREQ(L"USB Camera", settings.CameraName());
  GUID expected = GUID_NULL;
  ASSERT_TRUE(ParseGuidText(L"{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}", &expected));
  EXPECT_TRUE(IsEqualGUID(expected, settings.CameraGuid()));
  for (int s = 0; s < CVcamSettings::kSettingCount; ++s) {
    EXPECT_EQ(CVcamSettings::Origin::kStored, settings.OriginOf(static_cast<CVcamSettings::Setting>(s))) << s;
  }

  const DWORD number = 7;
  const std::wstring longText(300, L'x');
  const wchar_t unterminated[4] = {L'a', L'b', L'c', L'd'};
  const struct {
    const char* what;
    const wchar_t* value;
    DWORD type;
    const void* data;
    DWORD bytes;
    CVcamSettings::Setting setting;
  } bad[] = {
      {"a number", L"Instance", REG_DWORD, &number, sizeof(number), CVcamSettings::kInstance},
      {"300 characters", L"Instance", REG_SZ, longText.c_str(), static_cast<DWORD>((longText.size() + 1) * 2),
       CVcamSettings::kInstance},
      {"no terminator", L"Instance", REG_SZ, unterminated, sizeof(unterminated), CVcamSettings::kInstance},
      {"an odd byte count", L"Instance", REG_SZ, L"ab", 3, CVcamSettings::kInstance},
      {"empty", L"Instance", REG_SZ, L"", 2, CVcamSettings::kInstance},
      {"a backslash", L"Instance", REG_SZ, L"Global\\X", 18, CVcamSettings::kInstance},
      {"an expandable string", L"CameraName", REG_EXPAND_SZ, L"%CAM%", 12, CVcamSettings::kCameraName},
      {"the virtual camera itself", L"CameraName", REG_SZ, kVcamFriendlyName, sizeof(kVcamFriendlyName),
       CVcamSettings::kCameraName},
      {"not a GUID", L"CameraGuid", REG_SZ, L"{6BDD1FC6-810F-11D0-BEC7-08002BE2092}", 76, CVcamSettings::kCameraGuid},
      {"a program id", L"CameraGuid", REG_SZ, L"Fontis.Camera", 28, CVcamSettings::kCameraGuid},
      {"the virtual camera's class", L"CameraGuid", REG_SZ, kVcamClsidText, sizeof(kVcamClsidText),
       CVcamSettings::kCameraGuid},
      {"binary", L"CameraGuid", REG_BINARY, &expected, sizeof(expected), CVcamSettings::kCameraGuid},
  };
  for (const auto& b : bad) {
    key.WriteText(L"Instance", L"Studio");
    key.WriteText(L"CameraName", L"USB Camera");
    key.WriteText(L"CameraGuid", L"{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}");
    key.Write(b.value, b.type, b.data, b.bytes);
    settings.Load();
    EXPECT_EQ(CVcamSettings::Origin::kRejected, settings.OriginOf(b.setting)) << b.what;
    EXPECT_STRNE("", settings.Problem(b.setting)) << b.what;
    switch (b.setting) {
      case CVcamSettings::kInstance: EXPECT_STREQ(L"FontisVirtualCamera", settings.Instance()) << b.what; break;
      case CVcamSettings::kCameraName: EXPECT_STREQ(L"", settings.CameraName()) << b.what; break;
      default: EXPECT_TRUE(IsEqualGUID(GUID_NULL, settings.CameraGuid())) << b.what; break;
    }
  }

  // The writers refuse what Load would refuse, and store nothing then.
  key.WriteText(L"Instance", L"Studio");
  EXPECT_EQ(E_INVALIDARG, settings.StoreInstance(std::wstring(236, L'n').c_str()));
  EXPECT_EQ(S_OK, settings.StoreInstance(std::wstring(235, L'n').c_str()));
  EXPECT_EQ(E_INVALIDARG, settings.StoreInstance(L"a\\b"));
  EXPECT_EQ(E_INVALIDARG, settings.StoreCameraName(kVcamDevicePath));
  EXPECT_EQ(E_INVALIDARG, settings.StoreCameraGuid(kVcamClsid));
  settings.Load();
  EXPECT_EQ(std::wstring(235, L'n'), settings.Instance());
  // Reset: the defaults again, and no key left behind.
  EXPECT_EQ(S_OK, settings.Reset());
  settings.Load();
  EXPECT_STREQ(L"FontisVirtualCamera", settings.Instance());
  ScopedRegKey gone;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, ::RegOpenKeyExW(HKEY_CURRENT_USER, key.Path(), 0, KEY_READ, gone.Receive()));
}
