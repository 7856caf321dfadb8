// A test camera and a capture renderer made in this program (so that its destruction shows in
// ModuleLiveObjectCount()) in a filter graph, and well-formed video types to spoil.
#pragma once

#include "capture/IRendererControl.h"
#include "common/ComReferences.h"
#include "filters/renderer/CCaptureRenderer.h"
#include "ipc/VideoInfoFormat.h"
#include "support/TestCameraGraph.h"

inline CMediaType VideoType(VideoSubtype subtype, LONG width, LONG height) {
  CMediaType type;
  EXPECT_EQ(S_OK, BuildVideoInfoType(width, height, subtype, &type));
  return type;
}

struct RendererRig {
  Microsoft::WRL::ComPtr<IGraphBuilder> graph;
  Microsoft::WRL::ComPtr<IMediaControl> control;
  Microsoft::WRL::ComPtr<IBaseFilter> camera, renderer;
  Microsoft::WRL::ComPtr<IRendererControl> rendererControl;
  Microsoft::WRL::ComPtr<IPin> cameraPin, rendererPin;

  // Graph, standard camera and renderer, both added, nothing connected.
  HRESULT Build() {
    HRESULT hr = ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&graph));
    if (SUCCEEDED(hr)) hr = graph.As(&control);
    camera = CreateTestCamera(kTestCamStandard);
    if (SUCCEEDED(hr)) hr = HandOutNewObject(CCaptureRenderer::Create(), IID_PPV_ARGS(&renderer));
    if (SUCCEEDED(hr)) hr = QueryRendererControl(renderer.Get(), &rendererControl);
    if (SUCCEEDED(hr)) hr = graph->AddFilter(camera.Get(), L"Camera");
    if (SUCCEEDED(hr)) hr = graph->AddFilter(renderer.Get(), kCaptureRendererName);
    cameraPin = PinAt(camera.Get(), 0);
    rendererPin = PinAt(renderer.Get(), 0);
    return FAILED(hr) ? hr : cameraPin && rendererPin ? S_OK : E_FAIL;
  }
  // Sets the standard camera's capability `caps` through IAMStreamConfig, then connects.
  HRESULT Connect(int caps) {
    Microsoft::WRL::ComPtr<IAMStreamConfig> config;
    HRESULT hr = cameraPin.As(&config);
    if (SUCCEEDED(hr)) hr = config->SetFormat(&CapsType(cameraPin.Get(), caps).Edit());
    return FAILED(hr) ? hr : graph->Connect(cameraPin.Get(), rendererPin.Get());
  }
  // Stops the graph; the members go in reverse order, the graph last.
  ~RendererRig() {
    if (control) control->Stop();
  }
};
