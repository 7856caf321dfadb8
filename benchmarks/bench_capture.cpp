// Prints how fast the host's capture graph code finds a camera, builds camera -> capture renderer,
// gets the first frame into the ring after Run and stops, each next to the same steps done by a
// plain DirectShow sequence in the same run (the ratio is the figure that matters).
#include <windows.h>
#include <dshow.h>
#include <ocidl.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "capture/CaptureFormat.h"
#include "capture/DeviceEnumeration.h"
#include "capture/ExtraVideoDevice.h"
#include "capture/IRendererControl.h"
#include "filters/testcam/TestCameraProfiles.h"
#include "framering/CFrameRingReader.h"
#include "graphctl/CGraphManager.h"
#include "ipc/VideoInfoFormat.h"
#include "support/TestProcess.h"

using Microsoft::WRL::ComPtr;

#include "BenchClock.h"
#include "BenchFilters.h"

namespace {

constexpr int kRuns = 40;
constexpr DWORD kFrameWaitMs = 5000;
constexpr wchar_t kBenchCameraName[] = L"Fontis Bench Camera B";  // the last of 8 devices

struct Figures {
  std::vector<double> ours;
  std::vector<double> direct;
};

void Report(const char* what, const Figures& figures) {
  const double ours = Percentile(figures.ours, 0.5);
  const double direct = Percentile(figures.direct, 0.5);
  printf("%-34s host   runs %3zu  median %8.3f ms  p95 %8.3f ms\n", what, figures.ours.size(), ours,
         Percentile(figures.ours, 0.95));
  printf("%-34s direct runs %3zu  median %8.3f ms  p95 %8.3f ms  ratio %.2fx\n", "", figures.direct.size(), direct,
         Percentile(figures.direct, 0.95), direct > 0 ? ours / direct : 0.0);
}

bool ReadText(IPropertyBag* bag, const wchar_t* property, VARIANT* value) {
  ::VariantClear(value);
  return SUCCEEDED(bag->Read(property, value, nullptr)) && value->vt == VT_BSTR;
}

// The plain sequence: walk the category, bind the first device whose name matches. With
// sameRules the device is compared as the host does (description or friendly name, path, CLSID);
// without, by friendly name only, the least any program does.
ComPtr<IBaseFilter> DirectFind(const wchar_t* name, bool sameRules) {
  ComPtr<ICreateDevEnum> devices;
  ComPtr<IEnumMoniker> monikers;
  ComPtr<IBaseFilter> filter;
  if (FAILED(::CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&devices)))) {
    return filter;
  }
  // S_FALSE: an empty category.
  if (devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0) != S_OK) return filter;
  ComPtr<IMoniker> moniker;
  while (monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    ComPtr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_PPV_ARGS(&bag)))) continue;
    VARIANT value;
    ::VariantInit(&value);
    bool match = false;
    if (!sameRules) {
      match = ReadText(bag.Get(), L"FriendlyName", &value) && wcscmp(value.bstrVal, name) == 0;
    } else {
      match = (ReadText(bag.Get(), L"Description", &value) || ReadText(bag.Get(), L"FriendlyName", &value)) &&
              wcscmp(value.bstrVal, name) == 0;
      match = match || (ReadText(bag.Get(), L"DevicePath", &value) && wcscmp(value.bstrVal, name) == 0);
      match = match || (ReadText(bag.Get(), L"CLSID", &value) && wcscmp(value.bstrVal, name) == 0);
    }
    ::VariantClear(&value);
    if (!match) continue;
    moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter.GetAddressOf()));
    break;
  }
  return filter;
}

ComPtr<IPin> FirstPin(IBaseFilter* filter, PIN_DIRECTION direction) {
  ComPtr<IEnumPins> pins;
  ComPtr<IPin> pin;
  if (FAILED(filter->EnumPins(&pins))) return pin;
  while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    PIN_DIRECTION pinDirection;
    if (SUCCEEDED(pin->QueryDirection(&pinDirection)) && pinDirection == direction) return pin;
  }
  return nullptr;
}

