// Real child processes for cross-process tests: started from this program's folder, waited
// for, killed at the moment a test chooses.
#pragma once

#include <windows.h>

#include <string>

#include "ipc/ScopedHandle.h"

// A name no other test (or earlier run) uses: the prefix, this process id and a counter.
std::wstring UniqueInstanceName(const wchar_t* prefix);

// Full path of a program beside the running test program.
std::wstring SiblingPath(const wchar_t* program);

class TestProcess {
 public:
  TestProcess() = default;
  // A child still running when its test ends is killed: it must not outlive the test program.
  ~TestProcess();
  TestProcess(const TestProcess&) = delete;
  TestProcess& operator=(const TestProcess&) = delete;
  // Starts `program` (a sibling) with `arguments` appended verbatim to its command line.
  // With captureOutput its standard output and error go to a file that Output() reads.
  bool Start(const wchar_t* program, const std::wstring& arguments, bool captureOutput = false);
  std::string Output() const;
  // Waits for the end; returns the full 32-bit exit code, or STILL_ACTIVE on time-out.
  DWORD Wait(DWORD timeoutMs);
  void Kill();
  DWORD Id() const { return m_id; }
  HANDLE Handle() const { return m_process.Get(); }

 private:
  ScopedHandle m_process;
  DWORD m_id = 0;
  std::wstring m_outputPath;
};

// Starts the peer program with a command and waits until it reports that it is ready
// (it sets "<instance>_peer_ready"). Returns false when it ended or stalled first.
bool StartPeer(TestProcess& peer, const std::wstring& instance, const std::wstring& arguments,
               DWORD timeoutMs = 20000);
