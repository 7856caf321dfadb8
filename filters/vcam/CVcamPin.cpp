// The virtual camera's output pin: formats, latency and the frames of the feed.
#include "filters/vcam/CVcamPin.h"

#include <uuids.h>

#include <new>

#include "common/CScopedLock.h"
#include "filters/vcam/CVcamFilter.h"
#include "filters/vcam/VcamFormats.h"

CVcamPin::CVcamPin(CVcamFilter* filter)
    : CCaptureSourcePin(filter, L"Capture", PIN_CATEGORY_CAPTURE), m_vcam(filter) {}

CVcamPin::~CVcamPin() {
  // The graph stops a filter before releasing it; this only guards against a caller that did not.
  if (IsStreaming()) OnInactive();
}

STDMETHODIMP CVcamPin::QueryInterface(REFIID riid, void** object) { return CCaptureSourcePin::QueryInterface(riid, object); }
STDMETHODIMP_(ULONG) CVcamPin::AddRef() { return CCaptureSourcePin::AddRef(); }
STDMETHODIMP_(ULONG) CVcamPin::Release() { return CCaptureSourcePin::Release(); }

HRESULT CVcamPin::QueryPinInterface(REFIID riid, void** object) {
  if (riid == IID_IAMPushSource || riid == IID_IAMLatency) {
    *object = static_cast<IAMPushSource*>(this);
    AddRef();
    return S_OK;
  }
  return CCaptureSourcePin::QueryPinInterface(riid, object);
}

size_t CVcamPin::CapabilityCount() const { return kVcamFormatCount; }

HRESULT CVcamPin::GetCapability(size_t index, CMediaType* type, VIDEO_STREAM_CONFIG_CAPS* caps) const {
  if (caps != nullptr) BuildVcamStreamCaps(index, caps);
  return BuildVcamMediaType(index, type);
}

bool CVcamPin::FindCapability(const AM_MEDIA_TYPE& type, size_t* index) const { return FindVcamFormat(type, index); }

void CVcamPin::OnFormatChanged() {
  CMediaType format;
  if (SUCCEEDED(CurrentFormat(&format))) m_vcam->Client().SetFormat(format.Get());
}

// ---- IAMLatency, IAMPushSource ----

STDMETHODIMP CVcamPin::GetLatency(REFERENCE_TIME* latency) {
  if (latency == nullptr) return E_POINTER;
  CScopedLock lock(&m_filter->FilterLock());
  TargetFormat target;
  size_t bytes = 0;
  REFERENCE_TIME interval = kVcamFrameInterval;
  if (IsConnected()) VcamTargetOf(m_mt.Get(), &target, &bytes, &interval);
  *latency = interval;
  return S_OK;
}

STDMETHODIMP CVcamPin::GetPushSourceFlags(ULONG* flags) {
  if (flags == nullptr) return E_POINTER;
  *flags = 0;  // stream time of the graph's clock, the default of live sources
  return S_OK;
}

STDMETHODIMP CVcamPin::SetPushSourceFlags(ULONG) { return E_NOTIMPL; }

STDMETHODIMP CVcamPin::SetStreamOffset(REFERENCE_TIME offset) {
  CScopedLock lock(&m_filter->FilterLock());
  m_streamOffset = offset;
  return S_OK;
}

STDMETHODIMP CVcamPin::GetStreamOffset(REFERENCE_TIME* offset) {
  if (offset == nullptr) return E_POINTER;
  CScopedLock lock(&m_filter->FilterLock());
  *offset = m_streamOffset;
  return S_OK;
}

STDMETHODIMP CVcamPin::GetMaxStreamOffset(REFERENCE_TIME* offset) {
  if (offset == nullptr) return E_POINTER;
  CScopedLock lock(&m_filter->FilterLock());
  *offset = m_maxStreamOffset;
  return S_OK;
}

STDMETHODIMP CVcamPin::SetMaxStreamOffset(REFERENCE_TIME offset) {
  CScopedLock lock(&m_filter->FilterLock());
  m_maxStreamOffset = offset;
  return S_OK;
}

// ---- streaming ----

HRESULT CVcamPin::OnActive() {
  TargetFormat target;
  REFERENCE_TIME interval = 0;
  if (!VcamTargetOf(m_mt.Get(), &target, &m_imageBytes, &interval)) return VFW_E_TYPE_NOT_ACCEPTED;
  WCHAR instance[kNameCapacity];
  m_vcam->Client().CopyInstance(instance);
  m_feed.reset(new (std::nothrow) CVcamFeed(instance, target, m_vcam->Client().LaunchState()));
  if (!m_feed) return E_OUTOFMEMORY;
  const HRESULT hr = CCaptureSourcePin::OnActive();
  if (FAILED(hr)) m_feed.reset();
  return hr;
}

HRESULT CVcamPin::OnInactive() {
  const HRESULT hr = CCaptureSourcePin::OnInactive();
  m_feed.reset();
  return hr;
}

HRESULT CVcamPin::FillSample(IMediaSample* sample, uint32_t) {
  BYTE* data = nullptr;
  if (!m_feed || FAILED(sample->GetPointer(&data)) || sample->GetSize() < 0 ||
      static_cast<size_t>(sample->GetSize()) < m_imageBytes) {
    return E_FAIL;
  }
  bool live = false;
  const HRESULT hr = m_feed->NextFrame(data, m_imageBytes, &live);
  if (FAILED(hr)) return hr;
  sample->SetActualDataLength(static_cast<long>(m_imageBytes));
  return S_OK;
}
