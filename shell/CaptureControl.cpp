#include "CaptureControl.h"

#include <uuids.h>
#include <wrl/client.h>

#include "capture/DeviceEnumeration.h"
#include "common/CMediaType.h"
#include "common/FaultGuard.h"
#include "graphctl/CFontisGraphMng.h"
#include "ipc/GraphErrInfo.h"
#include "shell/ApplicationState.h"
#include "shell/CameraRequest.h"

using Microsoft::WRL::ComPtr;

namespace {

// Hands the clients' largest requested format to the camera before the graph is built. FALSE
// only when the camera (or the renderer) refuses it; no request leaves the camera as it is.
BOOL ApplyRequestedFormat(CFontisGraphMng* graph) {
  CMediaType format;
  if (FAILED(graph->GetRequestedFormat(&format)) || format->pbFormat == nullptr) return TRUE;
  return SUCCEEDED(graph->SetCaptureFormat(&format));
}

// The retry loop itself, run under the fault guard.
BOOL RunCaptureAttempts(void* /*context*/) {
  ApplicationState& app = g_appState;
  CFontisGraphMng* graph = app.graphMng.get();
  for (;;) {
    if (app.startRetryCount > kMaxStartRetryCount) {
      app.startRetryCount = 0;
      return FALSE;
    }
    if (!graph->IsGraphBuilt()) graph->BuildGraph(FALSE, kBuildFailSleepMs);
    if (!graph->IsGraphStateValid() && !graph->IsGraphRunning()) {
      // Each acts only on the clients' demand: stops when nobody wants video, runs when someone does.
      graph->StopGraph();
      graph->RunGraph(FALSE, kRunFailSleepMs);
    }
    // A client asked for another camera meanwhile: give this one up and let its request be served.
    // The count is kept, so the next run has fewer attempts left.
    WCHAR requestedName[kNameCapacity];
    GUID requestedGuid = GUID_NULL;
    app.statusBlock.GetDeviceRequest(requestedName, kNameCapacity, &requestedGuid);
    if (IsOtherCamera(requestedName, requestedGuid, app.deviceName, app.deviceGuid)) return FALSE;

    if (graph->IsGraphBuilt()) {
      app.startRetryCount = 0;
      return TRUE;
    }
    ++app.startRetryCount;
    ::Sleep(kStartRetryPauseMs);
  }
}

}  // namespace

BOOL StartCapture(const WCHAR* name, GUID guid) {
  ApplicationState& app = g_appState;
  CFontisGraphMng* graph = app.graphMng.get();
  if (graph == nullptr || name == nullptr) return FALSE;
  // The name may be deviceName itself: keep the text we were asked for.
  WCHAR camera[kNameCapacity];
  BoundedCopy(camera, name);

  graph->ReleaseGraph();
  ComPtr<IBaseFilter> filter;
  const HRESULT found = CreateCaptureFilter(camera, &guid, CLSID_VideoInputDeviceCategory, &filter);
  app.statusBlock.BeginOperation(kOpRestartCapture);
  app.statusBlock.EndOperation(found, kOpRestartCapture);
  if (FAILED(found)) return FALSE;

  // A camera the graph-control object refused still gets its build below, which then fails or
  // succeeds on its own.
  if (SUCCEEDED(graph->SetCaptureFilter(filter.Get(), FALSE, FALSE, app.mainWindow, FALSE)) &&
      !ApplyRequestedFormat(graph)) {
    return FALSE;
  }

  if (SUCCEEDED(IsKsProxyDevice(camera))) {
    graph->SetRendererOption(kRendererOptionOnStart);
    graph->ShowPreview(FALSE);
    if (!RunCaptureWithRetries()) return FALSE;
  } else {
    // Other cameras get a single attempt.
    if (FAILED(graph->BuildGraph(FALSE, 0))) return FALSE;
    graph->SetRendererOption(kRendererOptionOnStart);
    graph->ShowPreview(FALSE);
    graph->RunGraph(FALSE, 0);
    if (!graph->IsGraphBuilt()) return FALSE;
  }

  BoundedCopy(app.deviceName, camera);
  app.deviceGuid = guid;
  if (!graph->IsGraphBuilt()) return FALSE;
  app.statusBlock.AckDeviceRequest(app.deviceName, app.deviceGuid);
  return TRUE;
}

BOOL RestartCapture() {
  ApplicationState& app = g_appState;
  CFontisGraphMng* graph = app.graphMng.get();
  if (graph == nullptr) return FALSE;
  for (int attempt = 0; attempt < 2; ++attempt) {
    graph->ReleaseGraph();
    // Works on the state itself: a camera no longer found by its GUID leaves deviceGuid cleared.
    ComPtr<IBaseFilter> filter;
    if (FAILED(CreateCaptureFilter(app.deviceName, &app.deviceGuid, CLSID_VideoInputDeviceCategory, &filter))) {
      return FALSE;
    }
    if (SUCCEEDED(graph->SetCaptureFilter(filter.Get(), FALSE, FALSE, app.mainWindow, FALSE)) &&
        !ApplyRequestedFormat(graph)) {
      return FALSE;
    }
    graph->SetRendererOption(kRendererOptionOnStart);
    graph->ShowPreview(FALSE);
    if (RunCaptureWithRetries()) return TRUE;
  }
  return FALSE;
}

BOOL RunCaptureWithRetries() {
  if (!g_appState.graphMng) return FALSE;
  // A fault in the camera's driver or the graph must not take every client's camera host down:
  // it counts as success, and the monitor loop and the clients' requests decide what follows.
  return RunGuarded(RunCaptureAttempts, nullptr, TRUE);
}

BOOL StopCapture() {
  if (g_appState.graphMng) g_appState.graphMng->ReleaseGraph();
  return TRUE;
}
