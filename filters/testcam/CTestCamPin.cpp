// The test camera's output pin: formats, pin category and the frame-producing thread.
#include "filters/testcam/CTestCamPin.h"

#include <uuids.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "common/CScopedLock.h"
#include "filters/base/CBaseFilter.h"
#include "filters/testcam/TestCamFaults.h"
#include "filters/testcam/TestCameraFormats.h"
#include "filters/testcam/TestPattern.h"

using Microsoft::WRL::ComPtr;

namespace {
constexpr long kBufferCount = 4;
constexpr REFERENCE_TIME kDefaultInterval = 333333;
// Further behind than this many frames, the thread starts afresh from the current time rather
// than sending a burst of late frames.
constexpr REFERENCE_TIME kMaxFramesBehind = 4;
// After a refused buffer, wait a little instead of spinning.
constexpr DWORD kRetryDelayMs = 5;
constexpr size_t kFullCapsSize = sizeof(VIDEO_STREAM_CONFIG_CAPS);
static_assert(sizeof(VIDEO_STREAM_CONFIG_CAPS) == 128, "capability record layout");
}  // namespace

CTestCamPin::CTestCamPin(CBaseFilter* filter, const TestCameraProfile& profile, const wchar_t* name,
                         REFGUID category)
    : CBaseOutputPin(filter, name),
      m_profile(profile),
      m_category(category),
      m_wake(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

CTestCamPin::~CTestCamPin() {
  // The graph stops a filter before releasing it; this only guards against a caller that did not.
  if (m_thread.IsValid()) OnInactive();
}

STDMETHODIMP CTestCamPin::QueryInterface(REFIID riid, void** object) { return CBaseOutputPin::QueryInterface(riid, object); }
STDMETHODIMP_(ULONG) CTestCamPin::AddRef() { return CBaseOutputPin::AddRef(); }
STDMETHODIMP_(ULONG) CTestCamPin::Release() { return CBaseOutputPin::Release(); }

HRESULT CTestCamPin::QueryPinInterface(REFIID riid, void** object) {
  if (riid == IID_IAMStreamConfig) {
    *object = static_cast<IAMStreamConfig*>(this);
  } else if (riid == IID_IKsPropertySet && m_profile.pinPropertySet) {
    *object = static_cast<IKsPropertySet*>(this);
  } else if (riid == IID_IAMDroppedFrames) {
    *object = static_cast<IAMDroppedFrames*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

// ---- media types ----

HRESULT CTestCamPin::CheckMediaType(const CMediaType& type) {
  size_t index = 0;
  if (!FindTestCamFormat(m_profile, type.Get(), &index)) return VFW_E_TYPE_NOT_ACCEPTED;
  CScopedLock lock(&m_filter->FilterLock());
  if (m_format.HasType()) {
    // After SetFormat only that format (in either row order for RGB) is offered.
    size_t fixed = 0;
    if (!FindTestCamFormat(m_profile, m_format.Get(), &fixed) || fixed != index) return VFW_E_TYPE_NOT_ACCEPTED;
  }
  return S_OK;
}

HRESULT CTestCamPin::GetMediaType(int index, CMediaType* type) {
  if (type == nullptr) return E_POINTER;
  if (index < 0) return E_INVALIDARG;
  CScopedLock lock(&m_filter->FilterLock());
  if (m_format.HasType()) {
    if (index > 0) return VFW_S_NO_MORE_ITEMS;
    return type->CopyFrom(m_format);
  }
  if (static_cast<size_t>(index) >= m_profile.formatCount) return VFW_S_NO_MORE_ITEMS;
  return BuildTestCamMediaType(m_profile.formats[index], type);
}

HRESULT CTestCamPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  const long imageSize = static_cast<long>(m_mt.Get().lSampleSize);
  request->cBuffers = std::max(request->cBuffers, kBufferCount);
  request->cbBuffer = std::max(request->cbBuffer, imageSize);
  request->cbAlign = std::max(request->cbAlign, 1L);
  ALLOCATOR_PROPERTIES actual = {};
  const HRESULT hr = allocator->SetProperties(request, &actual);
  if (FAILED(hr)) return hr;
  return actual.cbBuffer >= imageSize && actual.cBuffers >= 1 ? S_OK : E_FAIL;
}

// ---- IAMStreamConfig ----

STDMETHODIMP CTestCamPin::SetFormat(AM_MEDIA_TYPE* type) {
  if (type == nullptr) return E_POINTER;
  CScopedLock lock(&m_filter->FilterLock());
  if (m_filter->CurrentState() != State_Stopped) return VFW_E_NOT_STOPPED;
  size_t index = 0;
  if (!FindTestCamFormat(m_profile, *type, &index)) return VFW_E_INVALIDMEDIATYPE;
  if (m_profile.injectsFaults) {
    const HRESULT fault = SizeFault(m_profile.formats[index].width, m_profile.formats[index].height);
    if (FAILED(fault)) return fault;
  }
  CMediaType wanted;
  HRESULT hr = wanted.CopyFrom(*type);
  if (FAILED(hr)) return hr;
  if (!IsConnected() || wanted == m_mt) {
    m_format = std::move(wanted);
    return S_OK;
  }
  // A connected pin changes its type through a reconnection, which only the graph performs;
  // nothing changes unless the peer takes the new type.
  IFilterGraph* graph = m_filter->Graph();
  if (graph == nullptr) return VFW_E_NOT_IN_GRAPH;
  if (m_peer->QueryAccept(&wanted.Get()) != S_OK) return VFW_E_INVALIDMEDIATYPE;
  hr = m_format.CopyFrom(wanted);
  if (FAILED(hr)) return hr;
  ComPtr<IFilterGraph2> graph2;
  if (SUCCEEDED(graph->QueryInterface(IID_PPV_ARGS(&graph2)))) return graph2->ReconnectEx(this, &wanted.Get());
  return graph->Reconnect(this);
}

STDMETHODIMP CTestCamPin::GetFormat(AM_MEDIA_TYPE** type) {
  if (type == nullptr) return E_POINTER;
  *type = nullptr;
  CScopedLock lock(&m_filter->FilterLock());
  CMediaType first;
  if (!IsConnected() && !m_format.HasType()) {
    const HRESULT hr = BuildTestCamMediaType(m_profile.formats[0], &first);
    if (FAILED(hr)) return hr;
  }
  const CMediaType& current = IsConnected() ? m_mt : m_format.HasType() ? m_format : first;
  *type = current.CreateTaskMemCopy();
  return *type != nullptr ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CTestCamPin::GetNumberOfCapabilities(int* count, int* size) {
  if (count == nullptr || size == nullptr) return E_POINTER;
  *count = static_cast<int>(m_profile.formatCount);
  *size = static_cast<int>(m_profile.capsRecordSize);
  return S_OK;
}

STDMETHODIMP CTestCamPin::GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) {
  if (type == nullptr || caps == nullptr) return E_POINTER;
  *type = nullptr;
  if (index < 0 || static_cast<size_t>(index) >= m_profile.formatCount) return S_FALSE;
  const TestCameraFormat& format = m_profile.formats[index];
  CMediaType built;
  const HRESULT hr = BuildTestCamMediaType(format, &built);
  if (FAILED(hr)) return hr;
  VIDEO_STREAM_CONFIG_CAPS record = {};
  BuildTestCamStreamCaps(format, &record);
  // The caller's buffer has the size this pin reported, which may be shorter than the record.
  std::memcpy(caps, &record, std::min<size_t>(kFullCapsSize, m_profile.capsRecordSize));
  *type = built.CreateTaskMemCopy();
  return *type != nullptr ? S_OK : E_OUTOFMEMORY;
}

// ---- IKsPropertySet ----

STDMETHODIMP CTestCamPin::Set(REFGUID, DWORD, LPVOID, DWORD, LPVOID, DWORD) { return E_NOTIMPL; }

STDMETHODIMP CTestCamPin::Get(REFGUID set, DWORD id, LPVOID, DWORD, LPVOID data, DWORD dataSize, DWORD* returned) {
  if (set != AMPROPSETID_Pin) return E_PROP_SET_UNSUPPORTED;
  if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
  if (data == nullptr && returned == nullptr) return E_POINTER;
  if (returned != nullptr) *returned = sizeof(GUID);
  if (data == nullptr) return S_OK;  // the caller asks for the size only
  if (dataSize < sizeof(GUID)) return E_UNEXPECTED;
  std::memcpy(data, &m_category, sizeof(GUID));
  return S_OK;
}

STDMETHODIMP CTestCamPin::QuerySupported(REFGUID set, DWORD id, DWORD* support) {
  if (set != AMPROPSETID_Pin) return E_PROP_SET_UNSUPPORTED;
  if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
  if (support != nullptr) *support = KSPROPERTY_SUPPORT_GET;
  return S_OK;
}

// ---- IAMDroppedFrames ----

STDMETHODIMP CTestCamPin::GetNumDropped(LONG* dropped) {
  if (dropped == nullptr) return E_POINTER;
  *dropped = m_dropped.load();
  return S_OK;
}

STDMETHODIMP CTestCamPin::GetNumNotDropped(LONG* delivered) {
  if (delivered == nullptr) return E_POINTER;
  *delivered = m_delivered.load();
  return S_OK;
}

STDMETHODIMP CTestCamPin::GetDroppedInfo(LONG, LONG*, LONG* copied) {
  if (copied != nullptr) *copied = 0;
  return E_NOTIMPL;
}

STDMETHODIMP CTestCamPin::GetAverageFrameSize(LONG* averageSize) {
  if (averageSize == nullptr) return E_POINTER;
  CScopedLock lock(&m_filter->FilterLock());
  *averageSize = IsConnected() ? static_cast<LONG>(m_mt.Get().lSampleSize) : 0;
  return S_OK;
}

// ---- streaming ----

void CTestCamPin::SetStreamState(StreamState state) {
  {
    CScopedLock lock(&m_streamLock);
    LARGE_INTEGER now = {};
    ::QueryPerformanceCounter(&now);
    // Without a graph clock the stream time is the running time since OnActive: a pause
    // shifts the start by its length, so times keep increasing across it.
    if (state == StreamState::Running && m_streamState != StreamState::Running) {
      m_runStartCounter.QuadPart += now.QuadPart - m_pausedCounter.QuadPart;
    } else if (state != StreamState::Running && m_streamState == StreamState::Running) {
      m_pausedCounter = now;
    }
    m_streamState = state;
  }
  ::SetEvent(m_wake.Get());
}

HRESULT CTestCamPin::OnActive() {
  HRESULT hr = CBaseOutputPin::OnActive();
  if (FAILED(hr)) return hr;
  if (!m_wake.IsValid()) return E_OUTOFMEMORY;
  {
    CScopedLock lock(&m_streamLock);
    m_streamState = StreamState::Paused;
    ::QueryPerformanceCounter(&m_runStartCounter);
    m_pausedCounter = m_runStartCounter;
  }
  m_frameNumber = 0;
  m_thread.Reset(::CreateThread(nullptr, 0, &CTestCamPin::ThreadEntry, this, 0, nullptr));
  if (!m_thread.IsValid()) {
    hr = HRESULT_FROM_WIN32(::GetLastError());
    CBaseOutputPin::OnInactive();
    return hr;
  }
  return S_OK;
}

HRESULT CTestCamPin::OnRun(REFERENCE_TIME) {
  SetStreamState(StreamState::Running);
  return S_OK;
}

HRESULT CTestCamPin::OnPause() {
  SetStreamState(StreamState::Paused);
  return S_OK;
}

HRESULT CTestCamPin::OnInactive() {
  SetStreamState(StreamState::Quit);
  // Decommit first: it releases a thread waiting for a free buffer.
  const HRESULT hr = CBaseOutputPin::OnInactive();
  if (m_thread.IsValid()) {
    ::WaitForSingleObject(m_thread.Get(), INFINITE);
    m_thread.Close();
  }
  return hr;
}

DWORD WINAPI CTestCamPin::ThreadEntry(void* self) {
  static_cast<CTestCamPin*>(self)->StreamLoop();
  return 0;
}

REFERENCE_TIME CTestCamPin::StreamNow() {
  // The filter's start time is set before the pins hear of the run, so the clock is usable
  // from the first frame on.
  ComPtr<IReferenceClock> clock;
  REFERENCE_TIME runStart = 0;
  m_filter->GetClockAndStart(&clock, &runStart);
  REFERENCE_TIME now = 0;
  if (clock && SUCCEEDED(clock->GetTime(&now))) return now - runStart;
  LARGE_INTEGER frequency = {};
  LARGE_INTEGER counter = {};
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&counter);
  LARGE_INTEGER start = {};
  {
    CScopedLock lock(&m_streamLock);
    start = m_runStartCounter;
  }
  const LONGLONG ticks = counter.QuadPart - start.QuadPart;
  // Split to keep ticks * 10^7 from overflowing.
  return (ticks / frequency.QuadPart) * 10000000 + ((ticks % frequency.QuadPart) * 10000000) / frequency.QuadPart;
}

void CTestCamPin::StreamLoop() {
  // The connection type cannot change while the filter is not stopped, so it is read once.
  const AM_MEDIA_TYPE& type = m_mt.Get();
  REFERENCE_TIME interval = kDefaultInterval;
  if (type.formattype == FORMAT_VideoInfo && type.pbFormat != nullptr && type.cbFormat >= sizeof(VIDEOINFOHEADER)) {
    const REFERENCE_TIME fromFormat = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat)->AvgTimePerFrame;
    if (fromFormat > 0) interval = fromFormat;
  }
  bool scheduled = false;  // `next` holds the start time of the next frame of this run
  bool discontinuity = true;
  REFERENCE_TIME next = 0;
  for (;;) {
    StreamState state = StreamState::Paused;
    {
      CScopedLock lock(&m_streamLock);
      state = m_streamState;
    }
    if (state == StreamState::Quit) return;
    if (state == StreamState::Paused) {
      scheduled = false;
      ::WaitForSingleObject(m_wake.Get(), INFINITE);
      continue;
    }
    const REFERENCE_TIME now = StreamNow();
    if (!scheduled || now - next > kMaxFramesBehind * interval) {
      next = now;
      scheduled = true;
    }
    if (now < next) {
      const DWORD waitMs = static_cast<DWORD>((next - now + 9999) / 10000);
      ::WaitForSingleObject(m_wake.Get(), waitMs);
      continue;
    }
    DeliverFrame(next, interval, discontinuity);
    discontinuity = false;
    next += interval;
  }
}

