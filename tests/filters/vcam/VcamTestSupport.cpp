// The virtual camera tests' registration, settings, stand-in host and ring writer.
#include "VcamTestSupport.h"

#include <uuids.h>

#include "ipc/LiveInstance.h"

using Microsoft::WRL::ComPtr;

namespace {
constexpr DWORD kFrameGapMs = 33;
}  // namespace

RegisteredFilterDll* const g_vcam =
    static_cast<RegisteredFilterDll*>(::testing::AddGlobalTestEnvironment(new RegisteredFilterDll(L"fontis_vcam.dll")));

FakeHost::FakeHost(const std::wstring& instance) {
  if (FAILED(m_status.Open(instance.c_str())) ||
      !AcquireLiveInstance(instance.c_str(), m_status, m_liveLock, m_liveFlag, m_liveWait)) {
    return;
  }
  m_status.BeginOperation(kOpBuildGraph);
  m_status.EndOperation(S_OK, kOpBuildGraph);
  m_serving = true;
}

FakeHost::~FakeHost() {
  if (!m_serving) return;
  bool successorWaits = false;
  const bool lockHeld = BeginLiveInstanceEnd(m_liveFlag, m_liveLock, m_liveWait.Get(), &successorWaits);
  if (lockHeld && !successorWaits) m_status.Reset();
  FinishLiveInstanceEnd(m_liveFlag, m_liveLock, lockHeld);
}

TargetFormat SinkTarget(CFrameCheckRenderer& sink) {
  TargetFormat target;
  size_t bytes = 0;
  REFERENCE_TIME interval = 0;
  AM_MEDIA_TYPE type = {};
  if (SUCCEEDED(sink.InputPin().ConnectionMediaType(&type))) {
    VcamTargetOf(type, &target, &bytes, &interval);
    CMediaType::FreeFields(type);
  }
  return target;
}

CodedRingWriter::CodedRingWriter(const std::wstring& instance, int codes) {
  const size_t bytes = static_cast<size_t>(kWidth) * kHeight * 3 / 2;
  for (int code = 1; code <= codes && code <= kMaxCodes; ++code) {
    std::vector<BYTE> picture(bytes);
    const SourceFrame frame = {kFourccNv12, kWidth, kHeight, kWidth, false, picture.data(), picture.size()};
    if (!DrawCodedPicture(frame, static_cast<uint16_t>(code))) return;
    m_pictures.push_back(std::move(picture));
  }
  if (m_pictures.empty() || FAILED(m_writer.Open(instance.c_str())) ||
      FAILED(m_writer.Reserve(static_cast<LONG64>(bytes)))) {
    return;
  }
  m_started = true;
  m_thread = std::thread([this] { Run(); });
}

void CodedRingWriter::Stop() {
  m_stop = true;
  if (m_thread.joinable()) m_thread.join();
  m_writer.Close();
}

void CodedRingWriter::Run() {
  for (LONG64 n = 0; !m_stop; ++n) {
    if (!m_paused) {
      const size_t index = static_cast<size_t>(n % static_cast<LONG64>(m_pictures.size()));
      const std::vector<BYTE>& picture = m_pictures[index];
      FrameRingFrame frame = {};
      frame.timestamp = n * kVcamFrameInterval;
      frame.arrival = RingClockNow();
      frame.width = kWidth;
      frame.height = kHeight;
      frame.subtype = kFourccNv12;
      frame.stride = kWidth;
      frame.bytes = static_cast<LONG>(picture.size());
      m_published[index] = frame.arrival;
      m_writer.Publish(frame, picture.data());
    }
    ::Sleep(kFrameGapMs);
  }
}

uint16_t CodeOf(const TargetFormat& target, const BYTE* sample, size_t bytes) {
  uint16_t code = 0;
  std::string mismatch;
  const bool coded = sample != nullptr && bytes != 0 &&
                     ReadCheckedFrameCode(ViewOfTarget(target, sample, bytes), &code, &mismatch);
  return coded ? code : 0;
}
