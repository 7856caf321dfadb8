// Stands in for the 32-bit regsvr32.exe, which Wine here lacks (it runs 64-bit programs only).
// The installer tests put it into SysWOW64, where the installer runs the 32-bit regsvr32; it
// appends the arguments it got, as regsvr32 would see them, to "regsvr32_calls.txt" beside itself
// (UTF-16, one call a line, arguments separated by '|') and reports success.
#include <windows.h>

#include <string>

#include "common/ScopedHandle.h"

int wmain(int argc, wchar_t** argv) {
  std::wstring line;
  for (int i = 1; i < argc; ++i) line += (i > 1 ? L"|" : L"") + std::wstring(argv[i]);
  line += L"\n";

  WCHAR path[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 1;
  std::wstring log(path, length);
  log = log.substr(0, log.find_last_of(L'\\') + 1) + L"regsvr32_calls.txt";
  ScopedHandle file(::CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  const DWORD bytes = static_cast<DWORD>(line.size() * sizeof(wchar_t));
  if (!file.IsValid() || !::WriteFile(file.Get(), line.data(), bytes, &written, nullptr) || written != bytes) return 1;
  return 0;
}
