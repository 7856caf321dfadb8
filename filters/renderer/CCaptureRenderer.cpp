// The capture renderer filter and its control interface.
#include "filters/renderer/CCaptureRenderer.h"

#include <cwchar>
#include <new>

#include "common/CScopedLock.h"
#include "common/CTaskMemMediaType.h"

CCaptureRenderer* CCaptureRenderer::Create() { return new (std::nothrow) CCaptureRenderer(); }

CCaptureRenderer::CCaptureRenderer() : CBaseFilter(CLSID_FontisCaptureRenderer), m_pin(this) {}

CCaptureRenderer::~CCaptureRenderer() { m_watcher.Stop(); }

HRESULT CCaptureRenderer::QueryFilterInterface(REFIID riid, void** object) {
  if (riid == IID_IRendererControl) {
    *object = static_cast<IRendererControl*>(this);
  } else if (riid == IID_IAMFilterMiscFlags) {
    *object = static_cast<IAMFilterMiscFlags*>(this);
  } else {
    return CBaseFilter::QueryFilterInterface(riid, object);
  }
  AddRef();
  return S_OK;
}

HRESULT CCaptureRenderer::ReserveRing(const RendererFormat& format) {
  if (!m_writer.IsOpen()) return S_OK;  // sized when the instance name arrives
  return m_writer.Reserve(format.imageBytes);
}

STDMETHODIMP CCaptureRenderer::SetInstanceName(LPCWSTR instanceName) {
  if (instanceName == nullptr) return E_POINTER;
  if (instanceName[0] == L'\0' || wcslen(instanceName) >= kNameCapacity) return E_INVALIDARG;
  CScopedLock filterLock(&FilterLock());
  CScopedLock lock(&m_receiveLock);
  // One instance for the renderer's whole life: its clients read one ring.
  if (m_instance[0] != L'\0') return wcscmp(m_instance, instanceName) == 0 ? S_OK : E_UNEXPECTED;
  // Refused while another renderer, in any process, writes this instance's ring.
  HRESULT hr = m_writer.Open(instanceName);
  if (FAILED(hr)) return hr;
  m_writer.SetOption(static_cast<LONG>(m_option));
  if (m_hasFormat) hr = ReserveRing(m_format);
  if (FAILED(hr)) {
    m_writer.Close();
    return hr;
  }
  if (m_hasFormat) m_ringHoldsFormat = true;
  BoundedCopy(m_instance, instanceName);
  m_watcher.SetInstanceName(instanceName);
  return S_OK;
}

STDMETHODIMP CCaptureRenderer::SetOption(DWORD option) {
  CScopedLock lock(&m_receiveLock);
  m_option = option;
  m_writer.SetOption(static_cast<LONG>(option));
  return S_OK;
}

STDMETHODIMP CCaptureRenderer::SetFormatEvent(HANDLE formatEvent) {
  if (!ScopedHandle::IsHandleValid(formatEvent)) return E_INVALIDARG;
  // Our own handle: the host may close its copy whenever it likes.
  HANDLE duplicate = nullptr;
  if (!::DuplicateHandle(::GetCurrentProcess(), formatEvent, ::GetCurrentProcess(), &duplicate, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
    return HRESULT_FROM_WIN32(::GetLastError());
  }
  return m_watcher.SetEvent(ScopedHandle(duplicate));
}

STDMETHODIMP CCaptureRenderer::SetMediaType(const AM_MEDIA_TYPE* mediaType) {
  if (mediaType == nullptr) return E_POINTER;
  // The capture format about to be set on the camera: what the clients asked for, chosen there
  // by frame size alone, in any subtype and header. Refusing it would cost the host its graph,
  // so only its frame size is taken, when it can be read. The ring is sized, and formats are
  // checked strictly, where frames really arrive: at connection and with each sample.
  FrameSize announced;
  if (ReadFrameSize(*mediaType, &announced)) m_watcher.SetRenderedSize(announced);
  return S_OK;
}

HRESULT CCaptureRenderer::OnConnected(const RendererFormat& format) {
  CScopedLock lock(&m_receiveLock);
  const HRESULT hr = ReserveRing(format);
  if (FAILED(hr)) return hr;
  m_format = format;
  m_hasFormat = true;
  m_ringHoldsFormat = true;
  m_watcher.SetRenderedSize(FrameSize{format.width, format.height});
  return S_OK;
}

HRESULT CCaptureRenderer::Render(IMediaSample* sample) {
  const LONG64 arrival = RingClockNow();
  CScopedLock lock(&m_receiveLock);
  // A format carried by the sample has passed CheckMediaType in the base already. This sample
  // and the ones after it are in that format, so a ring that cannot be sized for it drops them
  // until the next format.
  CTaskMemMediaType changed;
  if (sample->GetMediaType(changed.Receive()) == S_OK && changed) {
    RendererFormat format;
    m_ringHoldsFormat = false;
    if (SUCCEEDED(ParseRendererFormat(*changed.Get(), &format))) {
      m_format = format;
      m_hasFormat = true;
      m_ringHoldsFormat = SUCCEEDED(ReserveRing(format));
      m_watcher.SetRenderedSize(FrameSize{format.width, format.height});
    }
  }
  if (!m_writer.IsOpen() || !m_hasFormat) return S_OK;  // no clients to hand frames to

  BYTE* data = nullptr;
  // Frames go out whole or not at all; upstream is never refused for it.
  if (!m_ringHoldsFormat || FAILED(sample->GetPointer(&data)) || data == nullptr ||
      sample->GetActualDataLength() < m_format.imageBytes) {
    m_writer.CountDropped();
    return S_OK;
  }
  REFERENCE_TIME start = 0, stop = 0;
  FrameRingFrame frame = {};
  frame.timestamp = SUCCEEDED(sample->GetTime(&start, &stop)) ? start : 0;
  frame.arrival = arrival;
  frame.width = m_format.width;
  frame.height = m_format.height;
  frame.subtype = m_format.fourcc;
  frame.stride = m_format.stride;
  frame.bytes = static_cast<LONG>(m_format.imageBytes);
  frame.flags = m_format.bottomUp ? kFrameFlagBottomUp : 0;
  m_writer.Publish(frame, data);
  return S_OK;
}
