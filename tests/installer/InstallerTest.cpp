// FontisSetup.exe on a machine of its own (a fresh Wine prefix): the product's life in order,
// each step starting from what the one before left: install with the test camera, use the
// installed programs, install without it, upgrade while a host runs and a filter is loaded,
// stop hosts that do not listen, uninstall.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>
#include <uuids.h>

#include <string>
#include <vector>

#include "FontisVersion.h"
#include "capture/DeviceEnumeration.h"
#include "capture/IRendererControl.h"
#include "common/ScopedRegKey.h"
#include "filters/testcam/TestCameraProfiles.h"
#include "filters/vcam/VcamIdentity.h"
#include "ipc/CGraphErrInfo.h"
#include "ipc/CStatusChannelClient.h"
#include "support/TestProcess.h"
#include "support/WaitUntil.h"

namespace {

const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" FONTIS_PRODUCT_NAME;
const wchar_t kVideoInputInstances[] =
    L"Software\\Classes\\CLSID\\{860BB310-5D01-11d0-BD3B-00A0C911CE86}\\Instance";
const wchar_t kNoCameraGuid[] = L"{00000000-0000-0000-0000-000000000000}";
const wchar_t* const kProductFiles[] = {L"FontisHost.exe",      L"fontisctl.exe",   L"Resource.ini",
                                        L"fontis_renderer.dll", L"fontis_vcam.dll", L"x86\\fontis_vcam.dll",
                                        L"uninstall.exe"};
constexpr DWORD kInstallerWaitMs = 120000;
constexpr DWORD kProgramWaitMs = 30000;

std::wstring Widen(const char* text) { return std::wstring(text, text + strlen(text)); }

std::wstring InstallFolder() {
  PWSTR folder = nullptr;
  std::wstring path;
  if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_ProgramFiles, 0, nullptr, &folder))) path = folder;
  ::CoTaskMemFree(folder);
  return path + L"\\" FONTIS_PRODUCT_NAME;
}

std::wstring Installed(const wchar_t* name) { return InstallFolder() + L"\\" + name; }

bool FileExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

ULONGLONG FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string FileBytes(const std::wstring& path) {
  std::string bytes;
  ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  char buffer[65536];
  DWORD read = 0;
  while (file.IsValid() && ::ReadFile(file.Get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
    bytes.append(buffer, read);
  }
  return bytes;
}

// "x.y.z" from the fixed part of a file's version resource; empty when it has none.
std::string FileVersion(const std::wstring& path) {
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return std::string();
  std::vector<BYTE> block(size);
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!::GetFileVersionInfoW(path.c_str(), 0, size, block.data()) ||
      !::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &length) || length < sizeof(*info)) {
    return std::string();
  }
  return std::to_string(HIWORD(info->dwFileVersionMS)) + "." + std::to_string(LOWORD(info->dwFileVersionMS)) + "." +
         std::to_string(HIWORD(info->dwFileVersionLS));
}

bool KeyExists(const std::wstring& path, REGSAM view = KEY_WOW64_64KEY, HKEY root = HKEY_LOCAL_MACHINE) {
  ScopedRegKey key;
  return ::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, key.Receive()) == ERROR_SUCCESS;
}

// A value of a key in the 64-bit view; false when the key or the value of that type is missing.
bool ReadValue(const std::wstring& path, const wchar_t* name, DWORD type, void* value, DWORD size) {
  ScopedRegKey key;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, key.Receive()) !=
      ERROR_SUCCESS) {
    return false;
  }
  return ::RegGetValueW(key.Get(), nullptr, name, type, nullptr, value, &size) == ERROR_SUCCESS;
}

std::wstring ReadString(const std::wstring& path, const wchar_t* name) {
  WCHAR value[1024] = {};
  return ReadValue(path, name, RRF_RT_REG_SZ, value, sizeof(value)) ? value : L"<missing>";
}

DWORD ReadDword(const std::wstring& path, const wchar_t* name) {
  DWORD value = 0xFFFFFFFF;
  ReadValue(path, name, RRF_RT_REG_DWORD, &value, sizeof(value));
  return value;
}

std::wstring ClassKey(REFCLSID clsid) {
  WCHAR text[40] = {};
  ::StringFromGUID2(clsid, text, 40);
  return std::wstring(L"Software\\Classes\\CLSID\\") + text;
}

