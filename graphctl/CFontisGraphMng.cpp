#include "CFontisGraphMng.h"

#include <uuids.h>

#include <new>
#include <utility>

#include "capture/CaptureFormat.h"
#include "capture/DeviceEnumeration.h"
#include "capture/GraphFilterEntry.h"
#include "capture/IRendererControl.h"
#include "common/CScopedLock.h"
#include "graphctl/GraphStateRules.h"
#include "graphctl/HostMessages.h"
#include "ipc/GraphErrInfo.h"
#include "ipc/NamedObjects.h"
#include "ipc/ObjectNames.h"

using Microsoft::WRL::ComPtr;

namespace {

void PostToWindow(HWND window, UINT message, WPARAM wParam) {
  // Without a window (before SetCaptureFilter, after ReleaseGraph) the message has nobody to
  // reach; posting it to no window would fill this thread's own queue instead.
  if (window != nullptr) ::PostMessageW(window, message, wParam, 0);
}

}  // namespace

CFontisGraphMng* CFontisGraphMng::CreateInstance(const WCHAR* instanceName, BOOL exitWhenNoClient) {
  std::unique_ptr<CFontisGraphMng> object(new (std::nothrow) CFontisGraphMng());
  if (!object || FAILED(object->Init(instanceName, exitWhenNoClient))) return nullptr;
  return object.release();
}

CFontisGraphMng::CFontisGraphMng()
    : m_exitWhenNoClient(FALSE),
      m_name{},
      m_suspended(FALSE),
      m_notifyWindow(nullptr),
      m_configured(FALSE),
      m_previewEnabled(FALSE),
      m_previewShown(FALSE),
      m_rendererOption(1),
      m_running(FALSE) {}

HRESULT CFontisGraphMng::Init(const WCHAR* instanceName, BOOL exitWhenNoClient) {
  // Held to the end: the monitor loop's first step waits for it, so it starts on a whole object.
  CScopedLock lock(&m_lock);
  BoundedCopy(m_name, instanceName);
  WCHAR base[kNameCapacity];
  if (!ComposeRgCenterBase(base, m_name)) return E_FAIL;
  m_stopping.Reset(CreateOrOpenEvent(TRUE, FALSE, nullptr));
  if (!m_stopping.IsValid()) return E_FAIL;
  m_channel.reset(CRgCenter::CreateInstance(base, m_stopping.Get()));
  if (!m_channel) return E_FAIL;
  m_rendererEvent.Reset(CreateOrOpenEvent(FALSE, FALSE, nullptr));
  if (!m_rendererEvent.IsValid()) return E_FAIL;
  m_exitWhenNoClient = exitWhenNoClient;
  const HRESULT hr = StartThread() ? S_OK : E_FAIL;
  // A status record that cannot be opened only silences the reports.
  m_status.Open(m_name);
  return hr;
}

CFontisGraphMng::~CFontisGraphMng() {
  // Not under m_lock: the loop may be inside an operation and must reach its request check,
  // without sitting out a stranger's hold of the request channel's lock.
  if (m_stopping.IsValid()) ::SetEvent(m_stopping.Get());
  CallThread(kStopRequest);
  CloseThread();
  CScopedLock lock(&m_lock);
  ReleaseGraph();
  m_channel.reset();
  m_rendererEvent.Close();
}

// --- Monitor loop ---

DWORD CFontisGraphMng::ThreadMain() {
  BOOL stop = FALSE;
  while (!stop) {
    MonitorCycle();
    DWORD request = 0;
    if (PeekRequest(&request)) {
      stop = request == kStopRequest;
      ReplyRequest(stop ? 1 : 0);
    } else {
      ::Sleep(kMonitorCycleMs);
    }
  }
  return 1;
}

