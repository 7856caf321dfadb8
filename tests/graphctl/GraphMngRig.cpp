#include "GraphMngRig.h"

#include <uuids.h>

#include "capture/CaptureFormat.h"
#include "framering/CFrameRingReader.h"

namespace {

constexpr WCHAR kRecorderClass[] = L"FontisGraphMngTestRecorder";
constexpr DWORD kTickWaitBaseMs = 10000;
constexpr DWORD kTickWaitPerTickMs = 200;

}  // namespace

MessageRecorder::MessageRecorder() {
  static const ATOM registered = [] {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kRecorderClass;
    return ::RegisterClassExW(&windowClass);
  }();
  if (registered == 0) return;
  m_window = ::CreateWindowExW(0, kRecorderClass, L"recorder", WS_OVERLAPPEDWINDOW, 0, 0, 320, 300, nullptr, nullptr,
                               ::GetModuleHandleW(nullptr), nullptr);
  ::SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

MessageRecorder::~MessageRecorder() {
  if (m_window == nullptr) return;
  ::SetWindowLongPtrW(m_window, GWLP_USERDATA, 0);
  ::DestroyWindow(m_window);
}

LRESULT CALLBACK MessageRecorder::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* recorder = reinterpret_cast<MessageRecorder*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  const bool ours = message == WM_HOST_FORMAT_CHANGED || message == WM_HOST_CHECK_CLIENTS ||
                    message == WM_HOST_DEVICE_CHANGED || message == WM_QUIT;
  if (recorder != nullptr && ours) {
    recorder->m_log.push_back({message, wParam});
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

size_t MessageRecorder::Count(UINT message) const { return IndicesOf(message).size(); }

std::vector<size_t> MessageRecorder::IndicesOf(UINT message) const {
  std::vector<size_t> indices;
  for (size_t i = 0; i < m_log.size(); ++i) {
    if (m_log[i].message == message) indices.push_back(i);
  }
  return indices;
}

size_t MessageRecorder::TicksBetween(size_t from, size_t to) const {
  size_t ticks = 0;
  for (size_t i = from; i < to && i < m_log.size(); ++i) ticks += m_log[i].message == WM_HOST_DEVICE_CHANGED ? 1 : 0;
  return ticks;
}

size_t MessageRecorder::Drain() {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
  return m_log.size();
}

bool MessageRecorder::WaitTicks(size_t count) {
  const size_t target = Ticks() + count;
  return WaitUntil([&] { return Ticks() >= target; },
                   kTickWaitBaseMs + static_cast<DWORD>(count) * kTickWaitPerTickMs);
}

bool NextFrame(const std::wstring& instance, LONG64 after, FrameRingFrame* frame) {
  CFrameRingReader reader;
  return SUCCEEDED(reader.Open(instance.c_str())) && reader.WaitForFrame(after, kFrameWaitMs) &&
         reader.PeekLatest(frame);
}

void GraphMngTest::SetUp() {
  StatusFixture::SetUp();
  ASSERT_NE(nullptr, messages.Window());
}

void GraphMngTest::TearDown() {
  graph.reset();
  camera.Reset();
  ExpectNoLiveFilters();
}

void GraphMngTest::Create(BOOL exitWhenNoClient) {
  graph.reset(CFontisGraphMng::CreateInstance(instance.c_str(), exitWhenNoClient));
  ASSERT_TRUE(graph);
  ASSERT_EQ(S_OK, clients.Open(instance));
}

HRESULT GraphMngTest::Configure(size_t cameraProfile, BOOL build) {
  camera = OpenCamera(cameraProfile);
  return graph->SetCaptureFilter(camera.Get(), build, FALSE, messages.Window(), FALSE);
}

HRESULT GraphMngTest::BuildAtRequestedFormat() {
  CMediaType requested;
  HRESULT hr = graph->GetRequestedFormat(&requested);
  if (SUCCEEDED(hr)) hr = graph->SetCaptureFormat(&requested);
  return SUCCEEDED(hr) ? graph->BuildGraph(FALSE, 0) : hr;
}

void GraphMngTest::StartTicking() { ASSERT_EQ(S_OK, client.RequestDevice(L"Another camera", GUID_NULL)); }

SIZE GraphMngTest::DeliveredSize() const {
  CMediaType delivered;
  SIZE size = {0, 0};
  if (SUCCEEDED(GetConnectedFormat(camera.Get(), PIN_CATEGORY_CAPTURE, &delivered)) && delivered.VideoInfo()) {
    size.cx = delivered.VideoInfo()->bmiHeader.biWidth;
    size.cy = delivered.VideoInfo()->bmiHeader.biHeight;
  }
  return size;
}
