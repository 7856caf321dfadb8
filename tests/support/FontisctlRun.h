// Running fontisctl.exe from a test program: its full exit code and what it printed.
#pragma once

#include <windows.h>

#include <string>

#include "support/TestProcess.h"

struct CtlRun {
  DWORD code;  // STILL_ACTIVE when it did not end in time (it is then killed)
  std::string output;
  bool Printed(const std::string& text) const { return output.find(text) != std::string::npos; }
};

inline CtlRun RunFontisctl(const std::wstring& arguments, DWORD timeoutMs = 60000) {
  TestProcess ctl;
  if (!ctl.Start(L"fontisctl.exe", arguments, true)) {
    return {0xDEADBEEF, "could not start fontisctl: error " + std::to_string(::GetLastError())};
  }
  const DWORD code = ctl.Wait(timeoutMs);
  return {code, ctl.Output()};
}
