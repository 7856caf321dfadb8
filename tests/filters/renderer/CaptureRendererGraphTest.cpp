// The capture renderer in real graphs with the test camera: frames in the ring, malformed and
// unholdable formats refused or dropped, and its format event against a real request channel.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "common/ComReferences.h"
#include "common/ScopedHandle.h"
#include "filters/base/ModuleLifetime.h"
#include "filters/testcam/TestPattern.h"
#include "framering/CFrameRingReader.h"
#include "ipc/CRgCenterClient.h"
#include "ipc/NamedObjects.h"
#include "ipc/ObjectNames.h"
#include "capture/IRendererControl.h"
#include "filters/renderer/CCaptureRenderer.h"
#include "ipc/VideoInfoFormat.h"
#include "support/CheckedGraph.h"
#include "support/TestProcess.h"

using Microsoft::WRL::ComPtr;

namespace {

// The standard test camera and a capture renderer made in this program (so that its destruction
// shows in ModuleLiveObjectCount()).
struct RendererRig : SourceGraph {
  ComPtr<IBaseFilter> renderer;
  ComPtr<IRendererControl> rendererControl;
  ComPtr<IPin> rendererPin;

  // Both added, nothing connected.
  HRESULT Build() {
    HRESULT hr = SourceGraph::Build(kTestCameraProfiles[kTestCamStandard].clsid);
    if (SUCCEEDED(hr)) hr = HandOutNewObject(CCaptureRenderer::Create(), IID_PPV_ARGS(&renderer));
    if (SUCCEEDED(hr)) hr = QueryRendererControl(renderer.Get(), &rendererControl);
    if (SUCCEEDED(hr)) hr = graph->AddFilter(renderer.Get(), kCaptureRendererName);
    rendererPin = PinAt(renderer.Get(), 0);
    return FAILED(hr) ? hr : rendererPin ? S_OK : E_FAIL;
  }
  // Sets the camera's capability `caps` through IAMStreamConfig, then connects.
  HRESULT Connect(int caps) {
    const HRESULT hr = config->SetFormat(&CapsType(pin.Get(), caps).Edit());
    return FAILED(hr) ? hr : graph->Connect(pin.Get(), rendererPin.Get());
  }
};

// A well-formed video type to spoil.
CMediaType VideoType(VideoSubtype subtype, LONG width, LONG height) {
  CMediaType type;
  EXPECT_EQ(S_OK, BuildVideoInfoType(width, height, subtype, &type));
  return type;
}

// Ten more frames reach the ring, none dropped, and the newest is the camera's picture number n,
// byte for byte.
void ExpectCameraFrames(CFrameRingReader& reader, TestCamSubtype subtype, LONG width, LONG height) {
  const LONG64 first = reader.LatestCounter();
  ASSERT_TRUE(WaitUntil([&] { return reader.LatestCounter() >= first + 10; }, 30000)) << "frames stopped";
  EXPECT_EQ(0, reader.Dropped());
  std::vector<BYTE> pixels;
  FrameRingFrame frame = {};
  ASSERT_EQ(S_OK, reader.ReadLatest(&pixels, &frame));
  EXPECT_EQ(width, frame.width);
  EXPECT_EQ(height, frame.height);
  EXPECT_EQ(subtype == TestCamSubtype::Rgb24, (frame.flags & kFrameFlagBottomUp) != 0) << "RGB rows bottom-up";
  TestFrameLayout layout;
  ASSERT_TRUE(ComputeFrameLayout(subtype, width, height, &layout));
  EXPECT_EQ(layout.stride, frame.stride);
  uint32_t number = 0;
  ASSERT_TRUE(ReadFrameCounter(pixels.data(), pixels.size(), &number));
  std::vector<BYTE> expected(layout.imageSize);
  DrawTestFrame(layout, kTestCamStandard, number, expected.data());
  EXPECT_TRUE(expected == pixels) << "picture " << number << " differs from the camera's";
}

BITMAPINFOHEADER& Bitmap(CMediaType& type) { return type.VideoInfo()->bmiHeader; }

void ExpectAllObjectsGone() {
  // The graph may hand its last references back from its own threads.
  EXPECT_TRUE(WaitUntil([] { return ModuleLiveObjectCount() == 0; }, 3000)) << ModuleLiveObjectCount();
  EXPECT_TRUE(WaitUntil([] { return g_cameras->Registration().LiveObjects() == 0; }, 3000));
}

// Long enough for several polls of the renderer's watch.
constexpr DWORD kQuietMs = 4 * CFormatWatcher::kPollMs;
constexpr DWORD kSignalMs = 3000;

int TakeClientSlot(CRgCenterClient& client, LONG width, LONG height) {
  int slot = -1;
  const CMediaType type = VideoType(VideoSubtype::kRgb24, width, height);
  EXPECT_EQ(S_OK, client.TakeSlot(CurrentClientIdentity(), TRUE, type.Get(), &slot));
  return slot;
}

}  // namespace

