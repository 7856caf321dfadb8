// Files a test has a program write: a path in the temporary folder, and reading one back.
#pragma once

#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

inline std::wstring TempFile(const std::wstring& name) {
  WCHAR folder[MAX_PATH];
  return ::GetTempPathW(MAX_PATH, folder) > 0 ? std::wstring(folder) + name : name;
}

// The file's bytes (none when it is missing); the file is gone afterwards.
inline std::vector<BYTE> ReadAndDelete(const std::wstring& path) {
  std::vector<BYTE> bytes;
  {
    std::ifstream file(path.c_str(), std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }
  ::DeleteFileW(path.c_str());
  return bytes;
}