ComPtr<IBaseFilter> Renderer(const std::wstring& instance) {
  ComPtr<IBaseFilter> renderer;
  CreateFilterInstance(CLSID_FontisCaptureRenderer, &renderer);
  ComPtr<IRendererControl> control;
  if (renderer && SUCCEEDED(QueryRendererControl(renderer.Get(), &control))) control->SetInstanceName(instance.c_str());
  return renderer;
}

ComPtr<IBaseFilter> Camera() {
  ComPtr<IBaseFilter> camera;
  CreateFilterInstance(kTestCameraProfiles[kTestCamStandard].clsid, &camera);
  CMediaType format;
  BuildVideoInfoType(640, 480, VideoSubtype::kRgb24, &format);
  SetPinFormat(camera.Get(), PIN_CATEGORY_CAPTURE, &format);
  return camera;
}

// Frames one pipeline (host or direct) delivers into its own ring.
struct RingWatch {
  CFrameRingReader reader;
  // ms until a frame newer than before, or -1.
  double WaitFirst(double start, LONG64 before) {
    if (!reader.WaitForFrame(before, kFrameWaitMs)) return -1;
    return NowMs() - start;
  }
};

int g_lateFrames = 0;

// After a stop no frame may arrive any more.
void CheckQuiet(RingWatch& watch) {
  const LONG64 atStop = watch.reader.LatestCounter();
  ::Sleep(80);
  if (watch.reader.LatestCounter() != atStop) ++g_lateFrames;
}

}  // namespace