TEST(CaptureRendererGraph, FramesReachTheRingUpToAStopAndAfterAReconnection) {
  const std::wstring instance = UniqueInstanceName(L"rgraph");
  {
    RendererRig rig;
    ASSERT_EQ(S_OK, rig.Build());
    ASSERT_EQ(S_OK, rig.rendererControl->SetInstanceName(instance.c_str()));
    ASSERT_EQ(S_OK, rig.rendererControl->SetOption(1));
    CFrameRingReader reader;
    ASSERT_EQ(S_OK, reader.Open(instance.c_str())) << "the ring exists from SetInstanceName on";

    ASSERT_EQ(S_OK, rig.Connect(1));  // RGB24 640 x 480
    ASSERT_EQ(S_OK, rig.control->Run());
    ExpectCameraFrames(reader, TestCamSubtype::Rgb24, 640, 480);
    ASSERT_EQ(S_OK, rig.control->Stop());
    const LONG64 atStop = reader.LatestCounter();
    ::Sleep(200);
    EXPECT_EQ(atStop, reader.LatestCounter()) << "frames after the stop";

    // The host rebuilds for a larger format: the ring follows into a new generation.
    ASSERT_EQ(S_OK, rig.graph->Disconnect(rig.pin.Get()));
    ASSERT_EQ(S_OK, rig.graph->Disconnect(rig.rendererPin.Get()));
    ASSERT_EQ(S_OK, rig.Connect(4));  // NV12 1920 x 1080
    ASSERT_EQ(S_OK, rig.control->Run());
    ExpectCameraFrames(reader, TestCamSubtype::Nv12, 1920, 1080);
    EXPECT_EQ(2, reader.MappedGeneration());
    FrameRingFrame frame = {};
    ASSERT_TRUE(reader.PeekLatest(&frame));
    EXPECT_EQ(kFourccNv12, frame.subtype);
  }
  ExpectAllObjectsGone();
}