void CFontisGraphMng::MonitorCycle() {
  WORD count = 0;
  const HRESULT hr = GetClientCount(&count);
  // One window for the whole cycle, taken before the graph is looked at: a cycle that posts to
  // the window set by SetCaptureFilter has also seen the graph that SetCaptureFilter built.
  const HWND window = NotifyWindow();

  if (m_exitWhenNoClient && hr == S_OK && IsGraphBuilt()) {
    if (count != 0) {
      m_noClientCountdown.store(kNoClientCountdownStart);
    } else if (m_noClientCountdown.fetch_sub(1) - 1 <= 0) {
      PostToWindow(window, WM_HOST_CHECK_CLIENTS, kCheckClientsAskCount);
    }
  }

  if (count != 0) {
    // Consumes the renderer's signal (auto-reset); a signal that came while no client of another
    // process was registered waits for one.
    if (::WaitForSingleObject(m_rendererEvent.Get(), 0) == WAIT_OBJECT_0) {
      PostToWindow(window, WM_HOST_FORMAT_CHANGED, 0);
    } else {
      SyncRunState();  // failures are reported by the run or stop itself
    }
  }

  WCHAR requestedName[kNameCapacity];
  GUID requestedGuid = GUID_NULL;
  // Set until the shell acknowledges the request, so posted again every cycle until then.
  if (m_status.GetDeviceRequest(requestedName, kNameCapacity, &requestedGuid)) {
    PostToWindow(window, WM_HOST_DEVICE_CHANGED, 0);
  }

  if (IsGraphStateValid()) {
    m_stallCountdown.store(kStallCountdownStart);
  } else if (m_stallCountdown.fetch_sub(1) - 1 <= 0) {
    PostToWindow(window, WM_QUIT, 0);
  }
}

HWND CFontisGraphMng::NotifyWindow() {
  CScopedLock lock(&m_lock);
  return m_notifyWindow;
}

// --- Queries and forwarding ---

BOOL CFontisGraphMng::IsGraphBuilt() {
  CScopedLock lock(&m_lock);
  return m_graphManager.IsGraphBuilt();
}

BOOL CFontisGraphMng::IsGraphRunning() {
  CScopedLock lock(&m_lock);
  return m_running;
}

HRESULT CFontisGraphMng::GetClientCount(WORD* count) {
  if (count == nullptr) return E_POINTER;
  CScopedLock lock(&m_lock);
  *count = m_channel ? m_channel->CountClients(TRUE) : 0;
  return S_OK;
}

HRESULT CFontisGraphMng::GetRequestedFormat(CMediaType* out) {
  if (out == nullptr) return E_POINTER;
  CScopedLock lock(&m_lock);
  if (!m_channel || m_channel->CountClients(FALSE) == 0) return E_FAIL;
  m_channel->QueryRequestedFormat(out);
  return S_OK;
}

HRESULT CFontisGraphMng::PublishDevice(GUID device, const WCHAR* name) {
  CScopedLock lock(&m_lock);
  return m_channel ? m_channel->PublishDevice(device, name) : E_FAIL;
}

HRESULT CFontisGraphMng::SetSessionLocked(BOOL locked) {
  CScopedLock lock(&m_lock);
  return m_channel ? m_channel->SetPlaceholder(locked) : S_OK;
}

HRESULT CFontisGraphMng::SetSuspended(BOOL suspended) {
  CScopedLock lock(&m_lock);
  m_suspended = suspended;
  return S_OK;
}

HRESULT CFontisGraphMng::ResetStatus() {
  m_status.Reset();
  return S_OK;
}

// --- Graph operations ---

