// fontisctl capture: a small DirectShow application. It opens a video input device by its
// FriendlyName as capture applications do, chooses a capability through IAMStreamConfig, connects
// the capture pin to a sink of ours that accepts exactly that format, runs the graph until N
// frames arrived, stops it, and saves the frames.
#include <dshow.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "BmpWriter.h"
#include "CFrameSink.h"
#include "CaptureFormatChoice.h"
#include "Commands.h"
#include "CtlOutput.h"
#include "RawOutputFile.h"
#include "VideoArguments.h"
#include "capture/CaptureFormatMatch.h"
#include "capture/DeviceEnumeration.h"
#include "capture/GraphConstruction.h"
#include "common/CTaskMemMediaType.h"
#include "common/ComReferences.h"
#include "common/ScopedComApartment.h"
#include "filters/renderer/RendererFormat.h"

using Microsoft::WRL::ComPtr;

const char kCaptureUsage[] =
    "capture DEVICE [--size WxH] [--subtype RGB24|RGB32|YUY2|NV12] [--frames N] [--out FILE]\n"
    "                    [--timeout SECONDS]\n"
    "      DEVICE is matched with the FriendlyName of the video input devices, whole and\n"
    "      case-sensitively (the first such device in enumeration order). Without --size and\n"
    "      --subtype the capture pin's current format is used. FILE.bmp keeps the last frame as a\n"
    "      24-bit BMP, any other FILE the frames' bytes one after another. N is 1 to 10000 (1);\n"
    "      SECONDS 1 to 3600 (30) is the longest wait for a frame. Exit codes: 0 saved, 1 failure,\n"
    "      2 bad arguments, 3 no such device, 4 format refused or not offered, 5 no frame in time";