// The names of the video input devices registered in the system, as instance keys.
std::vector<std::wstring> VideoInputFriendlyNames() {
  std::vector<std::wstring> names;
  ScopedRegKey instances;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kVideoInputInstances, 0, KEY_READ | KEY_WOW64_64KEY,
                      instances.Receive()) != ERROR_SUCCESS) {
    return names;
  }
  WCHAR subkey[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    if (::RegEnumKeyExW(instances.Get(), i, subkey, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      break;
    }
    names.push_back(ReadString(std::wstring(kVideoInputInstances) + L"\\" + subkey, L"FriendlyName"));
  }
  return names;
}

// Device paths of the video input devices as the system device enumerator lists them.
std::vector<std::wstring> EnumeratedDevicePaths() {
  std::vector<std::wstring> paths;
  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  std::vector<VideoInputDeviceInfo> devices;
  ListDevices(CLSID_VideoInputDeviceCategory, &devices);
  for (const VideoInputDeviceInfo& device : devices) paths.push_back(device.devicePath);
  if (SUCCEEDED(com)) ::CoUninitialize();
  return paths;
}

bool Contains(const std::vector<std::wstring>& list, const std::wstring& item) {
  for (const std::wstring& entry : list) {
    if (entry == item) return true;
  }
  return false;
}

int CountContaining(const std::vector<std::wstring>& list, const wchar_t* part) {
  int count = 0;
  for (const std::wstring& entry : list) count += entry.find(part) != std::wstring::npos ? 1 : 0;
  return count;
}

DWORD RunSetup(const wchar_t* arguments) {
  TestProcess setup;
  if (!setup.Start(L"FontisSetup.exe", arguments)) return 0xDEADBEEF;
  return setup.Wait(kInstallerWaitMs);
}

struct ProgramRun {
  DWORD code;
  std::string output;
};

ProgramRun RunInstalledFontisctl(const std::wstring& arguments) {
  TestProcess ctl;
  if (!ctl.Start(Installed(L"fontisctl.exe").c_str(), arguments, true)) return {0xDEADBEEF, "not started"};
  const DWORD code = ctl.Wait(kProgramWaitMs);
  return {code, ctl.Output()};
}

void ExpectTestCamerasRegisteredFromTheInstalledFolder() {
  const std::vector<std::wstring> paths = EnumeratedDevicePaths();
  for (const TestCameraProfile& camera : kTestCameraProfiles) {
    EXPECT_TRUE(Contains(paths, camera.devicePath)) << "not listed: " << testing::PrintToString(camera.devicePath);
    EXPECT_EQ(Installed(L"fontis_testcam.dll"), ReadString(ClassKey(camera.clsid) + L"\\InprocServer32", nullptr));
  }
}

void ExpectVirtualCameraListed() {
  EXPECT_TRUE(Contains(EnumeratedDevicePaths(), kVcamDevicePath));
  EXPECT_TRUE(Contains(VideoInputFriendlyNames(), kVcamFriendlyName));
  EXPECT_EQ(Installed(L"fontis_vcam.dll"), ReadString(ClassKey(kVcamClsid) + L"\\InprocServer32", nullptr));
}

void ExpectNoTestCamera() {
  EXPECT_EQ(0, CountContaining(EnumeratedDevicePaths(), L"fontis_testcam"));
  EXPECT_EQ(0, CountContaining(VideoInputFriendlyNames(), L"Fontis Test"));
  for (const TestCameraProfile& camera : kTestCameraProfiles) EXPECT_FALSE(KeyExists(ClassKey(camera.clsid)));
  EXPECT_FALSE(FileExists(Installed(L"fontis_testcam.dll")));
}

}  // namespace