HRESULT CFontisGraphMng::SetCaptureFilter(IBaseFilter* camera, BOOL build, BOOL preview, HWND previewWindow,
                                          BOOL retry) {
  if (camera == nullptr || (preview && previewWindow == nullptr)) return E_INVALIDARG;
  CScopedLock lock(&m_lock);
  m_camera = camera;

  HRESULT hr = S_OK;
  if (!m_captureRenderer) hr = CreateFilterInstance(CLSID_FontisCaptureRenderer, &m_captureRenderer);
  if (!m_captureRenderer) {
    m_camera.Reset();
    return E_UNEXPECTED;
  }
  ComPtr<IRendererControl> control;
  hr = QueryRendererControl(m_captureRenderer.Get(), &control);
  if (SUCCEEDED(hr)) {
    hr = control->SetInstanceName(m_name);
    if (SUCCEEDED(hr)) hr = control->SetFormatEvent(m_rendererEvent.Get());
  }
  if (FAILED(hr)) {
    m_camera.Reset();
    m_captureRenderer.Reset();
    return E_UNEXPECTED;
  }
  if (preview && !m_previewRenderer) {
    hr = CreateFilterInstance(CLSID_VideoRenderer, &m_previewRenderer);
    if (!m_previewRenderer) {
      m_captureRenderer.Reset();
      m_camera.Reset();
      return E_UNEXPECTED;
    }
  }

  m_previewEnabled = preview;
  m_notifyWindow = previewWindow;
  m_configured = TRUE;
  if (build) hr = BuildGraph(retry, 0);
  return hr;
}

HRESULT CFontisGraphMng::BuildGraph(BOOL retry, DWORD failSleepMs) {
  CScopedLock lock(&m_lock);
  // While a camera is configured, a suspension does not stop a build.
  if (!m_configured && m_suspended) return E_FAIL;
  m_status.BeginOperation(kOpBuildGraph);
  m_graphManager.DestroyGraph();  // any previous graph goes; its result does not matter

  HRESULT hr = E_UNEXPECTED;  // nothing to build without the camera and the capture renderer
  if (m_camera && m_captureRenderer) {
    GraphFilterEntry entries[3] = {};
    const auto fill = [&entries](int index, DWORD role, IBaseFilter* filter, const WCHAR* name, GUID category) {
      entries[index].role = role;
      entries[index].filter = filter;
      BoundedCopy(entries[index].name, name);
      entries[index].pinCategory = category;
      entries[index].connected = FALSE;
    };
    fill(0, kRoleSource, m_camera.Get(), kSourceFilterName, PIN_CATEGORY_CAPTURE);
    fill(1, kRoleCaptureRenderer, m_captureRenderer.Get(), kCaptureRendererName, GUID_NULL);
    fill(2, kRolePreviewRenderer, m_previewRenderer.Get(), kPreviewRendererName, GUID_NULL);
    const int count = m_previewEnabled && m_previewRenderer ? 3 : 2;
    hr = m_graphManager.BuildGraph(entries, count, count == 3, m_notifyWindow, FALSE, retry);
  }

  if (SUCCEEDED(hr)) {
    RecordDeliveredFormat();
  } else {
    ::Sleep(failSleepMs);
  }
  m_status.EndOperation(hr, kOpBuildGraph);
  return hr;
}

void CFontisGraphMng::RecordDeliveredFormat() {
  CMediaType delivered;
  if (FAILED(GetConnectedFormat(m_camera.Get(), PIN_CATEGORY_CAPTURE, &delivered))) delivered.SetEmpty();
  m_deliveredFormat = std::move(delivered);
}

HRESULT CFontisGraphMng::RunGraph(BOOL retry, DWORD failSleepMs) {
  CScopedLock lock(&m_lock);
  // Runs only for a client that wants video.
  if (!m_channel || !m_channel->DemandDiffers(FALSE)) return S_OK;
  if (m_graphManager.IsGraphBuilt()) m_status.BeginOperation(kOpRunGraph);

  HRESULT hr = m_graphManager.Run(retry);
  // A camera busy elsewhere may come free: six more tries over 4.5 s in all.
  for (int retries = 0; hr == kErrNoSystemResources && retries < kRunRetries; ++retries) {
    ::Sleep(static_cast<DWORD>(retries) * kRunRetryStepMs);
    hr = m_graphManager.Run(FALSE);
  }
  if (FAILED(hr)) {
    ::Sleep(failSleepMs);
  } else {
    m_running = TRUE;
  }

  if (m_graphManager.IsGraphBuilt()) m_status.EndOperation(hr, kOpRunGraph);
  return hr;
}

