// The frame-checking renderer of the graph tests.
#include "support/CFrameCheckRenderer.h"

#include <uuids.h>

#include "common/CScopedLock.h"
#include "filters/testcam/TestPattern.h"

HRESULT CFrameCheckRenderer::Pin::CheckMediaType(const CMediaType& type) {
  return type->majortype == MEDIATYPE_Video && type.VideoInfo() != nullptr ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CFrameCheckRenderer::Pin::OnActive() {
  CScopedLock lock(&m_lock);
  m_stats = FrameCheckStats{};
  m_newest.clear();
  return S_OK;
}

FrameCheckStats CFrameCheckRenderer::Pin::Stats() {
  CScopedLock lock(&m_lock);
  return m_stats;
}

void CFrameCheckRenderer::Pin::CopyNewest(std::vector<BYTE>* bytes) {
  CScopedLock lock(&m_lock);
  *bytes = m_newest;
}

HRESULT CFrameCheckRenderer::Pin::OnReceive(IMediaSample* sample) {
  BYTE* data = nullptr;
  sample->GetPointer(&data);
  const long length = sample->GetActualDataLength();
  REFERENCE_TIME start = 0, stop = 0;
  const bool timed = sample->GetTime(&start, &stop) == S_OK;
  const bool discontinuity = sample->IsDiscontinuity() == S_OK;
  // A type change travels on the sample, and the base applies it before this call.
  const REFERENCE_TIME interval = ConnectionType().VideoInfo()->AvgTimePerFrame;
  const size_t size = data != nullptr && length > 0 ? static_cast<size_t>(length) : 0;
  uint32_t counter = 0;  // stays 0 when the sample has none
  ReadFrameCounter(data, size, &counter);
  if (m_inspector) m_inspector(data, size);

  CScopedLock lock(&m_lock);
  FrameCheckStats& s = m_stats;
  const bool first = s.samples++ == 0;
  if (size == 0 || static_cast<ULONG>(length) != ConnectionType()->lSampleSize || !timed || stop <= start ||
      (!first && start <= s.lastStart)) {
    ++s.badSamples;
  }
  if (!first && counter != s.lastCounter + 1) ++s.counterGaps;
  if (!first && !discontinuity && start - s.lastStart != interval) ++s.irregularSpacing;
  if (discontinuity) ++s.discontinuities;
  if (first) s.firstCounter = counter;
  s.lastCounter = counter;
  s.lastStart = start;
  if (size != 0) m_newest.assign(data, data + size);
  return S_OK;
}
