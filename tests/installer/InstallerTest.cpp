// FontisSetup.exe on a machine of its own (a fresh Wine prefix): the product's life in order,
// each step starting from what the one before left. Install with the test camera; an application
// opens the virtual camera; upgrade while an application streams; uninstall while one streams;
// install again before the restart (a file held open), and restart; hosts that do not listen;
// silent uninstall. Applications are `fontisctl capture` run from the installed folder, the hosts
// those that their virtual camera filters start.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "HostProcess.h"
#include "MachineState.h"
#include "filters/testcam/TestCameraProfiles.h"
#include "filters/vcam/VcamIdentity.h"
#include "support/CodedPicture.h"
#include "support/FontisctlRun.h"
#include "support/TempFiles.h"
#include "support/TestProcess.h"
#include "support/WaitUntil.h"

namespace {

// Each installed file, and where the build made it, relative to this program's folder (none for
// the uninstaller, which the installer writes).
struct ProductFile {
  const wchar_t* installed;
  const wchar_t* built;
};
const ProductFile kProductFiles[] = {
    {L"FontisHost.exe", L"FontisHost.exe"},
    {L"fontisctl.exe", L"fontisctl.exe"},
    {L"Resource.ini", L"Resource.ini"},
    {L"fontis_renderer.dll", L"fontis_renderer.dll"},
    {L"fontis_vcam.dll", L"fontis_vcam.dll"},
    {L"x86\\fontis_vcam.dll", L"..\\x86\\bin\\fontis_vcam.dll"},
    {L"uninstall.exe", nullptr},
};
constexpr DWORD kRestartNeeded = ERROR_SUCCESS_REBOOT_REQUIRED;
constexpr DWORD kInstallerWaitMs = 120000;
constexpr DWORD kProgramWaitMs = 60000;

DWORD RunSetup(const wchar_t* arguments) {
  TestProcess setup;
  if (!setup.Start(L"FontisSetup.exe", arguments)) return 0xDEADBEEF;
  return setup.Wait(kInstallerWaitMs);
}

// The uninstaller as Windows' list of programs starts it hands over to a copy of itself in the
// temporary folder and returns at once. Started the way it starts that copy, it removes the
// product in place and returns its exit code.
DWORD RunUninstallerForItsExitCode() {
  const std::wstring copy = TempFile(UniqueInstanceName(L"uninstall") + L".exe");
  if (!::CopyFileW(Installed(L"uninstall.exe").c_str(), copy.c_str(), FALSE)) return 0xDEADBEEF;
  TestProcess uninstall;
  const DWORD code = uninstall.Start(copy.c_str(), L"/S _?=" + InstallFolder()) ? uninstall.Wait(kInstallerWaitMs)
                                                                                : 0xDEADBEEF;
  ::DeleteFileW(copy.c_str());
  return code;
}

CtlRun RunInstalledFontisctl(const std::wstring& arguments) {
  return RunFontisctl(arguments, kProgramWaitMs, Installed(L"fontisctl.exe").c_str());
}

// An application that opens the virtual camera in RGB24 at that size, as a user's would, from
// the installed folder; with `picture`, its last frame is saved there.
bool StartApplication(TestProcess& application, LONG width, LONG height, int frames,
                      const std::wstring& picture = std::wstring()) {
  std::wstring arguments = L"capture \"" + std::wstring(kVcamFriendlyName) + L"\" --size " + std::to_wstring(width) +
                           L"x" + std::to_wstring(height) + L" --subtype RGB24 --frames " + std::to_wstring(frames) +
                           L" --timeout 60";
  if (!picture.empty()) arguments += L" --out \"" + picture + L"\"";
  return application.Start(Installed(L"fontisctl.exe").c_str(), arguments, true);
}

bool NoHostRuns() {
  return WaitUntil([] { return !HostProcess::AnyRunning(); }, kProgramWaitMs);
}

// An application takes 90 frames of the virtual camera, nothing configured: they must be the
// first camera's, the test camera's, through a host from the install folder. With
// `startsTheHost` (no host ran before) that host must be the one its filter started; a command
// line that did not quote the path would have given it "C:\Program" and shifted arguments. A
// hidden host ends by itself once its last client has gone, so none may be left afterwards.
void ExpectAnApplicationGetsTheTestCamera(const wchar_t* name, bool startsTheHost) {
  const std::wstring picture = TempFile(UniqueInstanceName(name) + L".bmp");
  TestProcess application;
  ASSERT_TRUE(StartApplication(application, 640, 480, 90, picture));
  HostProcess host;
  ASSERT_TRUE(WaitUntil([&] { return host.Find(startsTheHost ? application.Id() : 0); }, kProgramWaitMs));
  EXPECT_EQ(Installed(L"FontisHost.exe"), host.ImagePath());
  EXPECT_EQ(0u, application.Wait(kProgramWaitMs)) << application.Output();
  const std::vector<BYTE> bmp = ReadAndDelete(picture);
  uint16_t code = 0;
  std::string mismatch;
  ASSERT_TRUE(ReadCheckedFrameCode(BottomUpRgb24(bmp, kBmpHeaderBytes, 640, 480), &code, &mismatch)) << mismatch;
  EXPECT_EQ(kTestCamStandard, FrameCodeCamera(code)) << "not the test camera's frames";
  if (startsTheHost) {
    EXPECT_EQ(0u, host.Wait(kProgramWaitMs));
  }
  EXPECT_TRUE(NoHostRuns());
}

// An application that streams until the test kills it, and the host its filter started.
void StartStreaming(TestProcess& application, HostProcess& host) {
  ASSERT_TRUE(NoHostRuns());
  ASSERT_TRUE(StartApplication(application, 320, 240, 10000));
  ASSERT_TRUE(WaitUntil([&] { return host.Find(application.Id()); }, kProgramWaitMs));
}

// What an install with the test camera leaves, whatever else there is.
std::vector<std::wstring> MissingFromAnInstall(const std::vector<std::wstring>& traces) {
  std::vector<std::wstring> expected = {L"key uninstall", L"device " + std::wstring(kVcamDevicePath)};
  for (const wchar_t* dll : {L"fontis_vcam.dll", L"fontis_renderer.dll", L"fontis_testcam.dll"}) {
    expected.push_back(L"server " + Installed(dll));
  }
  for (const ProductFile& file : kProductFiles) expected.push_back(L"file " + std::wstring(file.installed));
  for (const TestCameraProfile& camera : kTestCameraProfiles) expected.push_back(L"device " + std::wstring(camera.devicePath));
  std::vector<std::wstring> missing;
  for (const std::wstring& trace : expected) {
    if (!Contains(traces, trace)) missing.push_back(trace);
  }
  return missing;
}

}  // namespace

