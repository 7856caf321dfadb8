#include "MachineState.h"

#include <shlobj.h>
#include <uuids.h>

#include <algorithm>
#include <cwchar>

#include "FontisVersion.h"
#include "capture/DeviceEnumeration.h"
#include "common/ScopedHandle.h"
#include "common/ScopedRegKey.h"
#include "support/TestProcess.h"

namespace {

const wchar_t kSessionManager[] = L"System\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kNtPathPrefix[] = L"\\??\\";

void ListFolder(const std::wstring& folder, const std::wstring& relative, std::vector<std::wstring>* entries) {
  WIN32_FIND_DATAW found = {};
  const HANDLE search = ::FindFirstFileW((folder + L"\\" + relative + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      entries->push_back(relative + name + L"\\");
      ListFolder(folder, relative + name + L"\\", entries);
    } else {
      entries->push_back(relative + name);
    }
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
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

bool FileExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string FileBytes(const std::wstring& path) {
  std::string bytes;
  ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
  char buffer[65536];
  DWORD read = 0;
  while (file.IsValid() && ::ReadFile(file.Get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
    bytes.append(buffer, read);
  }
  return bytes;
}

std::vector<std::wstring> FolderContents(const std::wstring& folder) {
  std::vector<std::wstring> entries;
  ListFolder(folder, L"", &entries);
  std::sort(entries.begin(), entries.end());
  return entries;
}

bool KeyExists(const std::wstring& path, REGSAM view, HKEY root) {
  ScopedRegKey key;
  return ::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, key.Receive()) == ERROR_SUCCESS;
}

std::wstring ReadString(const std::wstring& path, const wchar_t* name) {
  WCHAR value[1024] = {};
  DWORD size = sizeof(value);
  const LSTATUS read = ::RegGetValueW(HKEY_LOCAL_MACHINE, path.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size);
  return read == ERROR_SUCCESS ? value : L"<missing>";
}

std::wstring ClassKey(REFCLSID clsid) {
  WCHAR text[40] = {};
  ::StringFromGUID2(clsid, text, 40);
  return std::wstring(L"Software\\Classes\\CLSID\\") + text;
}

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
  return std::find(list.begin(), list.end(), item) != list.end();
}

int CountContaining(const std::vector<std::wstring>& list, const wchar_t* part) {
  int count = 0;
  for (const std::wstring& entry : list) count += entry.find(part) != std::wstring::npos ? 1 : 0;
  return count;
}

std::vector<std::wstring> PendingDeletions() {
  std::vector<std::wstring> paths;
  // Ample for a fresh machine's list; two more terminators make a cut one end anyway.
  std::vector<WCHAR> text(32768 + 2, L'\0');
  DWORD size = 32768 * sizeof(WCHAR);
  if (::RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManager, L"PendingFileRenameOperations", RRF_RT_REG_MULTI_SZ,
                     nullptr, text.data(), &size) != ERROR_SUCCESS) {
    return paths;
  }
  // Pairs of strings: the file, then its new name, empty for a deletion.
  const WCHAR* end = text.data() + size / sizeof(WCHAR);
  for (const WCHAR* source = text.data(); source < end && *source != L'\0';) {
    const WCHAR* target = source + wcslen(source) + 1;
    if (target >= end) break;
    if (*target == L'\0') {
      std::wstring path = source;
      if (path.compare(0, wcslen(kNtPathPrefix), kNtPathPrefix) == 0) path.erase(0, wcslen(kNtPathPrefix));
      // A folder may be written with a trailing backslash.
      if (!path.empty() && path.back() == L'\\') path.pop_back();
      paths.push_back(path);
    }
    source = target + wcslen(target) + 1;
  }
  return paths;
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
