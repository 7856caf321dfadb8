// Choosing and wording the virtual camera's placeholder.
#include "filters/vcam/PlaceholderReason.h"

PlaceholderReason ChoosePlaceholder(const HostView& view, HostLaunchState launch, bool sawFrames) {
  if (!view.hostPresent) {
    switch (launch) {
      case HostLaunchState::kNoCamera: return PlaceholderReason::kNoCamera;
      case HostLaunchState::kStartFailed: return PlaceholderReason::kHostMissing;
      case HostLaunchState::kCameraFailed: return PlaceholderReason::kCameraUnavailable;
      default: return PlaceholderReason::kStarting;
    }
  }
  if (!view.statusReadable) return PlaceholderReason::kStarting;
  const GraphErrInfo& status = view.status;
  if (status.deviceChangePending != 0) return sawFrames ? PlaceholderReason::kSwitching : PlaceholderReason::kStarting;
  switch (status.hostCondition) {
    case 0: return PlaceholderReason::kSessionLocked;
    case 1:
    case 2: return PlaceholderReason::kPaused;
    default: break;
  }
  // The restart with a chosen camera failed: the host did not find or could not open it.
  if (status.state == kOpRestartCapture && status.pending == 0 && status.result < 0) {
    return PlaceholderReason::kCameraUnavailable;
  }
  return PlaceholderReason::kStarting;
}

const WCHAR* PlaceholderText(PlaceholderReason reason) {
  switch (reason) {
    case PlaceholderReason::kStarting: return L"Starting the camera...";
    case PlaceholderReason::kSwitching: return L"Switching cameras...";
    case PlaceholderReason::kSessionLocked: return L"The camera is paused while the session is locked";
    case PlaceholderReason::kPaused: return L"The camera is paused";
    case PlaceholderReason::kNoCamera: return L"No camera found";
    case PlaceholderReason::kCameraUnavailable: return L"The camera cannot be opened";
    case PlaceholderReason::kHostMissing: return L"The camera service cannot be started";
  }
  return L"";
}
