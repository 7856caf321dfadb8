// bench_renderer: what the capture renderer costs per frame and how soon a client hears of it.
// For 1920x1080 RGB32 and NV12 it prints the renderer's time to take a sample and publish it
// into the frame ring against a plain memcpy of the same frame in the same run, and the time
// from the renderer receiving a sample to a reader process waking with it (and having copied it).
//   bench_renderer                          the benchmark
//   bench_renderer --reader INSTANCE COUNT  the reader process it starts
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "capture/IRendererControl.h"
#include "common/CMediaType.h"
#include "common/ComReferences.h"
#include "common/ScopedHandle.h"
#include "common/ScopedMappedView.h"
#include "filters/renderer/CCaptureRenderer.h"
#include "framering/CFrameRingReader.h"
#include "support/TestProcess.h"

using Microsoft::WRL::ComPtr;

#include "BenchClock.h"

namespace {

constexpr int kCostFrames = 300;
constexpr int kLatencyFrames = 200;
constexpr DWORD kLatencyPauseMs = 16;  // about 60 frames a second

// Per frame, two figures in 100 ns units: woken, and woken with the frame copied out.
struct LatencyRecord {
  LONG64 woken;
  LONG64 copied;
};

std::wstring ResultsName(const std::wstring& instance) { return instance + L"_bench_latency"; }
std::wstring ReadyName(const std::wstring& instance) { return instance + L"_bench_ready"; }

// The upstream side of the connection: only its direction is ever asked for.
class BenchOutputPin final : public IPin {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (riid != IID_IUnknown && riid != IID_IPin) return E_NOINTERFACE;
    *object = static_cast<IPin*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ::InterlockedIncrement(&m_refs); }
  STDMETHODIMP_(ULONG) Release() override { return ::InterlockedDecrement(&m_refs); }  // lives on the stack
  STDMETHODIMP Connect(IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  STDMETHODIMP ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  STDMETHODIMP Disconnect() override { return E_NOTIMPL; }
  STDMETHODIMP ConnectedTo(IPin**) override { return E_NOTIMPL; }
  STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryPinInfo(PIN_INFO*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override {
    *direction = PINDIR_OUTPUT;
    return S_OK;
  }
  STDMETHODIMP QueryId(LPWSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes**) override { return E_NOTIMPL; }
  STDMETHODIMP QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
  STDMETHODIMP EndOfStream() override { return E_NOTIMPL; }
  STDMETHODIMP BeginFlush() override { return E_NOTIMPL; }
  STDMETHODIMP EndFlush() override { return E_NOTIMPL; }
  STDMETHODIMP NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return E_NOTIMPL; }

 private:
  LONG m_refs = 1;
};

CMediaType MakeType(const GUID& subtype, LONG width, LONG height, WORD bits, DWORD compression, LONG64 image) {
  CMediaType type;
  AM_MEDIA_TYPE& raw = type.Edit();
  raw.majortype = MEDIATYPE_Video;
  raw.subtype = subtype;
  raw.formattype = FORMAT_VideoInfo;
  raw.bFixedSizeSamples = TRUE;
  raw.lSampleSize = static_cast<ULONG>(image);
  auto* info = reinterpret_cast<VIDEOINFOHEADER*>(type.AllocFormat(sizeof(VIDEOINFOHEADER)));
  info->AvgTimePerFrame = 166667;
  info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info->bmiHeader.biWidth = width;
  info->bmiHeader.biHeight = height;
  info->bmiHeader.biPlanes = 1;
  info->bmiHeader.biBitCount = bits;
  info->bmiHeader.biCompression = compression;
  info->bmiHeader.biSizeImage = static_cast<DWORD>(image);
  return type;
}

double ElapsedUs(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  static const double frequency = [] {
    LARGE_INTEGER value;
    ::QueryPerformanceFrequency(&value);
    return static_cast<double>(value.QuadPart);
  }();
  return static_cast<double>(to.QuadPart - from.QuadPart) * 1e6 / frequency;
}

int RunReader(const std::wstring& instance, int count) {
  CFrameRingReader reader;
  const ULONGLONG end = ::GetTickCount64() + 10000;
  while (FAILED(reader.Open(instance.c_str()))) {
    if (::GetTickCount64() >= end) return 3;
    ::Sleep(5);
  }
  ScopedHandle mapping(::OpenFileMappingW(FILE_MAP_WRITE, FALSE, ResultsName(instance).c_str()));
  ScopedMappedView view(::MapViewOfFile(mapping.Get(), FILE_MAP_WRITE, 0, 0, 0));
  ScopedHandle ready(::OpenEventW(EVENT_MODIFY_STATE, FALSE, ReadyName(instance).c_str()));
  if (!view.IsValid() || !ready.IsValid()) return 3;
  auto* records = static_cast<LatencyRecord*>(view.Get());
  std::vector<BYTE> pixels;
  LONG64 last = reader.LatestCounter();
  ::SetEvent(ready.Get());
  for (int i = 0; i < count;) {
    if (!reader.WaitForFrame(last, 5000)) return 4;
    const LONG64 woken = RingClockNow();
    FrameRingFrame frame = {};
    if (reader.ReadLatest(&pixels, &frame) != S_OK) continue;
    records[i].woken = woken - frame.arrival;
    records[i].copied = RingClockNow() - frame.arrival;
    last = frame.counter;
    ++i;
  }
  return 0;
}

struct Format {
  const char* name;
  const GUID* subtype;
  WORD bits;
  DWORD compression;
  LONG64 image;
};

bool Bench(const Format& format) {
  constexpr LONG kWidth = 1920, kHeight = 1080;
  const std::wstring instance = UniqueInstanceName(L"bench_renderer");
  ComPtr<IBaseFilter> renderer;
  ComPtr<IRendererControl> control;
  if (FAILED(HandOutNewObject(CCaptureRenderer::Create(), IID_PPV_ARGS(&renderer))) ||
      FAILED(QueryRendererControl(renderer.Get(), &control)) || FAILED(control->SetInstanceName(instance.c_str()))) {
    return false;
  }
  ComPtr<IEnumPins> pins;
  ComPtr<IPin> pin;
  ComPtr<IMemInputPin> input;
  renderer->EnumPins(&pins);
  if (pins->Next(1, &pin, nullptr) != S_OK || FAILED(pin.As(&input))) return false;
  BenchOutputPin upstream;
  const CMediaType type = MakeType(*format.subtype, kWidth, kHeight, format.bits, format.compression, format.image);
  if (FAILED(pin->ReceiveConnection(&upstream, &type.Get()))) return false;

  ComPtr<IMemAllocator> allocator;
  if (FAILED(::CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&allocator)))) {
    return false;
  }
  ALLOCATOR_PROPERTIES wanted = {1, static_cast<long>(format.image), 1, 0}, actual = {};
  ComPtr<IMediaSample> sample;
  BYTE* data = nullptr;
  if (FAILED(allocator->SetProperties(&wanted, &actual)) || FAILED(allocator->Commit()) ||
      FAILED(allocator->GetBuffer(&sample, nullptr, nullptr, 0)) || FAILED(sample->GetPointer(&data))) {
    return false;
  }
  for (LONG64 i = 0; i < format.image; ++i) data[i] = static_cast<BYTE>(i * 7);
  sample->SetActualDataLength(static_cast<long>(format.image));
  if (FAILED(input->NotifyAllocator(allocator.Get(), FALSE)) || FAILED(renderer->Pause()) || FAILED(renderer->Run(0))) {
    return false;
  }

  // Cost: the renderer's Receive against a memcpy of the same bytes, interleaved so that both
  // meet the same caches and the same neighbours.
  // A third figure: the same memcpy into slots of a paging-file mapping of the ring's shape,
  // which tells the platform's price for shared pages apart from the renderer's own.
  std::vector<BYTE> target(static_cast<size_t>(format.image));
  const size_t slotBytes = (static_cast<size_t>(format.image) + 0xFFFF) & ~static_cast<size_t>(0xFFFF);
  ScopedHandle shared(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                           static_cast<DWORD>(slotBytes * kFrameRingDefaultSlots), nullptr));
  ScopedMappedView sharedView(::MapViewOfFile(shared.Get(), FILE_MAP_WRITE, 0, 0, 0));
  if (!sharedView.IsValid()) return false;
  std::vector<double> copyUs, sharedUs, publishUs;
  for (int i = 0; i < kCostFrames; ++i) {
    LARGE_INTEGER t0, t1, t2, t3;
    ::QueryPerformanceCounter(&t0);
    memcpy(target.data(), data, target.size());
    ::QueryPerformanceCounter(&t1);
    memcpy(static_cast<BYTE*>(sharedView.Get()) + (i % kFrameRingDefaultSlots) * slotBytes, data, target.size());
    ::QueryPerformanceCounter(&t2);
    REFERENCE_TIME start = i * 166667LL, stop = start + 166667;
    sample->SetTime(&start, &stop);
    if (input->Receive(sample.Get()) != S_OK) return false;
    ::QueryPerformanceCounter(&t3);
    if (i >= 10) {  // the first frames fault the pages in
      copyUs.push_back(ElapsedUs(t0, t1));
      sharedUs.push_back(ElapsedUs(t1, t2));
      publishUs.push_back(ElapsedUs(t2, t3));
    }
  }
  const double copyMedian = Percentile(copyUs, 0.5), sharedMedian = Percentile(sharedUs, 0.5),
               publishMedian = Percentile(publishUs, 0.5);
  printf("%-6s 1920x1080 %.2f MB: memcpy median %.0f us; publish median %.0f us, p99 %.0f us; ratio %.2fx\n",
         format.name, static_cast<double>(format.image) / 1e6, copyMedian, publishMedian, Percentile(publishUs, 0.99),
         publishMedian / copyMedian);
  printf("%-6s memcpy into shared-mapping slots median %.0f us: publish / that %.2fx\n", format.name, sharedMedian,
         publishMedian / sharedMedian);

  // Latency: a reader in its own process, the renderer paced at about 60 frames a second.
  ScopedHandle results(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                            kLatencyFrames * sizeof(LatencyRecord), ResultsName(instance).c_str()));
  ScopedMappedView resultView(::MapViewOfFile(results.Get(), FILE_MAP_READ, 0, 0, 0));
  ScopedHandle ready(::CreateEventW(nullptr, TRUE, FALSE, ReadyName(instance).c_str()));
  TestProcess reader;
  if (!resultView.IsValid() ||
      !reader.Start(L"bench_renderer.exe", L"--reader " + instance + L" " + std::to_wstring(kLatencyFrames))) {
    return false;
  }
  HANDLE waits[2] = {ready.Get(), reader.Handle()};
  if (::WaitForMultipleObjects(2, waits, FALSE, 20000) != WAIT_OBJECT_0) return false;
  for (int i = 0; i < kLatencyFrames + 20 && reader.Wait(0) == STILL_ACTIVE; ++i) {
    ::Sleep(kLatencyPauseMs);
    REFERENCE_TIME start = i * 166667LL, stop = start + 166667;
    sample->SetTime(&start, &stop);
    input->Receive(sample.Get());
  }
  if (reader.Wait(20000) != 0) {
    reader.Kill();
    return false;
  }
  const auto* records = static_cast<const LatencyRecord*>(resultView.Get());
  std::vector<double> woken, copied;
  for (int i = 0; i < kLatencyFrames; ++i) {
    woken.push_back(static_cast<double>(records[i].woken) / 10.0);
    copied.push_back(static_cast<double>(records[i].copied) / 10.0);
  }
  printf("%-6s receive -> reader process awake   median %7.0f us  p99 %7.0f us\n", format.name,
         Percentile(woken, 0.5), Percentile(woken, 0.99));
  printf("%-6s receive -> reader has the frame   median %7.0f us  p99 %7.0f us\n", format.name,
         Percentile(copied, 0.5), Percentile(copied, 0.99));

  renderer->Stop();
  pin->Disconnect();
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 4 && wcscmp(argv[1], L"--reader") == 0) return RunReader(argv[2], _wtoi(argv[3]));
  if (FAILED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 1;
  const Format formats[] = {
      {"RGB32", &MEDIASUBTYPE_RGB32, 32, BI_RGB, 1920LL * 1080 * 4},
      {"NV12", &MEDIASUBTYPE_NV12, 12, MAKEFOURCC('N', 'V', '1', '2'), 1920LL * 1080 * 3 / 2},
  };
  int rc = 0;
  for (const Format& format : formats) {
    if (!Bench(format)) {
      fprintf(stderr, "bench_renderer: %s run failed\n", format.name);
      rc = 1;
    }
  }
  ::CoUninitialize();
  return rc;
}