TEST(CaptureRendererGraph, MalformedTypesAreRefusedAtConnectionTime) {
  constexpr VideoSubtype kRgb24 = VideoSubtype::kRgb24, kRgb32 = VideoSubtype::kRgb32;
  constexpr VideoSubtype kYuy2 = VideoSubtype::kYuy2, kNv12 = VideoSubtype::kNv12;
  const struct {
    const char* what;
    VideoSubtype subtype;
    void (*spoil)(CMediaType& type);
  } cases[] = {
      {"wrong format type", kRgb24, [](CMediaType& t) { t.Edit().formattype = FORMAT_VideoInfo2; }},
      {"compressed subtype", kRgb24, [](CMediaType& t) { t.Edit().subtype = MEDIASUBTYPE_MJPG; }},
      {"block shorter than a VIDEOINFOHEADER", kRgb24, [](CMediaType& t) { t.Edit().cbFormat -= 1; }},
      {"biSize beyond the block", kRgb24, [](CMediaType& t) { Bitmap(t).biSize = 4000; }},
      {"width overflowing 32 bits", kRgb32, [](CMediaType& t) { Bitmap(t).biWidth = 1 << 30; }},
      {"absurd height", kRgb32, [](CMediaType& t) { Bitmap(t).biHeight = LONG_MIN, Bitmap(t).biSizeImage = 0; }},
      {"bit count of another subtype", kRgb24, [](CMediaType& t) { Bitmap(t).biBitCount = 32; }},
      // 641 pixels are 1924 bytes a row, not 1923.
      {"unpadded RGB24 rows", kRgb24,
       [](CMediaType& t) { Bitmap(t).biWidth = 641, Bitmap(t).biSizeImage = 1923 * 480; }},
      {"fixed samples too small for a frame", kRgb32, [](CMediaType& t) { t.Edit().lSampleSize = 1000; }},
      {"odd YUY2 width", kYuy2, [](CMediaType& t) { Bitmap(t).biWidth = 641, Bitmap(t).biSizeImage = 0; }},
      {"odd NV12 height", kNv12, [](CMediaType& t) { Bitmap(t).biHeight = 481, Bitmap(t).biSizeImage = 0; }},
      {"target outside the bitmap", kRgb24, [](CMediaType& t) { t.VideoInfo()->rcTarget = RECT{0, 0, 641, 480}; }},
  };
  {
    RendererRig rig;
    ASSERT_EQ(S_OK, rig.Build());
    IRendererControl* control = rig.rendererControl.Get();
    for (const auto& c : cases) {
      CMediaType type = VideoType(c.subtype, 640, 480);
      EXPECT_EQ(S_OK, rig.rendererPin->QueryAccept(&type.Get())) << "unspoilt: " << c.what;
      c.spoil(type);
      EXPECT_EQ(S_FALSE, rig.rendererPin->QueryAccept(&type.Get())) << c.what;
      EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, rig.rendererPin->ReceiveConnection(rig.pin.Get(), &type.Get()));
      // Announced as the capture format to come, it is the clients' request as it stands.
      EXPECT_EQ(S_OK, control->SetMediaType(&type.Get())) << c.what;
    }
    EXPECT_EQ(E_POINTER, control->SetMediaType(nullptr));
    // One instance for the renderer's life: its clients read one ring.
    const std::wstring instance = UniqueInstanceName(L"rgraph");
    EXPECT_EQ(S_OK, control->SetInstanceName(instance.c_str()));
    EXPECT_EQ(S_OK, control->SetInstanceName(instance.c_str()));
    EXPECT_EQ(E_UNEXPECTED, control->SetInstanceName(L"another"));
  }
  ExpectAllObjectsGone();
}

TEST(CaptureRendererGraph, SamplesInAFormatTheRingCannotHoldAreDroppedNotDescribedAsTheOldOne) {
  const std::wstring instance = UniqueInstanceName(L"rdrop");
  {
    RendererRig rig;
    ASSERT_EQ(S_OK, rig.Build());
    ASSERT_EQ(S_OK, rig.rendererControl->SetInstanceName(instance.c_str()));
    ASSERT_EQ(S_OK, rig.Connect(1));  // RGB24 640 x 480
    CFrameRingReader reader;
    ASSERT_EQ(S_OK, reader.Open(instance.c_str()));
    ComPtr<IMemInputPin> input;
    ASSERT_EQ(S_OK, rig.rendererPin.As(&input));
    ComPtr<IMemAllocator> allocator;
    ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&allocator)));
    ALLOCATOR_PROPERTIES wanted = {1, 1280 * 720 * 3, 1, 0}, actual = {};
    ASSERT_EQ(S_OK, allocator->SetProperties(&wanted, &actual));
    ASSERT_EQ(S_OK, allocator->Commit());
    // Samples handed to the renderer directly; the renderer alone runs, the camera stays stopped.
    ASSERT_EQ(S_OK, rig.renderer->Pause());
    const auto deliver = [&](LONG bytes, const CMediaType* type) {
      ComPtr<IMediaSample> sample;
      BYTE* data = nullptr;
      if (FAILED(allocator->GetBuffer(&sample, nullptr, nullptr, 0)) || FAILED(sample->GetPointer(&data))) return E_FAIL;
      memset(data, 0x5A, static_cast<size_t>(bytes));
      sample->SetActualDataLength(bytes);
      if (type != nullptr) sample->SetMediaType(const_cast<AM_MEDIA_TYPE*>(&type->Get()));
      return input->Receive(sample.Get());
    };
    ASSERT_EQ(S_OK, deliver(640 * 480 * 3, nullptr));
    EXPECT_EQ(1, reader.LatestCounter());
    std::vector<BYTE> pixels;
    FrameRingFrame frame = {};
    ASSERT_EQ(S_OK, reader.ReadLatest(&pixels, &frame));

    // A stranger holds more of the names the ring would grow into than the writer tries.
    std::vector<ScopedHandle> taken;
    for (LONG generation = reader.MappedGeneration() + 1; generation <= reader.MappedGeneration() + 32; ++generation) {
      WCHAR suffix[32], name[kNameCapacity];
      FormatPixelSuffix(suffix, generation);
      ASSERT_TRUE(ComposeObjectName(name, instance.c_str(), suffix));
      taken.emplace_back(CreateOrOpenFileMapping(INVALID_HANDLE_VALUE, PAGE_READWRITE, 0, 16, name));
    }
    const CMediaType larger = VideoType(VideoSubtype::kRgb24, 1280, 720);
    EXPECT_EQ(S_OK, deliver(1280 * 720 * 3, &larger));  // the sample that carries the new format
    EXPECT_EQ(S_OK, deliver(1280 * 720 * 3, nullptr));  // and one after it
    EXPECT_EQ(1, reader.LatestCounter()) << "a larger frame went out described as 640 x 480";
    EXPECT_EQ(2, reader.Dropped());
    EXPECT_EQ(S_OK, rig.renderer->Stop());
    allocator->Decommit();
  }
  ExpectAllObjectsGone();
}