TEST(Installer, SilentInstallWithTestCameraInstallsRegistersAndListsTheProduct) {
  ASSERT_FALSE(FileExists(InstallFolder())) << "the prefix is not fresh";
  ASSERT_EQ(0u, RunSetup(L"/S /TESTCAM"));

  ULONGLONG totalBytes = 0;
  for (const wchar_t* name : kProductFiles) {
    EXPECT_TRUE(FileExists(Installed(name))) << testing::PrintToString(std::wstring(name));
    totalBytes += FileSize(Installed(name));
  }
  totalBytes += FileSize(Installed(L"fontis_testcam.dll"));
  for (const wchar_t* name : {L"FontisHost.exe", L"fontisctl.exe", L"fontis_renderer.dll", L"fontis_testcam.dll",
                              L"fontis_vcam.dll", L"x86\\fontis_vcam.dll"}) {
    EXPECT_EQ(FONTIS_VERSION_TEXT, FileVersion(Installed(name))) << testing::PrintToString(std::wstring(name));
  }
  EXPECT_EQ(FONTIS_VERSION_TEXT, FileVersion(SiblingPath(L"FontisSetup.exe")));

  // The entry Windows lists under installed programs, in the 64-bit view only.
  const std::wstring uninstaller = L"\"" + Installed(L"uninstall.exe") + L"\"";
  EXPECT_EQ(Widen(FONTIS_PRODUCT_NAME), ReadString(kUninstallKey, L"DisplayName"));
  EXPECT_EQ(Widen(FONTIS_VERSION_TEXT), ReadString(kUninstallKey, L"DisplayVersion"));
  EXPECT_EQ(Widen(FONTIS_PUBLISHER), ReadString(kUninstallKey, L"Publisher"));
  EXPECT_EQ(InstallFolder(), ReadString(kUninstallKey, L"InstallLocation"));
  EXPECT_EQ(Installed(L"FontisHost.exe") + L",0", ReadString(kUninstallKey, L"DisplayIcon"));
  EXPECT_EQ(uninstaller, ReadString(kUninstallKey, L"UninstallString"));
  EXPECT_EQ(uninstaller + L" /S", ReadString(kUninstallKey, L"QuietUninstallString"));
  EXPECT_EQ(1u, ReadDword(kUninstallKey, L"NoModify"));
  EXPECT_EQ(1u, ReadDword(kUninstallKey, L"NoRepair"));
  // Kilobytes, as the list of programs reads it (give or take rounding per file).
  const DWORD size = ReadDword(kUninstallKey, L"EstimatedSize");
  EXPECT_GE(size + 10, totalBytes / 1024);
  EXPECT_LE(size, totalBytes / 1024 + 10);
  EXPECT_FALSE(KeyExists(kUninstallKey, KEY_WOW64_32KEY));

  ExpectTestCamerasRegisteredFromTheInstalledFolder();
  ExpectVirtualCameraListed();
  EXPECT_EQ(Installed(L"fontis_renderer.dll"),
            ReadString(ClassKey(CLSID_FontisCaptureRenderer) + L"\\InprocServer32", nullptr));

  const ProgramRun version = RunInstalledFontisctl(L"--version");
  EXPECT_EQ(0u, version.code);
  EXPECT_EQ(0u, version.output.find(std::string("fontisctl ") + FONTIS_VERSION_TEXT)) << version.output;
}

TEST(Installer, InstalledFontisctlStartsTheHostFromTheFolderWithABlank) {
  // The record outlives the host here; a host that read its arguments resets it when it gives up
  // (there is no such camera), while one that got its arguments shifted never opens this instance.
  const std::wstring instance = UniqueInstanceName(L"installed");
  CGraphErrInfo status;
  ASSERT_EQ(S_OK, status.Open(instance.c_str()));
  status.EndOperation(S_OK, kOpHostStartup);
  status.EndOperation(S_OK, kOpBuildGraph);
  CStatusChannelClient view;
  ASSERT_EQ(S_OK, view.Open(instance.c_str()));
  ASSERT_NE(kOpNone, view.Record()->state);

  const ProgramRun launch =
      RunInstalledFontisctl(L"launch " + instance + L" \"No Such Camera\" " + kNoCameraGuid + L" FALSE");
  EXPECT_EQ(0u, launch.code);
  EXPECT_NE(std::string::npos, launch.output.find("started a host")) << launch.output;
  EXPECT_TRUE(WaitUntil([&] { return view.Record()->state == kOpNone; }, kProgramWaitMs));
  EXPECT_EQ(static_cast<int32_t>(0x8000FFFF), view.Record()->result);
}

TEST(Installer, InstallWithoutTestCameraRemovesTheOneInstalledBefore) {
  ASSERT_EQ(0u, RunSetup(L"/S"));
  ExpectNoTestCamera();
  ExpectVirtualCameraListed();
  for (const wchar_t* name : kProductFiles) EXPECT_TRUE(FileExists(Installed(name)));
  EXPECT_TRUE(KeyExists(kUninstallKey));
}

