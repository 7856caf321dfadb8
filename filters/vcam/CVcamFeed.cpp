// The virtual camera's frames: the ring's newest frame while frames come, a placeholder while not.
#include "filters/vcam/CVcamFeed.h"

#include <utility>

namespace {

constexpr LONG64 kRingUnitsPerMs = 10000;  // the ring's clock counts 100 ns units

}  // namespace

CVcamFeed::CVcamFeed(const WCHAR* instanceName, const TargetFormat& target,
                     std::shared_ptr<const std::atomic<int>> launchState)
    : m_target(target), m_launchState(std::move(launchState)) {
  BoundedCopy(m_instance, instanceName);
  m_observer.SetInstance(m_instance);
}

void CVcamFeed::OpenRing(ULONGLONG now) {
  m_nextRingLook = now + kLookEveryMs;
  m_ringOpenedAt = now;
  m_ringOpen = SUCCEEDED(m_ring.Open(m_instance));
  // A ring opened afresh may be another writer's record with counters of its own.
  m_lastCounter = 0;
  m_firstSinceOpen = true;
}

bool CVcamFeed::TakeNewFrame(ULONGLONG now) {
  const ULONGLONG quietSince = m_freshSince > m_ringOpenedAt ? m_freshSince : m_ringOpenedAt;
  if (!m_ringOpen || now - quietSince >= kReopenAfterMs) {
    if (now < m_nextRingLook) return false;
    OpenRing(now);
    if (!m_ringOpen) return false;
  }
  const LONG64 latest = m_ring.LatestCounter();
  if (latest == 0 || latest == m_lastCounter) return false;

  // Read beside the frame on show: a read that fails may leave part of a frame behind.
  std::vector<BYTE>& incoming = m_incoming;
  FrameRingFrame frame = {};
  const HRESULT hr = m_ring.ReadLatest(&incoming, &frame);
  if (hr != S_OK) {
    // A record that lies stays a lie until the next frame; one overwritten under us is retried.
    if (FAILED(hr) && hr != CFrameRingReader::kErrRingBusy) {
      ++m_framesRefused;
      m_lastCounter = latest;
      m_haveFrame = false;
    }
    return false;
  }
  m_lastCounter = frame.counter;
  FrameLayout layout;
  if (FAILED(DescribeSourceFrame(SourceFrameOf(frame, incoming.data(), incoming.size()), &layout))) {
    ++m_framesRefused;
    m_haveFrame = false;
    return false;
  }
  const bool first = m_firstSinceOpen;
  m_firstSinceOpen = false;
  if (first) {
    // The frame that was newest when the ring was opened may be long gone by: a host that
    // stopped its camera leaves its last frame behind.
    const LONG64 age = RingClockNow() - frame.arrival;
    if (age < 0 || age >= static_cast<LONG64>(kStaleAfterMs) * kRingUnitsPerMs) {
      m_haveFrame = false;
      return false;
    }
  }
  m_pixels.swap(incoming);
  m_frame = frame;
  m_haveFrame = true;
  m_freshSince = now;
  ++m_framesTaken;
  return true;
}

HRESULT CVcamFeed::NextFrame(BYTE* out, size_t outBytes, bool* live) {
  if (out == nullptr || live == nullptr) return E_POINTER;
  const ULONGLONG now = ::GetTickCount64();
  TakeNewFrame(now);
  if (m_haveFrame && now - m_freshSince < kStaleAfterMs) {
    const SourceFrame source = SourceFrameOf(m_frame, m_pixels.data(), m_pixels.size());
    if (SUCCEEDED(m_converter.Convert(source, m_target, out, outBytes))) {
      *live = true;
      return S_OK;
    }
    ++m_framesRefused;
    m_haveFrame = false;
  }
  if (now >= m_nextHostLook) {
    const auto launch = static_cast<HostLaunchState>(m_launchState ? m_launchState->load() : 0);
    m_reason = ChoosePlaceholder(m_observer.Look(), launch, m_framesTaken > 0);
    m_nextHostLook = now + kLookEveryMs;
  }
  *live = false;
  return m_placeholder.Render(m_reason, m_target, out, outBytes);
}
