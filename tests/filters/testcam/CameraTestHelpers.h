// Shared helpers of the test camera's tests: the registered-camera environment, device
// enumeration, pins, graphs and polling with a deadline.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <functional>
#include <string>
#include <vector>

#include "support/TestCameraRegistration.h"

// Registered for the whole program (see TestCameraRegistration.h).
extern TestCameraEnvironment* const g_cameras;

struct VideoDevice {
  std::wstring friendlyName;
  std::wstring description;
  std::wstring devicePath;
  std::wstring clsid;
  Microsoft::WRL::ComPtr<IMoniker> moniker;
};

// Every device of CLSID_VideoInputDeviceCategory in the system enumerator's order (empty when
// the category is empty); values that cannot be read stay empty.
std::vector<VideoDevice> EnumerateVideoDevices();

// The braces form of a GUID, as StringFromGUID2 writes it.
std::wstring GuidText(const GUID& guid);

Microsoft::WRL::ComPtr<IBaseFilter> CreateTestCamera(size_t profileIndex);
// The filter's index-th pin (EnumPins order), or null.
Microsoft::WRL::ComPtr<IPin> PinAt(IBaseFilter* filter, int index);

// Polls `done` every 10 ms (dispatching this thread's messages) until it is true or the time is
// up; returns its last value.
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs);

// The filter graph's state once a transition settled (GetState with a time-out).
OAFilterState GraphState(IMediaControl* control);
