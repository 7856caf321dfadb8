// What the installer tests read of the machine after the installer ran: every trace of the product
// in one walk, and the calls that the stand-in for the 32-bit regsvr32 recorded.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "FontisVersion.h"

inline const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" FONTIS_PRODUCT_NAME;

// "C:\Program Files\Fontis" as this machine names it, and a file below it.
std::wstring InstallFolder();
std::wstring Installed(const wchar_t* name);
// The whole file; empty when it cannot be read.
std::string FileBytes(const std::wstring& path);

// Every trace of the product, sorted, each once: "file NAME" below the install folder (folders
// with a trailing backslash), "key uninstall" (and "... 32-bit" in that view), "key settings",
// "key user settings", "server PATH" for the DLL of each of our registered classes, "device PATH"
// for each video input device, and "restart deletes PATH" for what the next restart deletes in the
// install folder.
std::vector<std::wstring> ProductTraces();
bool Contains(const std::vector<std::wstring>& list, const std::wstring& item);

// Puts the stand-in (regsvr32_standin.exe, beside this program) where the 32-bit regsvr32
// belongs; every call is recorded from then on.
bool InstallRegsvr32StandIn();
// Whether the stand-in recorded a call with exactly these arguments, separated by '|'.
bool Regsvr32Called(const std::wstring& arguments);
