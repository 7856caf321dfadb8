// The raw frames file of fontisctl capture: created before the graph runs, removed again unless
// the capture succeeded, so that a failed capture leaves no partial file behind.
#pragma once

#include <windows.h>

#include <string>

#include "common/ScopedHandle.h"

class RawOutputFile {
 public:
  RawOutputFile() = default;
  ~RawOutputFile();
  RawOutputFile(const RawOutputFile&) = delete;
  RawOutputFile& operator=(const RawOutputFile&) = delete;

  bool Create(const wchar_t* path);
  // The file's handle, or null when none was created (frames then go nowhere).
  HANDLE Get() const { return m_file.Get(); }
  // The capture succeeded: the file stays.
  void Keep() { m_keep = true; }

 private:
  ScopedHandle m_file;
  std::wstring m_path;
  bool m_keep = false;
};