TEST(Installer, UpgradeEndsARunningHostAndReplacesFilesInUse) {
  // A stand-in for a hidden host, running as the installed FontisHost.exe: its program file
  // cannot be replaced while it runs.
  ASSERT_TRUE(::CopyFileW(SiblingPath(L"fontis_peer.exe").c_str(), Installed(L"FontisHost.exe").c_str(), FALSE));
  const std::wstring instance = UniqueInstanceName(L"upgrade");
  TestProcess host;
  ASSERT_TRUE(StartAndAwaitReady(host, Installed(L"FontisHost.exe").c_str(), instance + L"_peer_ready",
                                 L"host-window " + instance + L" obey"));
  // An application that has one of our filters loaded: the DLL cannot be overwritten either.
  HMODULE filter = ::LoadLibraryW(Installed(L"fontis_renderer.dll").c_str());
  ASSERT_NE(nullptr, filter);

  // Done, with the loaded copy left for the restart to delete.
  EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS_REBOOT_REQUIRED), RunSetup(L"/S /TESTCAM"));
  EXPECT_EQ(0u, host.Wait(kProgramWaitMs)) << "the host did not end by its exit command";
  EXPECT_TRUE(FileBytes(SiblingPath(L"FontisHost.exe")) == FileBytes(Installed(L"FontisHost.exe")));
  EXPECT_TRUE(FileBytes(SiblingPath(L"fontis_renderer.dll")) == FileBytes(Installed(L"fontis_renderer.dll")));
  EXPECT_TRUE(FileExists(Installed(L"fontis_renderer.dll.old"))) << "the loaded copy was not moved aside";
  ::FreeLibrary(filter);
  ExpectTestCamerasRegisteredFromTheInstalledFolder();
}

TEST(Installer, StopHostsEndsAHostThatIgnoresItsExitCommandOnlyWhenForced) {
  const std::wstring instance = UniqueInstanceName(L"deaf");
  TestProcess host;
  ASSERT_TRUE(StartPeer(host, instance, L"host-window " + instance + L" ignore"));

  ProgramRun run = RunInstalledFontisctl(L"stop-hosts --timeout 1");
  EXPECT_EQ(1u, run.code) << run.output;
  EXPECT_NE(std::string::npos, run.output.find("still running")) << run.output;
  EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), host.Wait(0));

  run = RunInstalledFontisctl(L"stop-hosts --timeout 1 --force");
  EXPECT_EQ(0u, run.code) << run.output;
  EXPECT_EQ(static_cast<DWORD>(ERROR_PROCESS_ABORTED), host.Wait(kProgramWaitMs));

  run = RunInstalledFontisctl(L"stop-hosts");
  EXPECT_EQ(0u, run.code);
  EXPECT_NE(std::string::npos, run.output.find("no host is running")) << run.output;
}

TEST(Installer, SilentUninstallLeavesNoFileKeyOrDevice) {
  // The user chose a camera for the virtual camera: the setting goes with the product.
  const ProgramRun settings = RunInstalledFontisctl(L"vcam --camera \"Fontis Test Camera\"");
  ASSERT_EQ(0u, settings.code) << settings.output;
  ASSERT_TRUE(KeyExists(L"Software\\" FONTIS_PRODUCT_NAME L"\\VirtualCamera", KEY_WOW64_64KEY, HKEY_CURRENT_USER));

  // The command Windows runs for a quiet removal. The uninstaller hands over to a copy of itself
  // and returns at once; the copy removes the uninstall entry last.
  std::wstring command = ReadString(kUninstallKey, L"QuietUninstallString");
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  ASSERT_TRUE(::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
      << testing::PrintToString(command);
  ScopedHandle process(info.hProcess);
  ScopedHandle thread(info.hThread);
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(process.Get(), kInstallerWaitMs));
  EXPECT_TRUE(WaitUntil([] { return !KeyExists(kUninstallKey); }, kInstallerWaitMs));

  EXPECT_FALSE(FileExists(InstallFolder()));
  EXPECT_FALSE(KeyExists(L"Software\\" FONTIS_PRODUCT_NAME));
  EXPECT_FALSE(KeyExists(ClassKey(CLSID_FontisCaptureRenderer)));
  EXPECT_FALSE(KeyExists(ClassKey(kVcamClsid)));
  EXPECT_FALSE(Contains(EnumeratedDevicePaths(), kVcamDevicePath));
  EXPECT_FALSE(KeyExists(L"Software\\" FONTIS_PRODUCT_NAME, KEY_WOW64_64KEY, HKEY_CURRENT_USER));
  ExpectNoTestCamera();
}