void CTestCamPin::DeliverFrame(REFERENCE_TIME start, REFERENCE_TIME interval, bool discontinuity) {
  const uint32_t number = m_frameNumber++;
  ComPtr<IMediaSample> sample;
  if (FAILED(GetDeliveryBuffer(&sample)) || !sample) {
    // Decommitted (stopping) or out of buffers: the frame is lost.
    ++m_dropped;
    ::WaitForSingleObject(m_wake.Get(), kRetryDelayMs);
    return;
  }
  TestFrameLayout layout = {};
  BYTE* data = nullptr;
  if (!TestFrameLayoutFromType(m_mt.Get(), &layout) || FAILED(sample->GetPointer(&data)) ||
      static_cast<size_t>(sample->GetSize()) < layout.imageSize) {
    ++m_dropped;
    return;
  }
  DrawTestFrame(layout, TestCameraIndexOf(m_profile), number, data);
  REFERENCE_TIME stop = start + interval;
  sample->SetActualDataLength(static_cast<long>(layout.imageSize));
  sample->SetTime(&start, &stop);
  LONGLONG mediaStart = number;
  LONGLONG mediaStop = static_cast<LONGLONG>(number) + 1;
  sample->SetMediaTime(&mediaStart, &mediaStop);
  sample->SetSyncPoint(TRUE);
  sample->SetDiscontinuity(discontinuity ? TRUE : FALSE);
  const HRESULT hr = Deliver(sample.Get());
  if (hr == S_OK) {
    ++m_delivered;
  } else {
    ++m_dropped;
  }
}
