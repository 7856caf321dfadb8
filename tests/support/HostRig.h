// A real FontisHost.exe for an instance of its own, started the way a client starts it, with the
// test program as that instance's client: it holds the status record open, names the camera
// there, takes and changes request-channel slots, reads the frame ring, finds the host's window
// and sends it messages. For end-to-end tests and benchmarks.
//
// One thread at a time. The test program must have the test cameras and the capture renderer
// registered (tests/support/FilterEnvironment.h).
#pragma once

#include <windows.h>

#include <string>

#include "framering/CFrameRingReader.h"
#include "ipc/CGraphErrInfo.h"
#include "ipc/CStatusChannelClient.h"
#include "support/TestClients.h"
#include "support/TestProcess.h"

// Generous limits: Wine on a loaded machine starts a process in seconds, not milliseconds.
constexpr DWORD kHostWaitMs = 30000;

class HostRig {
 public:
  explicit HostRig(const wchar_t* prefix);
  HostRig(const HostRig&) = delete;
  HostRig& operator=(const HostRig&) = delete;

  const std::wstring& Instance() const { return m_instance; }
  bool IsOpen() const { return m_open; }

  // Names the camera in the status record as a client does (name, GUID, pending, event), then
  // starts the host with that camera on its command line. False when it could not be started.
  bool Start(const std::wstring& camera, const GUID& guid, bool showWindow);
  // The usual start of a test: one client of this process wanting 640 x 480 video, then the
  // host (hidden or shown) for the standard test camera, running. The client's slot, or -1.
  int StartServing(bool showWindow = false);
  // The host still running when the rig goes is killed (the TestProcess does it).
  TestProcess& Process() { return m_host; }
  // Waits for the host to end; its exit code, or STILL_ACTIVE.
  DWORD WaitExit(DWORD timeoutMs = kHostWaitMs) { return m_host.Wait(timeoutMs); }

  // The host's main window, waited for. Sent messages have been handled when Send returns;
  // both are false when the message could not be delivered.
  HWND Window() { return FindHostWindow(m_host); }
  bool Send(UINT message, WPARAM wParam, LPARAM lParam = 0);
  bool Post(UINT message, WPARAM wParam, LPARAM lParam = 0);

  // Client slots of this test process.
  int Join(bool wantsVideo, LONG width, LONG height) { return m_clients.Add(::GetCurrentProcessId(), wantsVideo, width, height); }
  bool SetWantsVideo(int slot, bool wantsVideo) { return m_clients.SetWantsVideo(slot, wantsVideo); }
  bool Leave(int slot) { return m_clients.Remove(slot); }
  RgCenterBlock Channel();

  // The status record and its events as a client sees them.
  GraphErrInfo Record() const;
  bool IsEventSet(CStatusChannelClient::EventId event) const { return m_status.IsEventSet(event); }
  bool IsRunEventSet() const { return IsEventSet(CStatusChannelClient::kRunEvent); }
  bool IsConnectEventSet() const { return IsEventSet(CStatusChannelClient::kConnectEvent); }
  CStatusChannelClient& Status() { return m_status; }
  // Waits until the graph runs (true) or is built and not running (false).
  bool WaitRunning(bool running, DWORD timeoutMs = kHostWaitMs);
  // Whether the instance's flag mutex exists (some host holds the instance).
  bool HostHoldsInstance() const;

  // The frame ring: opened on first use (the renderer creates it).
  CFrameRingReader* Ring(DWORD timeoutMs = kHostWaitMs);
  // Waits until `count` frames newer than the newest one now have arrived.
  bool WaitFrames(int count, DWORD timeoutMs = kHostWaitMs);
  // Waits for a frame of this size.
  bool WaitFrameSize(LONG width, LONG height, DWORD timeoutMs = kHostWaitMs);
  // The test camera that drew the newest frame (its index in kTestCameraProfiles, read from the
  // frame code); false before the first frame or when the code cannot be read.
  bool LatestCamera(size_t* cameraIndex);
  bool WaitCamera(size_t cameraIndex, DWORD timeoutMs = kHostWaitMs);

  // The main window (class "DUOSCOPEFONTIS") of that host process, waited for; null when the
  // process ended first.
  static HWND FindHostWindow(TestProcess& host);

 private:
  std::wstring m_instance;
  CGraphErrInfo m_record;  // keeps the record alive for the whole test, as clients do
  CStatusChannelClient m_status;
  TestClients m_clients;
  CFrameRingReader m_ring;
  bool m_ringOpen = false;
  bool m_open = false;
  TestProcess m_host;
};

// The test camera's GUID text (its CLSID), for command lines.
std::wstring GuidString(const GUID& guid);
