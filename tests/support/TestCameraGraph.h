// What the programs that test our filters in real graphs share: the registered test cameras,
// their pins and capabilities.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include "common/CMediaType.h"
#include "common/CTaskMemMediaType.h"
#include "filters/testcam/TestCameraProfiles.h"
#include "support/TestCameraRegistration.h"
#include "support/WaitUntil.h"

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