TEST(Installer, SilentInstallWithTestCameraInstallsRegistersAndListsTheProduct) {
  ASSERT_EQ(std::vector<std::wstring>{}, ProductTraces()) << "the prefix is not fresh";
  // Wine here has no 32-bit regsvr32: the 32-bit filter is not registered, which the installer
  // only warns about.
  ASSERT_EQ(0u, RunSetup(L"/S /TESTCAM"));
  const std::vector<std::wstring> traces = ProductTraces();
  EXPECT_EQ(std::vector<std::wstring>{}, MissingFromAnInstall(traces));
  // The entry Windows lists under installed programs, in the 64-bit view only.
  EXPECT_FALSE(Contains(traces, L"key uninstall 32-bit"));
}

TEST(Installer, AnApplicationGetsTheTestCameraThroughAHostStartedFromTheFolderWithABlank) {
  ExpectAnApplicationGetsTheTestCamera(L"installed", true);
}

TEST(Installer, UpgradeWhileAnApplicationStreamsEndsItsHostInOrderAndTheProductWorksAfterwards) {
  // From here on the installer's 32-bit regsvr32 calls are recorded.
  ASSERT_TRUE(InstallRegsvr32StandIn());
  TestProcess streaming;
  HostProcess host;
  StartStreaming(streaming, host);
  if (HasFatalFailure()) return;

  // The application keeps fontisctl.exe and fontis_vcam.dll in use: they are moved aside for
  // the restart to delete, and the new ones take their names.
  EXPECT_EQ(kRestartNeeded, RunSetup(L"/S /TESTCAM"));
  EXPECT_EQ(0u, host.Wait(kProgramWaitMs)) << "the host was not ended by its exit command";
  for (const ProductFile& file : kProductFiles) {
    if (file.built == nullptr) continue;
    const std::string built = FileBytes(SiblingPath(file.built));
    EXPECT_TRUE(!built.empty() && built == FileBytes(Installed(file.installed)))
        << testing::PrintToString(file.installed);
  }
  const std::vector<std::wstring> traces = ProductTraces();
  for (const wchar_t* name : {L"fontisctl.exe.old", L"fontis_vcam.dll.old"}) {
    EXPECT_TRUE(Contains(traces, L"restart deletes " + Installed(name))) << testing::PrintToString(std::wstring(name));
  }
  EXPECT_FALSE(Contains(traces, L"file FontisHost.exe.old")) << "the ended host's program was left";
  EXPECT_TRUE(Regsvr32Called(L"/s|" + Installed(L"x86\\fontis_vcam.dll"))) << "32-bit filter not registered";

  // The streaming application lost its host but not its stream: its filter starts the new host.
  HostProcess next;
  EXPECT_TRUE(WaitUntil([&] { return next.Find(streaming.Id()); }, kProgramWaitMs));
  EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), streaming.Wait(0)) << streaming.Output();
  // A new application frees the killed one's slot and gets the camera, from that host or one
  // of its own; then every host ends.
  streaming.Kill();
  ExpectAnApplicationGetsTheTestCamera(L"after_upgrade", false);
}

