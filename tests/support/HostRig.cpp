#include "support/HostRig.h"

#include <objbase.h>

#include "ipc/LiveInstance.h"
#include "resources/resource.h"
#include "support/CodedPicture.h"
#include "support/WaitUntil.h"

std::wstring GuidString(const GUID& guid) {
  WCHAR text[40] = {};
  ::StringFromGUID2(guid, text, 40);
  return text;
}

HostRig::HostRig(const wchar_t* prefix) : m_instance(UniqueInstanceName(prefix)) {
  m_open = SUCCEEDED(m_record.Open(m_instance.c_str())) && SUCCEEDED(m_status.Open(m_instance.c_str())) &&
           SUCCEEDED(m_clients.Open(m_instance));
}

bool HostRig::Start(const std::wstring& camera, const GUID& guid, bool showWindow) {
  if (!m_open || FAILED(m_status.RequestDevice(camera.c_str(), guid))) return false;
  return m_host.Start(L"FontisHost.exe", L"\"" + m_instance + L"\" \"" + (camera.empty() ? L" " : camera) + L"\" \"" +
                                             GuidString(guid) + L"\" \"" + (showWindow ? L"TRUE" : L"FALSE") + L"\" \"0\"");
}

int HostRig::StartServing(bool showWindow) {
  const int slot = Join(true, 640, 480);
  if (slot < 0 || !Start(L"Fontis Test Camera", GUID_NULL, showWindow) || !WaitRunning(true)) return -1;
  return slot;
}

HWND HostRig::FindHostWindow(TestProcess& host) {
  const wchar_t* const windowClass = L"" FONTIS_WINDOW_CLASS;
  HWND window = nullptr;
  WaitUntil(
      [&] {
        for (window = ::FindWindowExW(nullptr, nullptr, windowClass, nullptr); window != nullptr;
             window = ::FindWindowExW(nullptr, window, windowClass, nullptr)) {
          DWORD owner = 0;
          if (::GetWindowThreadProcessId(window, &owner) != 0 && owner == host.Id()) return true;
        }
        return host.Wait(0) != STILL_ACTIVE;
      },
      kHostWaitMs);
  return window;
}

bool HostRig::Send(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND window = Window();
  DWORD_PTR result = 0;
  return window != nullptr && ::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, 60000, &result) != 0;
}

bool HostRig::Post(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND window = Window();
  return window != nullptr && ::PostMessageW(window, message, wParam, lParam) != FALSE;
}

RgCenterBlock HostRig::Channel() {
  RgCenterBlock block;
  m_clients.Channel().Snapshot(&block, nullptr);
  return block;
}

GraphErrInfo HostRig::Record() const {
  GraphErrInfo record;
  m_status.Snapshot(&record, nullptr);
  return record;
}

bool HostRig::WaitRunning(bool running, DWORD timeoutMs) {
  return WaitUntil(
      [&] {
        const GraphErrInfo record = Record();
        return running ? IsRunEventSet() && record.state == kOpRunGraph && record.result >= 0
                       : IsConnectEventSet() && !IsRunEventSet() && record.state == kOpBuildGraph;
      },
      timeoutMs);
}

bool HostRig::HostHoldsInstance() const { return IsInstanceFlagPresent(m_instance.c_str()); }

CFrameRingReader* HostRig::Ring(DWORD timeoutMs) {
  if (!m_ringOpen) m_ringOpen = WaitUntil([&] { return SUCCEEDED(m_ring.Open(m_instance.c_str())); }, timeoutMs);
  return m_ringOpen ? &m_ring : nullptr;
}

bool HostRig::WaitFrames(int count, DWORD timeoutMs) {
  CFrameRingReader* ring = Ring(timeoutMs);
  if (ring == nullptr) return false;
  const LONG64 start = ring->LatestCounter();
  return WaitUntil([&] { return ring->LatestCounter() >= start + count; }, timeoutMs);
}

bool HostRig::WaitFrameSize(LONG width, LONG height, DWORD timeoutMs) {
  FrameRingFrame frame = {};
  return WaitUntil([&] { return Ring(0) != nullptr && m_ring.PeekLatest(&frame) && frame.width == width &&
                                frame.height == height; },
                   timeoutMs);
}

bool HostRig::LatestCamera(size_t* cameraIndex) {
  std::vector<BYTE> pixels;
  FrameRingFrame frame = {};
  uint16_t code = 0;
  std::string mismatch;
  if (Ring(0) == nullptr || m_ring.ReadLatest(&pixels, &frame) != S_OK ||
      !ReadFrameCode(SourceFrameOf(frame, pixels.data(), pixels.size()), &code, &mismatch)) {
    return false;
  }
  *cameraIndex = FrameCodeCamera(code);
  return true;
}

bool HostRig::WaitCamera(size_t cameraIndex, DWORD timeoutMs) {
  size_t index = 0;
  return WaitUntil([&] { return LatestCamera(&index) && index == cameraIndex; }, timeoutMs);
}