namespace {

constexpr long long kMaxFrames = 10000;
constexpr long long kDefaultTimeoutSeconds = 30;
constexpr long long kMaxTimeoutSeconds = 3600;
// A pin that reports larger capability records than this is broken.
constexpr int kMaxCapsRecordBytes = 64 * 1024;

struct CaptureOptions {
  const wchar_t* device = nullptr;
  LONG width = 0;  // 0: no --size
  LONG height = 0;
  bool hasSubtype = false;
  GUID subtype = GUID_NULL;
  LONG frames = 1;
  const wchar_t* out = nullptr;
  DWORD timeoutMs = static_cast<DWORD>(kDefaultTimeoutSeconds * 1000);
};

// -1 when the arguments are usable, else the exit code of the usage error.
int ParseOptions(int argc, wchar_t** argv, CaptureOptions* options) {
  if (argc < 1 || argv[0][0] == L'\0' || wcsncmp(argv[0], L"--", 2) == 0) {
    return UsageError("capture needs a device name", kCaptureUsage);
  }
  options->device = argv[0];
  for (int i = 1; i < argc; ++i) {
    const bool hasValue = i + 1 < argc;
    long long number = 0;
    if (wcscmp(argv[i], L"--size") == 0 && hasValue) {
      if (!ParseFrameSize(argv[++i], &options->width, &options->height) || options->height < 0) {
        return UsageError("--size takes WIDTHxHEIGHT, each from 1 to 16384", kCaptureUsage);
      }
    } else if (wcscmp(argv[i], L"--subtype") == 0 && hasValue) {
      VideoSubtype subtype = VideoSubtype::kRgb24;
      if (!ParseVideoSubtype(argv[++i], &subtype)) {
        return UsageError("--subtype is RGB24, RGB32, YUY2 or NV12", kCaptureUsage);
      }
      options->hasSubtype = true;
      options->subtype = VideoSubtypeGuid(subtype);
    } else if (wcscmp(argv[i], L"--frames") == 0 && hasValue) {
      if (!ParseNumber(argv[++i], 1, kMaxFrames, &number)) {
        return UsageError("--frames takes a number from 1 to 10000", kCaptureUsage);
      }
      options->frames = static_cast<LONG>(number);
    } else if (wcscmp(argv[i], L"--out") == 0 && hasValue) {
      options->out = argv[++i];
      if (options->out[0] == L'\0') return UsageError("--out needs a file name", kCaptureUsage);
    } else if (wcscmp(argv[i], L"--timeout") == 0 && hasValue) {
      if (!ParseNumber(argv[++i], 1, kMaxTimeoutSeconds, &number)) {
        return UsageError("--timeout takes a number of seconds from 1 to 3600", kCaptureUsage);
      }
      options->timeoutMs = static_cast<DWORD>(number * 1000);
    } else {
      return UsageError("unexpected argument or missing value", kCaptureUsage);
    }
  }
  return -1;
}

bool IsBmpPath(const wchar_t* path) {
  const size_t length = wcslen(path);
  return length >= 4 && _wcsicmp(path + length - 4, L".bmp") == 0;
}

// "YUY2 640x480", from whatever part of the format block is there.
std::string SizeText(const AM_MEDIA_TYPE& type) {
  const FormatSizeKey key = FormatSizeKeyOf(type);
  std::string text = SubtypeText(type.subtype);
  if (key.width != 0) {
    text += " " + std::to_string(key.width) + "x" + std::to_string(key.height < 0 ? -key.height : key.height);
  }
  return text;
}

// Every capability of the pin, in its order; a capability the pin does not hand out stays empty
// and unreadable.
HRESULT ReadCapabilities(IAMStreamConfig* config, std::vector<CMediaType>* types, std::vector<OfferedFormat>* offers) {
  int count = 0, recordBytes = 0;
  const HRESULT hr = config->GetNumberOfCapabilities(&count, &recordBytes);
  if (FAILED(hr)) return hr;
  if (count < 0 || recordBytes < 0 || recordBytes > kMaxCapsRecordBytes) return E_UNEXPECTED;
  if (count > kMaxCapabilities) count = kMaxCapabilities;
  // At least a whole record, whatever size the pin reports: some write more than they say.
  std::vector<BYTE> record(recordBytes > static_cast<int>(sizeof(VIDEO_STREAM_CONFIG_CAPS))
                               ? static_cast<size_t>(recordBytes)
                               : sizeof(VIDEO_STREAM_CONFIG_CAPS));
  types->resize(static_cast<size_t>(count));
  offers->assign(static_cast<size_t>(count), OfferedFormat{GUID_NULL, 0, 0, false});
  for (int i = 0; i < count; ++i) {
    CTaskMemMediaType type;
    // Anything but S_OK (S_FALSE: no capability at that index) hands out nothing usable.
    if (config->GetStreamCaps(i, type.Receive(), record.data()) != S_OK || !type) continue;
    OfferedFormat& offer = (*offers)[static_cast<size_t>(i)];
    const FormatSizeKey key = FormatSizeKeyOf(*type.Get());
    offer.subtype = type->subtype;
    offer.width = key.width;
    offer.height = key.height < 0 ? -key.height : key.height;
    RendererFormat layout;
    offer.readable = SUCCEEDED(ParseRendererFormat(*type.Get(), &layout)) &&
                     SUCCEEDED((*types)[static_cast<size_t>(i)].CopyFrom(*type.Get()));
  }
  return S_OK;
}

void PrintOffers(const std::vector<CMediaType>& types, const std::vector<OfferedFormat>& offers) {
  fprintf(stderr, "offered formats:\n");
  for (size_t i = 0; i < offers.size(); ++i) {
    if (offers[i].readable) {
      fprintf(stderr, "  %u  %s\n", static_cast<unsigned>(i), SizeText(types[i].Get()).c_str());
    } else {
      fprintf(stderr, "  %u  %s %ldx%ld (a layout this tool does not read)\n", static_cast<unsigned>(i),
              SubtypeText(offers[i].subtype).c_str(), static_cast<long>(offers[i].width),
              static_cast<long>(offers[i].height));
    }
  }
}

// The format the capture pin is to deliver, set on it when one was asked for. -1 with `chosen`
// filled, else an exit code.
int ChooseFormat(IAMStreamConfig* config, const CaptureOptions& options, CMediaType* chosen) {
  CMediaType asked;
  if (options.width != 0 || options.hasSubtype) {
    std::vector<CMediaType> types;
    std::vector<OfferedFormat> offers;
    HRESULT hr = ReadCapabilities(config, &types, &offers);
    if (FAILED(hr)) {
      fprintf(stderr, "fontisctl: the device's formats cannot be listed: %s\n", DescribeHResult(hr).c_str());
      return kExitFormat;
    }
    CaptureRequest request;
    request.width = options.width;
    request.height = options.height;
    request.subtype = options.hasSubtype ? &options.subtype : nullptr;
    const size_t index = ChooseCaptureFormat(request, offers.data(), offers.size());
    if (index == kNoCaptureFormat) {
      fprintf(stderr, "fontisctl: the device does not offer the format asked for\n");
      PrintOffers(types, offers);
      return kExitFormat;
    }
    hr = config->SetFormat(&types[index].Edit());
    if (FAILED(hr)) {
      fprintf(stderr, "fontisctl: the device refused the format %s: %s\n", SizeText(types[index].Get()).c_str(),
              DescribeHResult(hr).c_str());
      return kExitFormat;
    }
    asked = std::move(types[index]);
  }
  // The pin's own record of its format: what it will propose on connection.
  CTaskMemMediaType current;
  const HRESULT hr = config->GetFormat(current.Receive());
  if (SUCCEEDED(hr) && current) {
    const HRESULT copied = chosen->CopyFrom(*current.Get());
    if (SUCCEEDED(copied)) return -1;
    fprintf(stderr, "fontisctl: the format cannot be copied: %s\n", DescribeHResult(copied).c_str());
    return kExitFailure;
  }
  if (asked.HasType()) {
    *chosen = std::move(asked);
    return -1;
  }
  fprintf(stderr, "fontisctl: the device does not tell its current format: %s\n", DescribeHResult(hr).c_str());
  return kExitFormat;
}

void PrintTimes(const std::vector<CFrameSink::SampleTime>& times) {
  printf("sample times in 100 ns units of the stream\n");
  for (size_t i = 0; i < times.size(); ++i) {
    const CFrameSink::SampleTime& t = times[i];
    if (!t.hasStart) {
      printf("frame %u  no time stamp\n", static_cast<unsigned>(i));
    } else if (!t.hasStop) {
      printf("frame %u  start %lld\n", static_cast<unsigned>(i), static_cast<long long>(t.start));
    } else {
      printf("frame %u  start %lld  stop %lld\n", static_cast<unsigned>(i), static_cast<long long>(t.start),
             static_cast<long long>(t.stop));
    }
  }
}

// A graph event after which no more frames come.
bool EndsStreaming(long code, LONG_PTR param2) {
  switch (code) {
    case EC_COMPLETE:
    case EC_USERABORT:
    case EC_ERRORABORT:
    case EC_ERRORABORTEX:
    case EC_STREAM_ERROR_STOPPED:
      return true;
    case EC_DEVICE_LOST:
      return param2 == 0;  // 0: removed, 1: back again
    default:
      return false;
  }
}

// Waits until the sink kept the frames asked for, a graph event ends the stream, or no frame
// came for the timeout. -1 on success, else an exit code after saying why.
int AwaitFrames(CFrameSink* sink, IMediaEvent* events, const CaptureOptions& options) {
  HANDLE eventHandle = nullptr;
  if (events == nullptr || FAILED(events->GetEventHandle(reinterpret_cast<OAEVENT*>(&eventHandle)))) {
    eventHandle = nullptr;
  }
  ULONGLONG lastFrame = ::GetTickCount64();
  for (LONG kept = sink->FramesKept(); kept < options.frames; kept = sink->FramesKept()) {
    const ULONGLONG now = ::GetTickCount64();
    if (now - lastFrame >= options.timeoutMs) {
      if (kept == 0) {
        fprintf(stderr, "fontisctl: no frame arrived within %lu s\n",
                static_cast<unsigned long>(options.timeoutMs / 1000));
      } else {
        fprintf(stderr, "fontisctl: only %ld of %ld frames arrived; none came for %lu s\n", static_cast<long>(kept),
                static_cast<long>(options.frames), static_cast<unsigned long>(options.timeoutMs / 1000));
      }
      if (sink->ShortSamples() > 0) {
        fprintf(stderr, "fontisctl: %ld samples were shorter than a frame\n", static_cast<long>(sink->ShortSamples()));
      }
      return kExitNoFrames;
    }
    const HANDLE handles[2] = {sink->FrameEvent(), eventHandle};
    const DWORD wait = ::WaitForMultipleObjects(eventHandle != nullptr ? 2 : 1, handles, FALSE,
                                                static_cast<DWORD>(options.timeoutMs - (now - lastFrame)));
    if (wait == WAIT_OBJECT_0) {
      lastFrame = ::GetTickCount64();
    } else if (wait == WAIT_OBJECT_0 + 1) {
      long code = 0;
      LONG_PTR param1 = 0, param2 = 0;
      // E_ABORT once the queue is empty.
      while (events->GetEvent(&code, &param1, &param2, 0) == S_OK) {
        const bool ends = EndsStreaming(code, param2);
        events->FreeEventParams(code, param1, param2);
        if (ends) {
          fprintf(stderr, "fontisctl: the graph stopped streaming (event 0x%lX, 0x%llX) after %ld frames\n",
                  static_cast<unsigned long>(code), static_cast<unsigned long long>(param1),
                  static_cast<long>(sink->FramesKept()));
          return kExitFailure;
        }
      }
    } else if (wait == WAIT_FAILED) {
      fprintf(stderr, "fontisctl: waiting for frames failed (error %lu)\n", ::GetLastError());
      return kExitFailure;
    }
  }
  return -1;
}

}  // namespace

