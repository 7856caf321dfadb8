// bench_vcam: the delay from a frame's publication in the instance's frame ring (as the capture
// renderer publishes it) to its arrival at the application, through the virtual camera filter in
// an application's graph, for one application and for four at once (four graphs of this process,
// each with its own filter and format). A thread publishes 1280x720 NV12 coded pictures at 30
// frames a second and notes when; each application's renderer reads the code of every sample it
// receives, converted and scaled to its format, and the delay is its arrival minus the
// publication of that code. The filter delivers at its own rate, whose phase against the ring's
// is set by when the graph started: the delay is the wait for the filter's next frame time (up to
// one frame interval) plus the reading and conversion. Each case runs its graphs several times,
// stopped and started again, so that the figures cover many phases.
#include <windows.h>
#include <dshow.h>

#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

#include "BenchClock.h"
#include "VcamTestSupport.h"
#include "common/ScopedComApartment.h"
#include "filters/vcam/CVcamFilter.h"

namespace {

constexpr int kCodes = 32;           // distinct pictures, published in turn: a code names one frame
constexpr double kRingUnitsPerMs = 10000.0;
constexpr DWORD kWarmUpMs = 500;     // the first frames of a run, and its converters, settle
constexpr DWORD kMeasureMs = 1500;   // per run
constexpr int kRuns = 12;

// One application: a filter graph with the virtual camera and a renderer that times what comes.
struct Application {
  Microsoft::WRL::ComPtr<IGraphBuilder> graph;
  Microsoft::WRL::ComPtr<IMediaControl> control;
  Microsoft::WRL::ComPtr<IBaseFilter> vcam;
  Microsoft::WRL::ComPtr<CFrameCheckRenderer> sink;
  TargetFormat target;
  std::mutex lock;
  std::vector<double> delays;  // lock
  bool measuring = false;      // lock
  LONG placeholders = 0;       // lock

  HRESULT Build(size_t caps, const CodedRingWriter& ring) {
    HRESULT hr = ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&graph));
    if (SUCCEEDED(hr)) hr = graph.As(&control);
    if (SUCCEEDED(hr)) hr = CVcamFilter::CreateInstance(nullptr, IID_PPV_ARGS(&vcam));
    sink = AdoptNewObject(CFrameCheckRenderer::Create());
    if (SUCCEEDED(hr)) hr = graph->AddFilter(vcam.Get(), L"Virtual camera");
    if (SUCCEEDED(hr)) hr = graph->AddFilter(sink.Get(), L"Application");
    Microsoft::WRL::ComPtr<IAMStreamConfig> config;
    Microsoft::WRL::ComPtr<IPin> pin = PinAt(vcam.Get(), 0);
    if (SUCCEEDED(hr)) hr = pin ? pin.As(&config) : E_FAIL;
    CMediaType format;
    if (SUCCEEDED(hr)) hr = BuildVcamMediaType(caps, &format);
    if (SUCCEEDED(hr)) hr = config->SetFormat(&format.Edit());
    if (SUCCEEDED(hr)) hr = graph->ConnectDirect(pin.Get(), &sink->InputPin(), nullptr);
    if (FAILED(hr)) return hr;
    target = SinkTarget(*sink.Get());
    sink->InputPin().SetInspector([this, &ring](const BYTE* data, size_t size) {
      const LONG64 now = RingClockNow();
      const uint16_t code = CodeOf(target, data, size);
      std::lock_guard<std::mutex> guard(lock);
      if (!measuring) return;
      const LONG64 published = ring.PublishedAt(code);
      if (code == 0 || published == 0) {
        ++placeholders;
      } else {
        delays.push_back(static_cast<double>(now - published) / kRingUnitsPerMs);
      }
    });
    return S_OK;
  }
  void Measure(bool on) {
    std::lock_guard<std::mutex> guard(lock);
    measuring = on;
  }
  ~Application() {
    if (control) control->Stop();
  }
};

bool RunCase(const std::vector<size_t>& formats, const CodedRingWriter& ring) {
  std::vector<std::unique_ptr<Application>> applications;
  for (size_t caps : formats) {
    applications.push_back(std::make_unique<Application>());
    const HRESULT hr = applications.back()->Build(caps, ring);
    if (FAILED(hr)) {
      printf("an application could not be built: 0x%08lX\n", static_cast<unsigned long>(hr));
      return false;
    }
  }
  for (int run = 0; run < kRuns; ++run) {
    for (auto& application : applications) application->control->Run();
    ::Sleep(kWarmUpMs);
    for (auto& application : applications) application->Measure(true);
    ::Sleep(kMeasureMs);
    for (auto& application : applications) application->Measure(false);
    for (auto& application : applications) application->control->Stop();
    // Start again at another phase against the ring.
    ::Sleep(7 + 11 * run);
  }
  std::vector<double> all;
  LONG placeholders = 0;
  for (size_t i = 0; i < applications.size(); ++i) {
    Application& application = *applications[i];
    std::lock_guard<std::mutex> guard(application.lock);
    all.insert(all.end(), application.delays.begin(), application.delays.end());
    placeholders += application.placeholders;
    CMediaType format;
    BuildVcamMediaType(formats[i], &format);
    printf("    %4ldx%-4ld %-5s  %5.1f frames/s  median %5.1f ms  p99 %5.1f ms\n", application.target.width,
           application.target.height, VideoSubtypeName(format->subtype),
           application.delays.size() * 1000.0 / (kMeasureMs * kRuns), Percentile(application.delays, 0.5),
           Percentile(application.delays, 0.99));
  }
  printf("  all: %zu frames, median %.1f ms, p99 %.1f ms, %ld placeholders\n", all.size(), Percentile(all, 0.5),
         Percentile(all, 0.99), static_cast<long>(placeholders));
  return true;
}

}  // namespace

int wmain() {
  ScopedComApartment com;
  ScopedVcamInstance instance(L"benchvcam");
  FakeHost host(instance.Name());
  CodedRingWriter ring(instance.Name(), kCodes);
  if (!host.Serving() || !ring.Started()) {
    printf("the stand-in host or the frame ring could not be set up\n");
    return 1;
  }
  printf("delay from the ring's publication to the application's renderer, %ldx%ld NV12 at 30 fps in the ring,\n"
         "%d runs of %u ms per case, each after %u ms of warm-up\n",
         CodedRingWriter::kWidth, CodedRingWriter::kHeight, kRuns, static_cast<unsigned>(kMeasureMs), static_cast<unsigned>(kWarmUpMs));
  printf("one application:\n");
  if (!RunCase({7}, ring)) return 1;  // 1280x720 NV12, the ring's own format
  printf("four applications at once:\n");
  // 640x480 RGB24, 1280x720 NV12, 320x240 RGB32, 1280x720 YUY2
  if (!RunCase({0, 7, 13, 6}, ring)) return 1;
  return 0;
}
