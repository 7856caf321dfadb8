#include "support/HostRig.h"

#include <objbase.h>

#include <cwchar>

#include "ipc/LiveInstance.h"
#include "resources/resource.h"
#include "support/CodedPicture.h"
#include "support/WaitUntil.h"

namespace {

struct WindowSearch {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK FindHostWindow(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<WindowSearch*>(context);
  DWORD processId = 0;
  ::GetWindowThreadProcessId(window, &processId);
  WCHAR className[64];
  if (processId == search->processId &&
      ::GetClassNameW(window, className, static_cast<int>(sizeof(className) / sizeof(className[0]))) > 0 &&
      wcscmp(className, L"" FONTIS_WINDOW_CLASS) == 0) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

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
  return StartWithArguments(L"\"" + m_instance + L"\" \"" + (camera.empty() ? L" " : camera) + L"\" \"" +
                            GuidString(guid) + L"\" \"" + (showWindow ? L"TRUE" : L"FALSE") + L"\" \"0\"");
}

int HostRig::StartServing(bool showWindow) {
  const int slot = Join(true, 640, 480);
  if (slot < 0 || !Start(L"Fontis Test Camera", GUID_NULL, showWindow) || !WaitRunning(true)) return -1;
  return slot;
}

bool HostRig::StartWithArguments(const std::wstring& arguments) {
  m_window = nullptr;
  return m_host.Start(L"FontisHost.exe", arguments);
}

HWND HostRig::Window(DWORD timeoutMs) {
  if (m_window != nullptr && ::IsWindow(m_window)) return m_window;
  WindowSearch search = {m_host.Id(), nullptr};
  WaitUntil(
      [&] {
        ::EnumWindows(FindHostWindow, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr || m_host.Wait(0) != STILL_ACTIVE;
      },
      timeoutMs);
  m_window = search.found;
  return m_window;
}

bool HostRig::Send(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND window = Window();
  DWORD_PTR result = 0;
  return window != nullptr &&
         ::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, kSendTimeoutMs, &result) != 0;
}

bool HostRig::Post(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND window = Window();
  return window != nullptr && ::PostMessageW(window, message, wParam, lParam) != FALSE;
}

int HostRig::Join(bool wantsVideo, LONG width, LONG height, VideoSubtype subtype) {
  return m_clients.Add(::GetCurrentProcessId(), wantsVideo ? TRUE : FALSE, width, height, subtype);
}

bool HostRig::SetWantsVideo(int slot, bool wantsVideo) { return m_clients.SetWantsVideo(slot, wantsVideo ? TRUE : FALSE); }

bool HostRig::Leave(int slot) { return m_clients.Remove(slot); }

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

bool HostRig::LatestFrame(FrameRingFrame* frame) {
  CFrameRingReader* ring = Ring(0);
  return ring != nullptr && ring->PeekLatest(frame);
}

bool HostRig::WaitFrameSize(LONG width, LONG height, DWORD timeoutMs) {
  return WaitUntil(
      [&] {
        FrameRingFrame frame = {};
        return Ring(0) != nullptr && LatestFrame(&frame) && frame.width == width && frame.height == height;
      },
      timeoutMs);
}

bool HostRig::LatestCamera(size_t* cameraIndex) {
  CFrameRingReader* ring = Ring(0);
  std::vector<BYTE> pixels;
  FrameRingFrame frame = {};
  if (ring == nullptr || ring->ReadLatest(&pixels, &frame) != S_OK) return false;
  uint16_t code = 0;
  std::string mismatch;
  if (!ReadFrameCode(SourceFrameOf(frame, pixels.data(), pixels.size()), &code, &mismatch)) return false;
  *cameraIndex = FrameCodeCamera(code);
  return true;
}

bool HostRig::WaitCamera(size_t cameraIndex, DWORD timeoutMs) {
  return WaitUntil(
      [&] {
        size_t index = 0;
        return LatestCamera(&index) && index == cameraIndex;
      },
      timeoutMs);
}
