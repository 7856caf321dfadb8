#include "MachineState.h"

#include <shlobj.h>
#include <uuids.h>

#include <algorithm>
#include <cwchar>
#include <fstream>
#include <iterator>

#include "capture/DeviceEnumeration.h"
#include "capture/IRendererControl.h"
#include "common/ScopedRegKey.h"
#include "filters/testcam/TestCameraProfiles.h"
#include "filters/vcam/VcamIdentity.h"
#include "support/TestProcess.h"

namespace {

void ListFolder(const std::wstring& folder, const std::wstring& relative, std::vector<std::wstring>* traces) {
  WIN32_FIND_DATAW found = {};
  const HANDLE search = ::FindFirstFileW((folder + L"\\" + relative + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    traces->push_back(L"file " + relative + name + (isFolder ? L"\\" : L""));
    if (isFolder) ListFolder(folder, relative + name + L"\\", traces);
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
}

bool KeyExists(HKEY root, REGSAM view, const std::wstring& path) {
  ScopedRegKey key;
  return ::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, key.Receive()) == ERROR_SUCCESS;
}

// The restart's deletions: pairs of strings, the file ("\??\" first) and an empty new name.
void AddPendingDeletions(std::vector<std::wstring>* traces) {
  std::vector<WCHAR> text(32768 + 2, L'\0');
  DWORD size = 32768 * sizeof(WCHAR);
  if (::RegGetValueW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Session Manager",
                     L"PendingFileRenameOperations", RRF_RT_REG_MULTI_SZ, nullptr, text.data(), &size) != ERROR_SUCCESS) {
    return;
  }
  const WCHAR* end = text.data() + size / sizeof(WCHAR);
  for (const WCHAR* source = text.data(); source < end && *source != L'\0';) {
    const WCHAR* target = source + wcslen(source) + 1;
    if (target >= end) break;
    std::wstring path = source;
    if (path.compare(0, 4, L"\\??\\") == 0) path.erase(0, 4);
    if (!path.empty() && path.back() == L'\\') path.pop_back();
    if (*target == L'\0' && path.compare(0, InstallFolder().size(), InstallFolder()) == 0) {
      traces->push_back(L"restart deletes " + path);
    }
    source = target + wcslen(target) + 1;
  }
}

std::wstring StandInFolder() {
  WCHAR windows[MAX_PATH];
  const UINT length = ::GetWindowsDirectoryW(windows, MAX_PATH);
  return std::wstring(windows, length < MAX_PATH ? length : 0) + L"\\SysWOW64\\";
}

}  // namespace

std::wstring InstallFolder() {
  PWSTR folder = nullptr;
  std::wstring path;
  if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_ProgramFiles, 0, nullptr, &folder))) path = folder;
  ::CoTaskMemFree(folder);
  return path + L"\\" FONTIS_PRODUCT_NAME;
}

std::wstring Installed(const wchar_t* name) { return InstallFolder() + L"\\" + name; }

std::string FileBytes(const std::wstring& path) {
  std::ifstream file(path.c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::vector<std::wstring> ProductTraces() {
  std::vector<std::wstring> traces;
  ListFolder(InstallFolder(), L"", &traces);
  const wchar_t* const settings = L"Software\\" FONTIS_PRODUCT_NAME;
  if (KeyExists(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, kUninstallKey)) traces.push_back(L"key uninstall");
  if (KeyExists(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, kUninstallKey)) traces.push_back(L"key uninstall 32-bit");
  if (KeyExists(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, settings)) traces.push_back(L"key settings");
  if (KeyExists(HKEY_CURRENT_USER, 0, settings)) traces.push_back(L"key user settings");
  std::vector<CLSID> classes = {kVcamClsid, CLSID_FontisCaptureRenderer};
  for (const TestCameraProfile& camera : kTestCameraProfiles) classes.push_back(camera.clsid);
  for (const CLSID& clsid : classes) {
    WCHAR key[80] = L"Software\\Classes\\CLSID\\", server[MAX_PATH] = L"<none>";
    ::StringFromGUID2(clsid, key + wcslen(key), 40);
    DWORD size = sizeof(server);
    ::RegGetValueW(HKEY_LOCAL_MACHINE, (std::wstring(key) + L"\\InprocServer32").c_str(), nullptr, RRF_RT_REG_SZ,
                   nullptr, server, &size);
    if (KeyExists(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, key)) traces.push_back(L"server " + std::wstring(server));
  }
  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  std::vector<VideoInputDeviceInfo> devices;
  ListDevices(CLSID_VideoInputDeviceCategory, &devices);
  for (const VideoInputDeviceInfo& device : devices) traces.push_back(L"device " + device.devicePath);
  if (SUCCEEDED(com)) ::CoUninitialize();
  AddPendingDeletions(&traces);
  std::sort(traces.begin(), traces.end());
  traces.erase(std::unique(traces.begin(), traces.end()), traces.end());
  return traces;
}

bool Contains(const std::vector<std::wstring>& list, const std::wstring& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

bool InstallRegsvr32StandIn() {
  const std::wstring folder = StandInFolder();
  ::CreateDirectoryW(folder.c_str(), nullptr);
  ::DeleteFileW((folder + L"regsvr32_calls.txt").c_str());
  return ::CopyFileW(SiblingPath(L"regsvr32_standin.exe").c_str(), (folder + L"regsvr32.exe").c_str(), FALSE) != FALSE;
}

bool Regsvr32Called(const std::wstring& arguments) {
  const std::string bytes = FileBytes(StandInFolder() + L"regsvr32_calls.txt");
  const std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
  return (L"\n" + text).find(L"\n" + arguments + L"\n") != std::wstring::npos;
}
