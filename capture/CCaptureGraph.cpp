#include "CCaptureGraph.h"

#include <dshow.h>

#include "capture/DeviceEnumeration.h"
#include "capture/GraphConstruction.h"
#include "capture/PreviewWindow.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr DWORD kStateWaitMs = 100;
constexpr int kFurtherAttempts = 10;
constexpr DWORD kAttemptPauseMs = 100;

}  // namespace

HRESULT CCaptureGraph::BuildGraph(GraphFilterEntry* entries, int count, BOOL preview, HWND ownerWindow,
                                  BOOL noThread, BOOL retry) {
  if (entries == nullptr || count < 2) return E_INVALIDARG;
  HRESULT hr = S_OK;
  // The creation's own result is not passed on: a graph object or not is the answer.
  if (!m_filterGraph) CreateFilterGraph(m_filterGraph.ReleaseAndGetAddressOf(), noThread);
  if (!m_filterGraph) return E_FAIL;
  if (m_built) hr = DestroyGraph();

  if (SUCCEEDED(hr)) {
    hr = m_filterGraph->AddFilter(entries[0].filter.Get(), entries[0].name);
    if (FAILED(hr)) return hr;
    entries[0].connected = TRUE;

    // Filters chained after the source, each fed by the one most recently connected.
    int last = 0;
    int next = 1;
    BOOL linkRetry = retry;
    for (; next < count && entries[next].role == kRoleSource; ++next) {
      if (SUCCEEDED(ConnectFilters(m_filterGraph.Get(), entries[last], nullptr, entries[next], nullptr, linkRetry))) {
        last = next;
        linkRetry = FALSE;
      }
    }

    GraphFilterEntry* capture = nullptr;
    GraphFilterEntry* previewEntry = nullptr;
    for (int i = next; i < count; ++i) {
      if (entries[i].role == kRoleCaptureRenderer) capture = &entries[i];
      if (entries[i].role == kRolePreviewRenderer) previewEntry = &entries[i];
    }
    if (capture == nullptr && previewEntry == nullptr) {
      hr = E_INVALIDARG;
    } else {
      hr = BuildTeeBranches(entries[last], capture, previewEntry, retry);
    }
    if (SUCCEEDED(hr) && preview) {
      hr = AttachPreviewWindow(m_filterGraph.Get(), ownerWindow);
      m_previewOwner = ownerWindow;
    }
  }

  if (SUCCEEDED(hr)) {
    m_built = TRUE;
  } else {
    DestroyGraph();
  }
  return hr;
}

HRESULT CCaptureGraph::BuildTeeBranches(GraphFilterEntry& source, GraphFilterEntry* capture,
                                        GraphFilterEntry* preview, BOOL retry) {
  if (capture == nullptr && preview == nullptr) return E_INVALIDARG;
  if (preview == nullptr) {
    HRESULT hr = m_filterGraph->AddFilter(capture->filter.Get(), capture->name);
    if (FAILED(hr)) return hr;
    hr = ConnectPins(m_filterGraph.Get(), source.filter.Get(), source.pinCategory, nullptr, capture->filter.Get(),
                     capture->pinCategory, nullptr, retry);
    if (SUCCEEDED(hr)) capture->connected = TRUE;
    return hr;
  }

  if (!m_smartTee) {
    const HRESULT created = CreateFilterInstance(CLSID_SmartTee, m_smartTee.ReleaseAndGetAddressOf());
    if (!m_smartTee) return FAILED(created) ? created : E_FAIL;
  }
  HRESULT hr = m_filterGraph->AddFilter(m_smartTee.Get(), kSmartTeeName);
  if (SUCCEEDED(hr)) {
    hr = ConnectPins(m_filterGraph.Get(), source.filter.Get(), source.pinCategory, nullptr, m_smartTee.Get(),
                     GUID_NULL, nullptr, retry);
  }
  if (SUCCEEDED(hr) && capture != nullptr) {
    hr = m_filterGraph->AddFilter(capture->filter.Get(), capture->name);
    if (SUCCEEDED(hr)) {
      hr = ConnectPins(m_filterGraph.Get(), m_smartTee.Get(), GUID_NULL, kTeeCapturePinPart, capture->filter.Get(),
                       capture->pinCategory, nullptr, FALSE);
      // A tee without an output of that name: its first free output instead.
      if (FAILED(hr)) {
        hr = ConnectPins(m_filterGraph.Get(), m_smartTee.Get(), GUID_NULL, nullptr, capture->filter.Get(),
                         capture->pinCategory, nullptr, FALSE);
      }
    }
  }
  if (SUCCEEDED(hr)) {
    hr = m_filterGraph->AddFilter(preview->filter.Get(), preview->name);
    // After the capture branch the first free output is the preview output.
    if (SUCCEEDED(hr)) {
      hr = ConnectPins(m_filterGraph.Get(), m_smartTee.Get(), GUID_NULL, nullptr, preview->filter.Get(),
                       preview->pinCategory, nullptr, FALSE);
    }
  }
  if (SUCCEEDED(hr)) {
    if (capture != nullptr) capture->connected = TRUE;
    preview->connected = TRUE;
  }
  return hr;
}