TEST(Installer, UninstallWhileAnApplicationStreamsRemovesAllItCanAndLeavesTheRestForTheRestart) {
  TestProcess streaming;
  HostProcess host;
  StartStreaming(streaming, host);
  if (HasFatalFailure()) return;

  EXPECT_EQ(kRestartNeeded, RunUninstallerForItsExitCode());
  EXPECT_EQ(0u, host.Wait(kProgramWaitMs)) << "the host was not ended by its exit command";
  EXPECT_TRUE(Regsvr32Called(L"/s|/u|" + Installed(L"x86\\fontis_vcam.dll")))
      << "32-bit filter not unregistered";
  // Nothing registered or listed: what the application has in use is all that is left, moved
  // aside and deleted at the restart with the folder.
  const std::vector<std::wstring> left = {
      L"file fontis_vcam.dll.old", L"file fontisctl.exe.old", L"restart deletes " + InstallFolder(),
      L"restart deletes " + Installed(L"fontis_vcam.dll.old"), L"restart deletes " + Installed(L"fontisctl.exe.old")};
  EXPECT_EQ(left, ProductTraces());

  // The application streams on (placeholders); its filter finds no host program to start, nor
  // when it tries again 2 s after that failure.
  ::Sleep(3000);
  EXPECT_FALSE(HostProcess::AnyRunning());
  EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), streaming.Wait(0)) << streaming.Output();
  streaming.Kill();
}

TEST(Installer, AnInstallBeforeTheRestartIsCompletedAndNotUndoneByTheRestart) {
  // A product file held open without sharing its deletion (a scanner reading a stale copy, say)
  // can be neither deleted nor moved aside: the new copy takes its name at the restart.
  ::CreateDirectoryW(InstallFolder().c_str(), nullptr);
  ScopedHandle held(::CreateFileW(Installed(L"Resource.ini").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_ALWAYS, 0, nullptr));
  ASSERT_TRUE(held.IsValid());
  EXPECT_EQ(kRestartNeeded, RunSetup(L"/S /TESTCAM"));
  held.Close();

  // What Windows does with the files scheduled at its next start.
  WCHAR system[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(system, MAX_PATH);
  ASSERT_TRUE(length > 0 && length < MAX_PATH);
  TestProcess restart;
  ASSERT_TRUE(restart.Start((std::wstring(system, length) + L"\\wineboot.exe").c_str(), L"--restart"));
  ASSERT_EQ(0u, restart.Wait(kProgramWaitMs));

  const std::vector<std::wstring> traces = ProductTraces();
  EXPECT_EQ(std::vector<std::wstring>{}, MissingFromAnInstall(traces));
  EXPECT_EQ(FileBytes(SiblingPath(L"Resource.ini")), FileBytes(Installed(L"Resource.ini")));
  for (const std::wstring& trace : traces) {
    EXPECT_TRUE(trace.find(L".old") == std::wstring::npos && trace.find(L".new") == std::wstring::npos &&
                trace.compare(0, 15, L"restart deletes") != 0)
        << testing::PrintToString(trace);
  }
}

TEST(Installer, StopHostsEndsAHostThatIgnoresItsExitCommandOnlyWhenForced) {
  const std::wstring instance = UniqueInstanceName(L"deaf");
  TestProcess host;
  ASSERT_TRUE(StartPeer(host, instance, L"host-window " + instance + L" ignore"));

  CtlRun run = RunInstalledFontisctl(L"stop-hosts --timeout 1");
  EXPECT_EQ(1u, run.code) << run.output;
  EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), host.Wait(0));

  run = RunInstalledFontisctl(L"stop-hosts --timeout 1 --force");
  EXPECT_EQ(0u, run.code) << run.output;
  EXPECT_EQ(static_cast<DWORD>(ERROR_PROCESS_ABORTED), host.Wait(kProgramWaitMs));
}

TEST(Installer, SilentUninstallLeavesNoFileKeyOrDevice) {
  // The user chose a camera for the virtual camera: the setting goes with the product.
  const CtlRun settings = RunInstalledFontisctl(L"vcam --camera \"Fontis Test Camera\"");
  ASSERT_EQ(0u, settings.code) << settings.output;
  ASSERT_TRUE(Contains(ProductTraces(), L"key user settings"));

  // The command Windows runs for a quiet removal. The uninstaller hands over to a copy of itself
  // and returns at once; the copy removes the uninstall entry last.
  WCHAR command[1024] = {};
  DWORD size = sizeof(command);
  ASSERT_EQ(ERROR_SUCCESS, ::RegGetValueW(HKEY_LOCAL_MACHINE, kUninstallKey, L"QuietUninstallString", RRF_RT_REG_SZ,
                                          nullptr, command, &size));
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  ASSERT_TRUE(::CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
  ScopedHandle process(info.hProcess);
  ScopedHandle thread(info.hThread);
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(process.Get(), kInstallerWaitMs));
  // Nothing was in use (the uninstaller's temporary copy of itself goes at the restart). A walk
  // is costly: one every 200 ms.
  std::vector<std::wstring> traces;
  WaitUntil([&] { return ::Sleep(200), (traces = ProductTraces()).empty(); }, kInstallerWaitMs);
  EXPECT_EQ(std::vector<std::wstring>{}, traces);
}
