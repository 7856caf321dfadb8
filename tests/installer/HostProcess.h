// A FontisHost.exe process that the test did not start itself (a virtual camera's filter inside
// an application did): found among the running processes, opened to read the program it runs and
// to wait for its end.
#pragma once

#include <windows.h>

#include <string>

#include "common/ScopedHandle.h"

class HostProcess {
 public:
  // A host that runs now and that process `parentId` started (any host for 0); false when none.
  bool Find(DWORD parentId = 0);
  // Whether any FontisHost.exe that can be opened runs now.
  static bool AnyRunning();

  // The full path of the program the process runs, as the system reports it.
  const std::wstring& ImagePath() const { return m_imagePath; }
  // Waits for the end; the full 32-bit exit code, or STILL_ACTIVE on time-out.
  DWORD Wait(DWORD timeoutMs);

 private:
  std::wstring m_imagePath;
  ScopedHandle m_process;
};