int RunCaptureCommand(int argc, wchar_t** argv) {
  CaptureOptions options;
  const int usage = ParseOptions(argc, argv, &options);
  if (usage >= 0) return usage;

  ScopedComApartment com;
  if (FAILED(com.Result())) {
    fprintf(stderr, "fontisctl: COM cannot be initialised: %s\n", DescribeHResult(com.Result()).c_str());
    return kExitFailure;
  }
  const std::string deviceName = Narrow(options.device);
  ComPtr<IBaseFilter> camera;
  HRESULT hr = BindDeviceByFriendlyName(CLSID_VideoInputDeviceCategory, options.device, &camera);
  if (hr == kErrNoSuchDevice) {
    fprintf(stderr, "fontisctl: no video input device has the FriendlyName \"%s\" (fontisctl devices lists them)\n",
            deviceName.c_str());
    return kExitNoDevice;
  }
  if (FAILED(hr)) {
    fprintf(stderr, "fontisctl: the device \"%s\" cannot be opened: %s\n", deviceName.c_str(),
            DescribeHResult(hr).c_str());
    return kExitFailure;
  }
  CLSID clsid = GUID_NULL;
  camera->GetClassID(&clsid);
  printf("device   \"%s\" %s\n", deviceName.c_str(), GuidText(clsid).c_str());

  ComPtr<IGraphBuilder> graph;
  hr = CreateFilterGraph(&graph, FALSE);
  if (SUCCEEDED(hr)) hr = graph->AddFilter(camera.Get(), L"Capture device");
  if (FAILED(hr)) {
    fprintf(stderr, "fontisctl: no filter graph for the device: %s\n", DescribeHResult(hr).c_str());
    return kExitFailure;
  }
  // The capture pin; a device that does not tell its pins' categories gets its first output.
  ComPtr<IPin> output;
  if (FAILED(FindPin(camera.Get(), output.ReleaseAndGetAddressOf(), PINDIR_OUTPUT, PIN_CATEGORY_CAPTURE, nullptr)) &&
      FAILED(FindPin(camera.Get(), output.ReleaseAndGetAddressOf(), PINDIR_OUTPUT, GUID_NULL, nullptr))) {
    fprintf(stderr, "fontisctl: the device has no free output pin\n");
    return kExitFailure;
  }
  ComPtr<IAMStreamConfig> config;
  hr = output.As(&config);
  if (FAILED(hr)) {
    fprintf(stderr, "fontisctl: the device's capture pin has no stream configuration: %s\n",
            DescribeHResult(hr).c_str());
    return kExitFormat;
  }
  CMediaType chosen;
  const int choice = ChooseFormat(config.Get(), options, &chosen);
  if (choice >= 0) return choice;
  RendererFormat layout;
  hr = ParseRendererFormat(chosen.Get(), &layout);
  if (FAILED(hr)) {
    fprintf(stderr, "fontisctl: the device's format %s is not a layout this tool reads\n",
            SizeText(chosen.Get()).c_str());
    return kExitFormat;
  }
  const VIDEOINFOHEADER* info = chosen.VideoInfo();
  printf("format   %s %s, frame interval %lld (100 ns), %lld bytes a frame\n", SizeText(chosen.Get()).c_str(),
         layout.bottomUp ? "bottom-up" : "top-down", static_cast<long long>(info->AvgTimePerFrame),
         static_cast<long long>(layout.imageBytes));
  fflush(stdout);

  const bool bmp = options.out != nullptr && IsBmpPath(options.out);
  RawOutputFile raw;
  if (options.out != nullptr && !bmp && !raw.Create(options.out)) {
    fprintf(stderr, "fontisctl: cannot create \"%s\" (error %lu)\n", Narrow(options.out).c_str(), ::GetLastError());
    return kExitFailure;
  }
  CFrameSink* created = nullptr;
  hr = CFrameSink::Create(chosen, static_cast<size_t>(layout.imageBytes), options.frames, raw.Get(), &created);
  if (FAILED(hr)) {
    fprintf(stderr, "fontisctl: no frame sink: %s\n", DescribeHResult(hr).c_str());
    return kExitFailure;
  }
  ComPtr<CFrameSink> sink = AdoptNewObject(created);
  hr = graph->AddFilter(sink.Get(), L"Frame sink");
  if (FAILED(hr)) {
    fprintf(stderr, "fontisctl: the frame sink cannot join the graph: %s\n", DescribeHResult(hr).c_str());
    return kExitFailure;
  }
  hr = graph->ConnectDirect(output.Get(), sink->InputPin(), &chosen.Get());
  if (FAILED(hr)) {
    fprintf(stderr, "fontisctl: the device does not connect in format %s: %s\n", SizeText(chosen.Get()).c_str(),
            DescribeHResult(hr).c_str());
    return kExitFormat;
  }

  ComPtr<IMediaControl> control;
  ComPtr<IMediaEvent> events;
  hr = graph.As(&control);
  if (FAILED(hr)) {
    fprintf(stderr, "fontisctl: the graph cannot be run: %s\n", DescribeHResult(hr).c_str());
    return kExitFailure;
  }
  // mingw-w64 gives IMediaEvent no __uuidof.
  graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(events.ReleaseAndGetAddressOf()));
  hr = control->Run();
  if (FAILED(hr)) {
    // The filters that did start stay started when the graph takes the failed run for no state
    // change, and a started filter cannot be disconnected when the graph is released.
    control->Stop();
    sink->Stop();
    camera->Stop();
    fprintf(stderr, "fontisctl: the device failed to start: %s\n", DescribeHResult(hr).c_str());
    return kExitFailure;
  }
  const int waited = AwaitFrames(sink.Get(), events.Get(), options);
  control->Stop();
  if (waited >= 0) return waited;

  const std::vector<CFrameSink::SampleTime> times = sink->Times();
  printf("frames   %u\n", static_cast<unsigned>(times.size()));
  PrintTimes(times);
  if (sink->WriteFailed()) {
    fprintf(stderr, "fontisctl: writing \"%s\" failed\n", Narrow(options.out).c_str());
    return kExitFailure;
  }
  if (bmp) {
    const std::vector<BYTE> last = sink->LastFrame();
    SourceFrame frame;
    frame.fourcc = layout.fourcc;
    frame.width = layout.width;
    frame.height = layout.height;
    frame.stride = layout.stride;
    frame.bottomUp = layout.bottomUp;
    frame.data = last.data();
    frame.bytes = last.size();
    hr = SaveFrameAsBmp(options.out, frame);
    if (FAILED(hr)) {
      fprintf(stderr, "fontisctl: cannot save \"%s\": %s\n", Narrow(options.out).c_str(), DescribeHResult(hr).c_str());
      return kExitFailure;
    }
    printf("saved    %s (the last frame as a 24-bit BMP)\n", Narrow(options.out).c_str());
  } else if (options.out != nullptr) {
    raw.Keep();
    printf("saved    %s (%u frames of %lld bytes)\n", Narrow(options.out).c_str(), static_cast<unsigned>(times.size()),
           static_cast<long long>(layout.imageBytes));
  }
  return kExitOk;
}