// Set once per change of the clients' largest request that differs from what the renderer
// renders, never for the same request again.
TEST(CaptureRendererFormatEvent, SetOncePerChangeOfTheClientsLargestRequest) {
  const std::wstring instance = UniqueInstanceName(L"rformat");
  CRgCenterClient client;
  ASSERT_EQ(S_OK, client.Open(instance.c_str(), CRgCenterClient::OpenMode::kCreateOrOpen));
  const int first = TakeClientSlot(client, 640, 480);
  ComPtr<IBaseFilter> renderer;
  ASSERT_EQ(S_OK, HandOutNewObject(CCaptureRenderer::Create(), IID_PPV_ARGS(&renderer)));
  ComPtr<IRendererControl> control;
  ASSERT_EQ(S_OK, QueryRendererControl(renderer.Get(), &control));
  ScopedHandle formatEvent(::CreateEventW(nullptr, FALSE, FALSE, nullptr));  // the host's: auto-reset
  ASSERT_EQ(S_OK, control->SetInstanceName(instance.c_str()));
  {
    // The renderer keeps its own duplicate: the copy handed over may be closed at once.
    HANDLE handedOver = nullptr;
    ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), formatEvent.Get(), ::GetCurrentProcess(), &handedOver, 0,
                                  FALSE, DUPLICATE_SAME_ACCESS));
    ScopedHandle closedSoon(handedOver);
    ASSERT_EQ(S_OK, control->SetFormatEvent(closedSoon.Get()));
  }
  ASSERT_EQ(S_OK, control->SetMediaType(&VideoType(VideoSubtype::kRgb24, 640, 480).Get()));
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), ::WaitForSingleObject(formatEvent.Get(), kQuietMs))
      << "the request is what the renderer renders";

  // A second client asks for more: one signal, and no more while that request stands, even
  // though the renderer still renders the smaller format.
  const int second = TakeClientSlot(client, 1280, 720);
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(formatEvent.Get(), kSignalMs));
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), ::WaitForSingleObject(formatEvent.Get(), kQuietMs));
  // It leaves: the largest request is the rendered format again, nothing to tell.
  ASSERT_EQ(S_OK, client.ReleaseSlot(second, CurrentClientIdentity()));
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), ::WaitForSingleObject(formatEvent.Get(), kQuietMs));
  // Another asks for full HD; the host rebuilds in it and the renderer hears of it.
  TakeClientSlot(client, 1920, 1080);
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(formatEvent.Get(), kSignalMs));
  ASSERT_EQ(S_OK, control->SetMediaType(&VideoType(VideoSubtype::kRgb24, 1920, 1080).Get()));
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), ::WaitForSingleObject(formatEvent.Get(), kQuietMs));
  ASSERT_EQ(S_OK, client.ReleaseSlot(first, CurrentClientIdentity()));
}
