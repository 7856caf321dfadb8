// The graph-control object: the one object through which the host's shell drives the capture
// graph. It holds the camera and the two renderers, owns the graph owner, its own handle on the
// status record, the request channel and the renderer's format event, reports every graph
// operation to the clients through the status record, and runs the monitor loop on its own
// thread, which keeps the run state in line with the clients' demand and posts the host's private
// messages (graphctl/HostMessages.h) to the window given by SetCaptureFilter.
//
// Threads: the main thread (shell and window procedure) and the monitor thread (ThreadMain) call
// the operations; the graph thread inside m_graphManager never does. m_lock is re-entrant and is
// held for the whole of every operation, sleeps included (RunGraph's retries, a failed build's
// or run's pause, ChangeFormat's settling time), so a caller may wait that long; operations call
// one another under it. It guards every field unless the field says otherwise.
// Lock order: m_lock first, then one at a time the status record's mutex, the request channel's
// "slock", or the graph owner's access lock while the graph thread creates the graph.
// The destructor asks the monitor loop to end without holding m_lock: the loop takes m_lock in
// every cycle before it looks for that request.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <wrl/client.h>

#include <atomic>
#include <memory>

#include "common/CCritSection.h"
#include "common/CMediaType.h"
#include "common/ScopedHandle.h"
#include "common/WideString.h"
#include "graphctl/CAMThread.h"
#include "graphctl/CGraphManager.h"
#include "ipc/CGraphErrInfo.h"
#include "ipc/CRgCenter.h"

class CFontisGraphMng final : public CAMThread {
 public:
  static constexpr DWORD kMonitorCycleMs = 30;
  // Cycles without a client of another process before WM_HOST_CHECK_CLIENTS, and cycles with an
  // invalid graph state before WM_QUIT.
  static constexpr LONG kNoClientCountdownStart = 6;
  static constexpr LONG kStallCountdownStart = 600;
  // The one failure of a camera start that RunGraph retries: the device is busy elsewhere.
  static constexpr HRESULT kErrNoSystemResources = static_cast<HRESULT>(0x800705AA);
  static constexpr int kRunRetries = 6;
  static constexpr DWORD kRunRetryStepMs = 300;  // retry i sleeps i times this first
  // Lets a burst of client registrations settle before ChangeFormat reads the request.
  static constexpr DWORD kFormatSettleMs = 200;
  // The destructor's request to the monitor loop.
  static constexpr DWORD kStopRequest = 1;

  // A new object with its request channel, renderer event, status channel and monitor thread;
  // null when the request channel or the event cannot be made or the thread cannot be started
  // (an object that fails is destroyed, its threads ended). The name is cut to 259 characters;
  // one too long to name the instance's objects fails.
  static CFontisGraphMng* CreateInstance(const WCHAR* instanceName, BOOL exitWhenNoClient);

  // Ends the monitor loop and joins it, then releases the graph and closes the channels; the
  // graph thread ends last.
  ~CFontisGraphMng() override;

  // The monitor loop; returns 1 when the destructor's request ends it.
  DWORD ThreadMain() override;

  // Queries and forwarding operations.
  BOOL IsGraphBuilt();
  BOOL IsGraphRunning();
  // Client slots of processes other than this one. Always S_OK (E_POINTER for a null count).
  HRESULT GetClientCount(WORD* count);
  // The clients' largest requested format; E_FAIL, with out untouched, while no client is
  // registered.
  HRESULT GetRequestedFormat(CMediaType* out);
  // Publishes the camera in the request channel, only while no client is registered.
  HRESULT PublishDevice(GUID device, const WCHAR* name);
  // While locked the host counts as one more client wanting 640 x 480 video.
  HRESULT SetSessionLocked(BOOL locked);
  // While suspended, a build without a configured camera is refused.
  HRESULT SetSuspended(BOOL suspended);
  // Returns the status record to its fresh state (without m_lock: it touches only m_status).
  HRESULT ResetStatus();

