// Input pin of the capture renderer.
#include "filters/renderer/CCaptureInputPin.h"

#include <evcode.h>

#include "filters/renderer/CCaptureRenderer.h"
#include "filters/renderer/RendererFormat.h"

CCaptureInputPin::CCaptureInputPin(CCaptureRenderer* renderer) : CBaseInputPin(renderer, L"Input"), m_renderer(renderer) {}

HRESULT CCaptureInputPin::CheckMediaType(const CMediaType& type) {
  return ParseRendererFormat(type.Get(), nullptr);
}

HRESULT CCaptureInputPin::CompleteConnect(IPin* peer) {
  HRESULT hr = CBaseInputPin::CompleteConnect(peer);
  if (FAILED(hr)) return hr;
  RendererFormat format;
  hr = ParseRendererFormat(m_mt.Get(), &format);
  if (FAILED(hr)) return hr;
  return m_renderer->OnConnected(format);
}

HRESULT CCaptureInputPin::OnReceive(IMediaSample* sample) { return m_renderer->Render(sample); }

HRESULT CCaptureInputPin::OnEndOfStream() {
  // A renderer reports the end of its stream to the graph, which waits for every renderer's.
  return m_renderer->NotifyEvent(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(m_renderer)));
}
