// Real child processes for cross-process tests: started from this program's folder, waited
// for, killed at the moment a test chooses.
#pragma once

#include <windows.h>

#include <string>

#include "common/ScopedHandle.h"

// A process id that no process has (odd, so never a real one): a slot or record carrying it
// belongs to "another process".
constexpr DWORD kOtherProcessId = 0x7FFF0001;

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
  // Starts `program` (a sibling, or a full path) with `arguments` appended verbatim to its
  // command line.
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

// Starts a sibling program and waits until it sets the named event that says it is ready.
// Returns false when it ended or stalled first.
bool StartAndAwaitReady(TestProcess& process, const wchar_t* program, const std::wstring& readyEvent,
                        const std::wstring& arguments, DWORD timeoutMs = 20000);

// The peer program (fontis_peer.exe) with a command; it sets "<instance>_peer_ready" when ready.
bool StartPeer(TestProcess& peer, const std::wstring& instance, const std::wstring& arguments,
               DWORD timeoutMs = 20000);

// Tells a serving peer to end as a host ends ("<instance>_peer_stop").
void StopPeer(const std::wstring& instance);
