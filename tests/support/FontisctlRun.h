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

// `program` is the fontisctl beside the test program, or another one by its full path.
inline CtlRun RunFontisctl(const std::wstring& arguments, DWORD timeoutMs = 60000,
                           const wchar_t* program = L"fontisctl.exe") {
  TestProcess ctl;
  if (!ctl.Start(program, arguments, true)) {
    return {0xDEADBEEF, "could not start fontisctl: error " + std::to_string(::GetLastError())};
  }
  const DWORD code = ctl.Wait(timeoutMs);
  return {code, ctl.Output()};
}
