// Why the virtual camera shows a placeholder instead of a camera frame, told apart from what the
// filter itself knows of the host it tried to start and from a read-only look at the instance.
// Plain functions over plain values, any thread.
#pragma once

#include <windows.h>

#include "ipc/CHostObserver.h"

// What the filter's keeper thread learnt when it last made sure that a host serves.
enum class HostLaunchState : int {
  kUnknown,       // nothing tried yet
  kServing,       // a host serves, or one was started and has not ended
  kNoCamera,      // no video input device other than the virtual camera: no host was started
  kStartFailed,   // FontisHost.exe could not be started
  kCameraFailed,  // a host we started ended without ever serving a camera
};

enum class PlaceholderReason {
  kStarting,           // the host is starting or has not delivered a frame yet
  kSwitching,          // a client asked for another camera and the host is switching
  kSessionLocked,      // the user's session is locked
  kPaused,             // the host paused the camera (system suspend, console disconnected)
  kNoCamera,           // there is no camera to share
  kCameraUnavailable,  // the camera could not be opened
  kHostMissing,        // the host program cannot be started
};

// `sawFrames`: this stream has had camera frames. A camera request before the first frame is the
// starting client's own (it names its camera that way), not a switch.
PlaceholderReason ChoosePlaceholder(const HostView& view, HostLaunchState launch, bool sawFrames);

// The words the placeholder shows.
const WCHAR* PlaceholderText(PlaceholderReason reason);
