// The frame-keeping sink of fontisctl capture.
#include "CFrameSink.h"

#include <cstring>
#include <new>

#include "common/CScopedLock.h"

HRESULT CFrameSink::Pin::CheckMediaType(const CMediaType& type) {
  return type == static_cast<CFrameSink*>(m_filter)->m_type ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CFrameSink::Pin::GetMediaType(int index, CMediaType* type) {
  if (type == nullptr) return E_POINTER;
  if (index < 0) return E_INVALIDARG;
  if (index > 0) return VFW_S_NO_MORE_ITEMS;
  return type->CopyFrom(static_cast<CFrameSink*>(m_filter)->m_type);
}

HRESULT CFrameSink::Pin::OnReceive(IMediaSample* sample) { return static_cast<CFrameSink*>(m_filter)->Keep(sample); }

CFrameSink::CFrameSink(size_t frameBytes, LONG frames, HANDLE rawFile)
    : CBaseFilter(GUID_NULL),
      m_pin(this),
      m_frameBytes(frameBytes),
      m_framesWanted(frames),
      m_rawFile(rawFile),
      m_frameEvent(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

HRESULT CFrameSink::Create(const CMediaType& type, size_t frameBytes, LONG frames, HANDLE rawFile,
                           CFrameSink** sink) {
  if (sink == nullptr) return E_POINTER;
  *sink = nullptr;
  if (frameBytes == 0 || frames <= 0) return E_INVALIDARG;
  CFrameSink* created = new (std::nothrow) CFrameSink(frameBytes, frames, rawFile);
  if (created == nullptr) return E_OUTOFMEMORY;
  HRESULT hr = created->m_type.CopyFrom(type);
  if (SUCCEEDED(hr) && !created->m_frameEvent.IsValid()) hr = HRESULT_FROM_WIN32(::GetLastError());
  if (SUCCEEDED(hr)) {
    // Reserved up front: the streaming thread then never allocates.
    created->m_lastFrame.reserve(frameBytes);
    created->m_times.reserve(static_cast<size_t>(frames));
    if (created->m_lastFrame.capacity() < frameBytes) hr = E_OUTOFMEMORY;
  }
  if (FAILED(hr)) {
    created->Release();
    return hr;
  }
  *sink = created;
  return S_OK;
}

HRESULT CFrameSink::Keep(IMediaSample* sample) {
  BYTE* data = nullptr;
  const long length = sample->GetActualDataLength();
  const bool whole = SUCCEEDED(sample->GetPointer(&data)) && data != nullptr && length >= 0 &&
                     static_cast<size_t>(length) >= m_frameBytes;
  SampleTime time;
  REFERENCE_TIME start = 0, stop = 0;
  const HRESULT timed = sample->GetTime(&start, &stop);
  // VFW_S_NO_STOP_TIME: the start alone is valid.
  time.hasStart = timed == S_OK || timed == VFW_S_NO_STOP_TIME;
  time.hasStop = timed == S_OK;
  time.start = time.hasStart ? start : 0;
  time.stop = time.hasStop ? stop : 0;

  CScopedLock lock(&m_lock);
  if (!whole) {
    ++m_shortSamples;
    return S_OK;
  }
  if (m_framesKept >= m_framesWanted) return S_OK;
  if (m_rawFile != nullptr && !m_writeFailed) {
    DWORD written = 0;
    m_writeFailed = !::WriteFile(m_rawFile, data, static_cast<DWORD>(m_frameBytes), &written, nullptr) ||
                    written != m_frameBytes;
  }
  m_lastFrame.assign(data, data + m_frameBytes);
  m_times.push_back(time);
  ++m_framesKept;
  ::SetEvent(m_frameEvent.Get());
  return S_OK;
}

LONG CFrameSink::FramesKept() {
  CScopedLock lock(&m_lock);
  return m_framesKept;
}

LONG CFrameSink::ShortSamples() {
  CScopedLock lock(&m_lock);
  return m_shortSamples;
}

bool CFrameSink::WriteFailed() {
  CScopedLock lock(&m_lock);
  return m_writeFailed;
}

std::vector<CFrameSink::SampleTime> CFrameSink::Times() {
  CScopedLock lock(&m_lock);
  return m_times;
}

std::vector<BYTE> CFrameSink::LastFrame() {
  CScopedLock lock(&m_lock);
  return m_lastFrame;
}