  // Graph operations; each reports itself to the clients through the status record.
  // Takes the camera, creates the capture renderer (and the preview renderer when preview is
  // set) once, and remembers the window for the preview and the monitor's messages. E_INVALIDARG
  // for a null camera, or preview without a window; E_UNEXPECTED when a renderer cannot be made
  // or configured (the camera is let go). With build set, the build's result.
  HRESULT SetCaptureFilter(IBaseFilter* camera, BOOL build, BOOL preview, HWND previewWindow, BOOL retry);
  // Builds camera -> capture renderer (through a Smart Tee to the preview renderer when preview
  // is enabled), dismantling any previous graph first; sleeps failSleepMs after a failure.
  HRESULT BuildGraph(BOOL retry, DWORD failSleepMs);
  // Runs the graph when some client wants video, else does nothing. A start refused with
  // kErrNoSystemResources is retried up to kRunRetries times; sleeps failSleepMs after a failure.
  HRESULT RunGraph(BOOL retry, DWORD failSleepMs);
  // Stops the graph when no client wants video, else does nothing.
  HRESULT StopGraph();
  // Runs or stops a built graph when the clients' demand differs from its run state.
  HRESULT SyncRunState();
  // Dismantles the graph, keeping the filters and settings.
  HRESULT DestroyGraph();
  // Back to the state after creation: the filters let go, the graph dismantled, the window
  // forgotten, the renderer option 0.
  HRESULT ReleaseGraph();
  // Applies a requested format to the capture renderer and then to the camera's capture pin,
  // which takes the capability of that size or else the nearest; format receives what the pin
  // accepted. E_FAIL while a graph is built.
  HRESULT SetCaptureFormat(CMediaType* format);
  HRESULT SetRendererMediaType(CMediaType* format);
  HRESULT SetRendererOption(DWORD value);
  // Rebuilds the graph for the clients' new largest request. An unchanged (or absent) request
  // leaves the graph alone. A request that the renderer or the camera refuses, or that does not
  // build, is answered by rebuilding the graph in the format it delivered before, and the failure
  // is returned. The rebuilt graph is not run here (the monitor loop runs it); S_OK only when it
  // runs.
  HRESULT ChangeFormat();
  HRESULT ShowPreview(BOOL show);
  // TRUE without a graph; with one, see graphctl/GraphStateRules.h.
  BOOL IsGraphStateValid();

  // The monitor loop's countdowns, for the process's life (read-only; the loop alone writes them).
  LONG NoClientCountdown() const { return m_noClientCountdown.load(); }
  LONG StallCountdown() const { return m_stallCountdown.load(); }

 private:
  CFontisGraphMng();
  HRESULT Init(const WCHAR* instanceName, BOOL exitWhenNoClient);

  // One cycle of the monitor loop, without its sleep.
  void MonitorCycle();
  HWND NotifyWindow();
  // After a build: what the camera delivers now.
  void RecordDeliveredFormat();
  // The camera's format for `request` was not had: rebuild in `previous` (empty: as the camera
  // stands) and record it as the answer to `request`.
  void RestoreFormat(const CMediaType& previous, const CMediaType& request);

  BOOL m_exitWhenNoClient;  // set by Init before the monitor thread starts, read-only after
  WCHAR m_name[kNameCapacity];  // set by Init, read-only after
  Microsoft::WRL::ComPtr<IBaseFilter> m_camera;
  Microsoft::WRL::ComPtr<IBaseFilter> m_captureRenderer;
  Microsoft::WRL::ComPtr<IBaseFilter> m_previewRenderer;
  // Opened by Init, closed by destruction. The monitor thread reads the camera request through
  // it without m_lock: that reads only the shared record and handles fixed for the object's life.
  CGraphErrInfo m_status;
  BOOL m_suspended;
  // Manual reset, set by the destructor: every wait for the request channel's lock ends at once,
  // so a stranger holding that lock cannot hold up the loop's end. Outlives m_channel.
  ScopedHandle m_stopping;
  std::unique_ptr<CRgCenter> m_channel;  // made by Init, destroyed by the destructor
  CGraphManager m_graphManager;
  // Auto-reset, unnamed; the renderer sets it, the monitor thread consumes it without m_lock.
  ScopedHandle m_rendererEvent;
  CCritSection m_lock;
  CMediaType m_lastFormat;  // the last request ChangeFormat acted on
  HWND m_notifyWindow;
  BOOL m_configured;
  BOOL m_previewEnabled;
  BOOL m_previewShown;
  DWORD m_rendererOption;
  BOOL m_running;
  // The request that the camera's current format answers, and the format the camera delivered
  // in the graph built last; both forgotten with the camera.
  CMediaType m_answeredRequest;
  CMediaType m_deliveredFormat;
  // Written by the monitor thread only; read by anyone.
  std::atomic<LONG> m_noClientCountdown{kNoClientCountdownStart};
  std::atomic<LONG> m_stallCountdown{kStallCountdownStart};
};