int wmain() {
  if (FAILED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 1;
  int exitCode = 0;
  {
    BenchFilters filters;
    if (!filters.Register("bench_capture")) return 1;
    // Six test cameras and two more devices: eight, the sought one last.
    WCHAR standard[64] = {};
    GuidToString(&kTestCameraProfiles[kTestCamStandard].clsid, standard, 64);
    ExtraVideoDevice benchA;
    ExtraVideoDevice benchB;
    benchA.Add(L"ZZFontisBench1", L"Fontis Bench Camera A", nullptr, L"\\\\?\\fontis#bench#a", standard);
    benchB.Add(L"ZZFontisBench2", kBenchCameraName, nullptr, L"\\\\?\\fontis#bench#b", standard);
    std::vector<VideoInputDeviceInfo> devices;
    ListDevices(CLSID_VideoInputDeviceCategory, &devices);
    printf("video input devices: %zu, runs: %d\n", devices.size(), kRuns);

    Figures find, findMinimal, firstBuild, rebuild, firstFrame, stop;
    const std::wstring hostInstance = UniqueInstanceName(L"benchhost");
    const std::wstring directInstance = UniqueInstanceName(L"benchdirect");
    ComPtr<IBaseFilter> hostRenderer = Renderer(hostInstance);
    ComPtr<IBaseFilter> directRenderer = Renderer(directInstance);
    RingWatch hostRing;
    RingWatch directRing;
    if (!hostRenderer || !directRenderer || FAILED(hostRing.reader.Open(hostInstance.c_str())) ||
        FAILED(directRing.reader.Open(directInstance.c_str()))) {
      fprintf(stderr, "bench_capture: no capture renderer or ring\n");
      return 1;
    }

    for (int run = 0; run < kRuns; ++run) {
      // Finding the camera by name.
      double start = NowMs();
      GUID guid = GUID_NULL;
      ComPtr<IBaseFilter> found;
      const HRESULT hr = CreateCaptureFilter(kBenchCameraName, &guid, CLSID_VideoInputDeviceCategory, &found);
      if (hr == S_OK) find.ours.push_back(NowMs() - start);
      start = NowMs();
      ComPtr<IBaseFilter> foundDirect = DirectFind(kBenchCameraName, true);
      if (foundDirect) find.direct.push_back(NowMs() - start);
      findMinimal.ours = find.ours;
      start = NowMs();
      ComPtr<IBaseFilter> foundMinimal = DirectFind(kBenchCameraName, false);
      if (foundMinimal) findMinimal.direct.push_back(NowMs() - start);
      foundMinimal.Reset();
      found.Reset();
      foundDirect.Reset();

      // First build: graph object and thread included.
      ComPtr<IBaseFilter> hostCamera = Camera();
      ComPtr<IBaseFilter> directCamera = Camera();
      start = NowMs();
      auto manager = std::make_unique<CGraphManager>();
      GraphFilterEntry entries[2] = {};
      entries[0].role = kRoleSource;
      entries[0].filter = hostCamera;
      BoundedCopy(entries[0].name, kSourceFilterName);
      entries[0].pinCategory = PIN_CATEGORY_CAPTURE;
      entries[1].role = kRoleCaptureRenderer;
      entries[1].filter = hostRenderer;
      BoundedCopy(entries[1].name, kCaptureRendererName);
      entries[1].pinCategory = GUID_NULL;
      if (manager->BuildGraph(entries, 2, FALSE, nullptr, FALSE, FALSE) == S_OK) firstBuild.ours.push_back(NowMs() - start);

      start = NowMs();
      ComPtr<IGraphBuilder> graph;
      ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&graph));
      const auto directBuild = [&] {
        graph->AddFilter(directCamera.Get(), L"camera");
        graph->AddFilter(directRenderer.Get(), kCaptureRendererName);
        return graph->Connect(FirstPin(directCamera.Get(), PINDIR_OUTPUT).Get(),
                              FirstPin(directRenderer.Get(), PINDIR_INPUT).Get());
      };
      if (SUCCEEDED(directBuild())) firstBuild.direct.push_back(NowMs() - start);

      // Rebuild on the existing, emptied graph object.
      manager->DestroyGraph();
      start = NowMs();
      if (manager->BuildGraph(entries, 2, FALSE, nullptr, FALSE, FALSE) == S_OK) rebuild.ours.push_back(NowMs() - start);
      graph->RemoveFilter(directRenderer.Get());
      graph->RemoveFilter(directCamera.Get());
      start = NowMs();
      if (SUCCEEDED(directBuild())) rebuild.direct.push_back(NowMs() - start);

      // Run to the first frame in the ring.
      LONG64 before = hostRing.reader.LatestCounter();
      start = NowMs();
      if (SUCCEEDED(manager->Run(FALSE))) {
        const double ms = hostRing.WaitFirst(start, before);
        if (ms >= 0) firstFrame.ours.push_back(ms);
      }
      ComPtr<IMediaControl> control;
      graph.As(&control);
      before = directRing.reader.LatestCounter();
      start = NowMs();
      const HRESULT ran = control->Run();
      if (SUCCEEDED(ran)) {
        const double ms = directRing.WaitFirst(start, before);
        if (ms >= 0) firstFrame.direct.push_back(ms);
      }
      ::Sleep(100);

      // Stop until the last frame is in: the call returns when streaming has ended.
      start = NowMs();
      if (SUCCEEDED(manager->Stop())) stop.ours.push_back(NowMs() - start);
      CheckQuiet(hostRing);
      start = NowMs();
      HRESULT stopped = control->Stop();
      if (stopped == S_FALSE) {
        OAFilterState state;
        control->GetState(100, &state);  // S_FALSE: the transition has not finished
      }
      if (SUCCEEDED(stopped)) stop.direct.push_back(NowMs() - start);
      CheckQuiet(directRing);

      manager.reset();
      graph->RemoveFilter(directRenderer.Get());
      graph->RemoveFilter(directCamera.Get());
    }

    Report("find camera among 8 by name", find);
    Report("  against a friendly-name-only walk", findMinimal);
    Report("first build (graph created)", firstBuild);
    Report("rebuild camera -> renderer", rebuild);
    Report("Run to first frame in the ring", firstFrame);
    Report("Stop until streaming ended", stop);
    printf("frames after a completed stop: %d\n", g_lateFrames);
    if (g_lateFrames != 0) exitCode = 1;
    benchA.Remove();
    benchB.Remove();
  }
  ::CoUninitialize();
  return exitCode;
}