HRESULT CFontisGraphMng::StopGraph() {
  CScopedLock lock(&m_lock);
  // Stops only when no client wants video.
  if (!m_channel || !m_channel->DemandDiffers(TRUE)) return S_OK;
  if (m_running) m_status.BeginOperation(kOpStopGraph);
  const HRESULT hr = m_graphManager.Stop();
  if (SUCCEEDED(hr)) m_running = FALSE;
  // A successful stop shows as its begin report ("built"); only a failure is recorded.
  if (m_running) m_status.EndOperation(hr, kOpStopGraph);
  return hr;
}

HRESULT CFontisGraphMng::SyncRunState() {
  CScopedLock lock(&m_lock);
  if (!m_graphManager.IsGraphBuilt() || !m_channel) return S_OK;
  if (!m_channel->DemandDiffers(m_running)) return S_OK;
  return m_running ? StopGraph() : RunGraph(FALSE, 0);
}

HRESULT CFontisGraphMng::DestroyGraph() {
  CScopedLock lock(&m_lock);
  if (m_graphManager.IsGraphBuilt()) m_status.BeginOperation(kOpDestroyGraph);
  const HRESULT hr = m_graphManager.DestroyGraph();
  m_running = FALSE;
  if (m_graphManager.IsGraphBuilt()) m_status.EndOperation(hr, kOpDestroyGraph);
  return hr;
}

HRESULT CFontisGraphMng::ReleaseGraph() {
  CScopedLock lock(&m_lock);
  if (m_graphManager.IsGraphBuilt()) m_status.BeginOperation(kOpReleaseGraph);
  m_configured = FALSE;
  m_running = FALSE;
  m_previewEnabled = FALSE;
  m_notifyWindow = nullptr;
  m_rendererOption = 0;
  // The graph still holds its own references until it is dismantled.
  m_camera.Reset();
  m_captureRenderer.Reset();
  m_previewRenderer.Reset();
  m_answeredRequest.SetEmpty();
  m_deliveredFormat.SetEmpty();
  const HRESULT hr = m_graphManager.DestroyGraph();
  if (m_graphManager.IsGraphBuilt()) m_status.EndOperation(hr, kOpReleaseGraph);
  return hr;
}

HRESULT CFontisGraphMng::SetCaptureFormat(CMediaType* format) {
  if (format == nullptr) return E_POINTER;
  CScopedLock lock(&m_lock);
  m_status.BeginOperation(kOpSetCaptureFormat);
  UpdateImageSize(format);
  // The format of a built graph is never changed: ChangeFormat dismantles it first. The
  // operation stays begun and not ended, as the clients are told.
  if (m_graphManager.IsGraphBuilt()) return E_FAIL;
  CMediaType request;
  HRESULT hr = request.CopyFrom(*format);
  if (FAILED(hr)) return hr;
  hr = SetRendererMediaType(format);
  if (FAILED(hr)) return hr;
  hr = SetPinFormat(m_camera.Get(), PIN_CATEGORY_CAPTURE, format);
  m_status.EndOperation(hr, kOpSetCaptureFormat);
  if (SUCCEEDED(hr)) m_answeredRequest = std::move(request);
  return hr;
}

HRESULT CFontisGraphMng::SetRendererMediaType(CMediaType* format) {
  if (format == nullptr) return E_POINTER;
  CScopedLock lock(&m_lock);
  if (!m_captureRenderer) return E_FAIL;
  ComPtr<IRendererControl> control;
  const HRESULT hr = QueryRendererControl(m_captureRenderer.Get(), &control);
  if (FAILED(hr)) return hr;
  return control->SetMediaType(&format->Get());
}

