// What the programs that test our filters in real graphs share: the registered test cameras,
// their pins and capabilities, and polling with a deadline.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <functional>

#include "ipc/CTaskMemMediaType.h"
#include "filters/testcam/TestCameraProfiles.h"
#include "ipc/CMediaType.h"
#include "support/TestCameraRegistration.h"

// The test cameras, registered for the whole program (COM is initialised multithreaded).
inline TestCameraEnvironment* const g_cameras =
    static_cast<TestCameraEnvironment*>(::testing::AddGlobalTestEnvironment(new TestCameraEnvironment));

inline Microsoft::WRL::ComPtr<IBaseFilter> CreateTestCamera(size_t profileIndex) {
  Microsoft::WRL::ComPtr<IBaseFilter> filter;
  ::CoCreateInstance(kTestCameraProfiles[profileIndex].clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&filter));
  return filter;
}

// The filter's index-th pin in EnumPins order, or null.
inline Microsoft::WRL::ComPtr<IPin> PinAt(IBaseFilter* filter, int index) {
  Microsoft::WRL::ComPtr<IEnumPins> pins;
  Microsoft::WRL::ComPtr<IPin> pin;
  if (filter == nullptr || FAILED(filter->EnumPins(&pins))) return nullptr;
  for (int i = 0; i <= index; ++i) {
    if (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) != S_OK) return nullptr;
  }
  return pin;
}

// The pin's index-th capability through IAMStreamConfig; empty when there is none.
inline CMediaType CapsType(IPin* pin, int index) {
  CMediaType type;
  Microsoft::WRL::ComPtr<IAMStreamConfig> config;
  CTaskMemMediaType caps;
  BYTE record[sizeof(VIDEO_STREAM_CONFIG_CAPS)] = {};
  // S_FALSE: no capability of that index, and no type handed out.
  if (SUCCEEDED(pin->QueryInterface(IID_PPV_ARGS(&config))) && config->GetStreamCaps(index, caps.Receive(), record) == S_OK) {
    type.CopyFrom(*caps.Get());
  }
  return type;
}

// Polls `done` every 10 ms, dispatching this thread's messages, until it holds or the time is up.
inline bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  while (!done()) {
    if (::GetTickCount64() >= deadline) return done();
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
    ::Sleep(10);
  }
  return true;
}
