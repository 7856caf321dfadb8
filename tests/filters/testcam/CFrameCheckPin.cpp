// Frame-checking input pin used by the test camera's graph tests.
#include "CFrameCheckPin.h"

#include <uuids.h>

#include "filters/base/CBaseFilter.h"
#include "filters/testcam/TestPattern.h"

CFrameCheckPin::CFrameCheckPin(CBaseFilter* filter, const GUID& onlySubtype)
    : CBaseInputPin(filter, L"In"), m_onlySubtype(onlySubtype), m_sampleEvent(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

HRESULT CFrameCheckPin::CheckMediaType(const CAmMediaType& type) {
  if (type.Get().majortype != MEDIATYPE_Video || type.VideoInfo() == nullptr) return VFW_E_TYPE_NOT_ACCEPTED;
  if (m_onlySubtype != GUID_NULL && type.Get().subtype != m_onlySubtype) return VFW_E_TYPE_NOT_ACCEPTED;
  return S_OK;
}

HRESULT CFrameCheckPin::OnActive() {
  ResetStats();
  return S_OK;
}

FrameCheckStats CFrameCheckPin::Stats() {
  CLockGuard lock(m_statsLock);
  return m_stats;
}

void CFrameCheckPin::ResetStats() {
  CLockGuard lock(m_statsLock);
  m_stats = FrameCheckStats{};
}

HRESULT CFrameCheckPin::OnReceive(IMediaSample* sample) {
  BYTE* data = nullptr;
  sample->GetPointer(&data);
  const long length = sample->GetActualDataLength();
  REFERENCE_TIME start = 0;
  REFERENCE_TIME stop = 0;
  const HRESULT timeResult = sample->GetTime(&start, &stop);
  const bool discontinuity = sample->IsDiscontinuity() == S_OK;
  REFERENCE_TIME now = 0;
  const bool clocked = SUCCEEDED(m_filter->GetStreamTime(&now));
  // The type cannot change between samples without a new type on the sample, which the base
  // applies before this call.
  const ULONG sampleSize = ConnectionType().Get().lSampleSize;
  const VIDEOINFOHEADER* info = ConnectionType().VideoInfo();
  const REFERENCE_TIME interval = info != nullptr ? info->AvgTimePerFrame : 0;
  {
    CLockGuard lock(m_statsLock);
    FrameCheckStats& s = m_stats;
    uint32_t counter = 0;
    if (!ReadFrameCounter(data, length > 0 ? static_cast<size_t>(length) : 0, &counter)) {
      ++s.unreadableCounters;
    } else {
      if (s.samples > 0 && counter != s.lastCounter + 1) ++s.counterGaps;
      if (s.samples == 0) s.firstCounter = counter;
      s.lastCounter = counter;
    }
    if (static_cast<ULONG>(length) != sampleSize) ++s.wrongLengths;
    if (discontinuity) ++s.discontinuities;
    if (timeResult != S_OK) {
      ++s.missingTimes;
    } else {
      if (stop <= start || (s.samples > 0 && start <= s.lastStart)) ++s.nonIncreasingTimes;
      if (s.samples > 0 && !discontinuity && start - s.lastStart != interval) ++s.irregularSpacing;
      if (s.samples == 0) s.firstStart = start;
      if (clocked) {
        const REFERENCE_TIME lateness = now - start;
        if (s.timedSamples == 0 || lateness < s.minLateness) s.minLateness = lateness;
        if (s.timedSamples == 0 || lateness > s.maxLateness) s.maxLateness = lateness;
        ++s.timedSamples;
      }
      s.lastStart = start;
      s.lastStop = stop;
    }
    ++s.samples;
  }
  ::SetEvent(m_sampleEvent.Get());
  return S_OK;
}
