// What the installer tests read of the machine after the installer ran: the install folder and its
// files, registry keys and values in the 64-bit view, the video input devices, the files
// scheduled for deletion at the next restart, and the calls that the stand-in for the 32-bit
// regsvr32 recorded.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// "C:\Program Files\Fontis" as this machine names it, and a file below it.
std::wstring InstallFolder();
std::wstring Installed(const wchar_t* name);

bool FileExists(const std::wstring& path);
// The whole file; empty when it cannot be read.
std::string FileBytes(const std::wstring& path);
// Every file and folder below `folder`, relative to it ("x86\fontis_vcam.dll", folders with a
// trailing backslash), sorted.
std::vector<std::wstring> FolderContents(const std::wstring& folder);

bool KeyExists(const std::wstring& path, REGSAM view = KEY_WOW64_64KEY, HKEY root = HKEY_LOCAL_MACHINE);
// A string value of an HKLM key (this program sees the 64-bit view); "<missing>" when it is not there.
std::wstring ReadString(const std::wstring& path, const wchar_t* name);
// "Software\Classes\CLSID\{...}".
std::wstring ClassKey(REFCLSID clsid);

// Device paths of the video input devices as the system device enumerator lists them.
std::vector<std::wstring> EnumeratedDevicePaths();

bool Contains(const std::vector<std::wstring>& list, const std::wstring& item);
int CountContaining(const std::vector<std::wstring>& list, const wchar_t* part);

// The paths that the next restart deletes (PendingFileRenameOperations entries without a target),
// without the "\??\" prefix and a folder's trailing backslash.
std::vector<std::wstring> PendingDeletions();

// Puts the stand-in (regsvr32_standin.exe, beside this program) where the 32-bit regsvr32
// belongs; every call is recorded from then on.
bool InstallRegsvr32StandIn();
// Whether the stand-in recorded a call with exactly these arguments, separated by '|'.
bool Regsvr32Called(const std::wstring& arguments);
