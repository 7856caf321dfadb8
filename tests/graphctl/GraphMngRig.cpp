#include "GraphMngRig.h"

#include <uuids.h>

#include <algorithm>

#include "capture/CaptureFormat.h"
#include "framering/CFrameRingReader.h"

MessageRecorder::MessageRecorder()
    : m_window(::CreateWindowExW(0, L"STATIC", L"recorder", WS_OVERLAPPEDWINDOW, 0, 0, 320, 300, nullptr, nullptr,
                                 nullptr, nullptr)) {
  ::SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  ::SetWindowLongPtrW(m_window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Procedure));
}

LRESULT CALLBACK MessageRecorder::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* recorder = reinterpret_cast<MessageRecorder*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  const bool ours = message == WM_HOST_FORMAT_CHANGED || message == WM_HOST_CHECK_CLIENTS ||
                    message == WM_HOST_DEVICE_CHANGED || message == WM_QUIT;
  if (recorder == nullptr || !ours) return ::DefWindowProcW(window, message, wParam, lParam);
  // The client check always asks for the count: record any other as something else.
  recorder->m_log.push_back(message == WM_HOST_CHECK_CLIENTS && wParam != kCheckClientsAskCount ? WM_NULL : message);
  return 0;
}

size_t MessageRecorder::Count(UINT message, size_t from, size_t to) const {
  to = std::min(to, m_log.size());
  return from >= to ? 0 : static_cast<size_t>(std::count(m_log.begin() + from, m_log.begin() + to, message));
}

std::vector<size_t> MessageRecorder::IndicesOf(UINT message) const {
  std::vector<size_t> indices;
  for (size_t i = 0; i < m_log.size(); ++i) {
    if (m_log[i] == message) indices.push_back(i);
  }
  return indices;
}

size_t MessageRecorder::Drain() {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
  return m_log.size();
}

bool MessageRecorder::WaitTicks(size_t count) {
  const size_t target = Ticks() + count;
  return WaitUntil([&] { return Ticks() >= target; }, 10000 + static_cast<DWORD>(count) * 200);
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
  camera = CreateTestCamera(cameraProfile);
  return graph->SetCaptureFilter(camera.Get(), build, FALSE, messages.Window(), FALSE);
}

HRESULT GraphMngTest::BuildAtRequestedFormat() {
  CMediaType requested;
  HRESULT hr = graph->GetRequestedFormat(&requested);
  if (SUCCEEDED(hr)) hr = graph->SetCaptureFormat(&requested);
  return SUCCEEDED(hr) ? graph->BuildGraph(FALSE, 0) : hr;
}

std::pair<LONG, LONG> GraphMngTest::DeliveredSize() const {
  CMediaType delivered;
  if (FAILED(GetConnectedFormat(camera.Get(), PIN_CATEGORY_CAPTURE, &delivered)) || !delivered.VideoInfo()) {
    return {0, 0};
  }
  return {delivered.VideoInfo()->bmiHeader.biWidth, delivered.VideoInfo()->bmiHeader.biHeight};
}

bool GraphMngTest::NextFrame(LONG64 after) const {
  CFrameRingReader reader;
  return SUCCEEDED(reader.Open(instance.c_str())) && reader.WaitForFrame(after, 10000);
}

std::tuple<int32_t, uint32_t, uint32_t, HRESULT, unsigned> GraphMngTest::Status() const {
  const GraphErrInfo record = Read();
  return std::make_tuple(record.state, record.pending, record.released, record.result, Events() & (kConnect | kRun));
}