HRESULT CCaptureGraph::ConnectFilters(IGraphBuilder* graph, GraphFilterEntry& up, const WCHAR* upName,
                                      GraphFilterEntry& down, const WCHAR* downName, BOOL retry) {
  HRESULT hr = graph->AddFilter(down.filter.Get(), down.name);
  if (FAILED(hr)) return hr;
  hr = ConnectPins(graph, up.filter.Get(), up.pinCategory, upName, down.filter.Get(), down.pinCategory, downName,
                   retry);
  if (FAILED(hr)) {
    graph->RemoveFilter(down.filter.Get());
  } else {
    down.connected = TRUE;
  }
  return hr;
}

HRESULT CCaptureGraph::ConnectPins(IGraphBuilder* graph, IBaseFilter* upFilter, GUID upCategory, const WCHAR* upName,
                                   IBaseFilter* downFilter, GUID downCategory, const WCHAR* downName, BOOL retry) {
  if (graph == nullptr || upFilter == nullptr || downFilter == nullptr) return E_POINTER;
  // The pin search's and Connect's own results are not passed on: connected or not is the answer.
  const auto attempt = [&]() {
    ComPtr<IPin> output;
    ComPtr<IPin> input;
    if (FAILED(FindPin(upFilter, &output, PINDIR_OUTPUT, upCategory, upName))) return false;
    if (FAILED(FindPin(downFilter, &input, PINDIR_INPUT, downCategory, downName))) return false;
    return SUCCEEDED(graph->Connect(output.Get(), input.Get()));
  };
  if (attempt()) return S_OK;
  for (int i = 0; retry && i < kFurtherAttempts; ++i) {
    ::Sleep(kAttemptPauseMs);
    if (attempt()) return S_OK;
  }
  return E_FAIL;
}

HRESULT CCaptureGraph::DestroyGraph() {
  HRESULT hr = E_FAIL;
  if (m_filterGraph) {
    Stop();
    hr = TearDownGraph(m_filterGraph.Get());
    m_built = FALSE;
  }
  m_previewOwner = nullptr;
  return hr;
}

void CCaptureGraph::DropGraph() {
  if (m_built) DestroyGraph();
  m_filterGraph.Reset();
  m_smartTee.Reset();
  m_previewOwner = nullptr;
}

HRESULT CCaptureGraph::GetFilterGraph(IGraphBuilder** graph) const {
  if (graph == nullptr) return E_POINTER;
  return m_filterGraph.CopyTo(graph);
}

HRESULT CCaptureGraph::GetSmartTee(IBaseFilter** tee) const {
  if (tee == nullptr) return E_POINTER;
  return m_smartTee.CopyTo(tee);
}

HRESULT CCaptureGraph::Run(BOOL retry) {
  if (!m_built) return E_FAIL;
  ComPtr<IMediaControl> control;
  HRESULT hr = m_filterGraph.As(&control);
  if (FAILED(hr)) return hr;
  hr = control->Run();
  // S_FALSE: the transition has not finished yet.
  if (hr == S_FALSE) {
    OAFilterState state;
    control->GetState(kStateWaitMs, &state);
    hr = control->Run();
  }
  for (int i = 0; FAILED(hr) && retry && i < kFurtherAttempts; ++i) {
    hr = control->Run();
    ::Sleep(kAttemptPauseMs);
  }
  // Nothing stays half-started after a failure: the next Run starts from stopped filters.
  if (FAILED(hr)) StopEveryFilter(m_filterGraph.Get());
  return hr;
}

HRESULT CCaptureGraph::Stop() {
  if (!m_built) return S_OK;
  ComPtr<IMediaControl> control;
  HRESULT hr = m_filterGraph.As(&control);
  if (FAILED(hr)) return hr;
  // S_FALSE: the transition has not finished yet.
  if (control->Stop() == S_FALSE) {
    OAFilterState state;
    control->GetState(kStateWaitMs, &state);
  }
  // A second Stop in every case, so that the result reflects a completed transition.
  return control->Stop();
}

HRESULT CCaptureGraph::ShowPreview(BOOL show) {
  if (!m_built) return E_FAIL;
  ComPtr<IVideoWindow> window;
  const HRESULT hr = QueryVideoWindow(m_filterGraph.Get(), &window);
  if (hr != S_OK) return hr;
  if (!window) return E_NOINTERFACE;
  LONG width = 0;
  LONG height = 0;
  PreviewExtent(m_previewOwner, &width, &height);
  window->SetWindowPosition(0, 0, width, height);
  return window->put_Visible(show ? OATRUE : OAFALSE);
}