HRESULT CFontisGraphMng::SetRendererOption(DWORD value) {
  CScopedLock lock(&m_lock);
  if (!m_captureRenderer) return E_FAIL;
  ComPtr<IRendererControl> control;
  HRESULT hr = QueryRendererControl(m_captureRenderer.Get(), &control);
  if (FAILED(hr)) return hr;
  hr = control->SetOption(value);
  if (SUCCEEDED(hr)) m_rendererOption = value;
  return hr;
}

HRESULT CFontisGraphMng::ShowPreview(BOOL show) {
  CScopedLock lock(&m_lock);
  if (show && !m_previewEnabled) return E_INVALIDARG;
  const HRESULT hr = m_graphManager.ShowPreview(show);
  if (SUCCEEDED(hr)) m_previewShown = show;
  return hr;
}

HRESULT CFontisGraphMng::ChangeFormat() {
  CScopedLock lock(&m_lock);
  ::Sleep(kFormatSettleMs);
  CMediaType requested;
  if (m_channel) m_channel->QueryRequestedFormat(&requested);
  // No request (every client left, or the channel was busy): nothing to change the graph to.
  if (!requested.HasType() || requested == m_lastFormat) return S_OK;
  HRESULT hr = m_lastFormat.CopyFrom(requested);
  if (FAILED(hr)) return hr;

  // What the graph delivers now, to fall back to when the new request cannot be had.
  const BOOL wasBuilt = m_graphManager.IsGraphBuilt();
  CMediaType previous;
  if (wasBuilt && FAILED(GetConnectedFormat(m_camera.Get(), PIN_CATEGORY_CAPTURE, &previous))) previous.SetEmpty();

  DestroyGraph();
  CMediaType format;
  hr = format.CopyFrom(requested);
  if (SUCCEEDED(hr)) hr = SetCaptureFormat(&format);
  if (SUCCEEDED(hr)) hr = BuildGraph(FALSE, 0);
  // A graph that served clients must not vanish because a new client asked for what the
  // renderer or the camera refuses: it comes back in its previous format.
  if (FAILED(hr) && wasBuilt) RestoreFormat(previous, requested);

  SetRendererOption(m_rendererOption);
  ShowPreview(m_previewShown);
  if (FAILED(hr)) return hr;
  return m_running ? S_OK : E_FAIL;
}

void CFontisGraphMng::RestoreFormat(const CMediaType& previous, const CMediaType& request) {
  if (previous.HasType()) {
    CMediaType format;
    if (SUCCEEDED(format.CopyFrom(previous))) SetCaptureFormat(&format);
  }
  if (FAILED(BuildGraph(FALSE, 0))) return;
  // The previous format is now the graph's answer to this request.
  if (FAILED(m_answeredRequest.CopyFrom(request))) m_answeredRequest.SetEmpty();
}

BOOL CFontisGraphMng::IsGraphStateValid() {
  CScopedLock lock(&m_lock);
  if (!m_graphManager.IsGraphBuilt() || !m_channel) return TRUE;
  GraphStateInputs inputs;
  // Asked as "differs from the running flag": a busy channel then reads as no difference and
  // never as a stall.
  inputs.runStateDiffers = m_channel->DemandDiffers(m_running) != FALSE;
  CMediaType output;
  m_channel->QueryOutputFormat(&output);
  inputs.outputHasType = output.HasType();
  // The request matters only against a format in use; nobody writing one is the usual case, and
  // this runs in every monitor cycle.
  if (inputs.outputHasType) {
    CMediaType requested;
    m_channel->QueryRequestedFormat(&requested);
    inputs.requested = FrameExtentOf(requested.Get());
    inputs.output = FrameExtentOf(output.Get());
    inputs.answeredRequest = FrameExtentOf(m_answeredRequest.Get());
    inputs.delivered = FrameExtentOf(m_deliveredFormat.Get());
  }
  return IsBuiltGraphStateValid(inputs) ? TRUE : FALSE;
}
