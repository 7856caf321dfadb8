// A test camera and a capture renderer in a filter graph, for the renderer's graph tests.
// COM is initialised by the program's camera environment (multithreaded); the renderer is
// created in this program so that its destruction shows in ModuleLiveObjectCount().
#pragma once

#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include "capture/IRendererControl.h"
#include "filters/testcam/TestCameraProfiles.h"

struct RendererRig {
  Microsoft::WRL::ComPtr<IGraphBuilder> graph;
  Microsoft::WRL::ComPtr<IMediaControl> control;
  Microsoft::WRL::ComPtr<IBaseFilter> camera;
  Microsoft::WRL::ComPtr<IPin> cameraPin;
  Microsoft::WRL::ComPtr<IBaseFilter> renderer;
  Microsoft::WRL::ComPtr<IRendererControl> rendererControl;
  Microsoft::WRL::ComPtr<IPin> rendererPin;

  // Graph, standard camera and renderer, both added, nothing connected.
  HRESULT Build();
  // Stopped camera: picks the capability of that subtype and size through IAMStreamConfig.
  HRESULT SetCameraFormat(TestCamSubtype subtype, LONG width, LONG height);
  HRESULT Connect() { return graph->Connect(cameraPin.Get(), rendererPin.Get()); }
  HRESULT Disconnect();
  void Release();
};

// Waits until pred() holds or the time is up; the last result.
template <class Pred>
bool WaitUntil(Pred pred, DWORD timeoutMs) {
  const ULONGLONG end = ::GetTickCount64() + timeoutMs;
  for (;;) {
    if (pred()) return true;
    if (::GetTickCount64() >= end) return false;
    ::Sleep(10);
  }
}
