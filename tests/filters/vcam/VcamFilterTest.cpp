// The virtual camera in filter graphs of this program, with a stand-in host: its slot follows the
// graph, formats are honoured or refused, every offered format streams the ring's pictures,
// placeholders say why while a real camera's ring is missing, stopped or gone, and strangers'
// slots, a killed client and a ring that lies change nothing for the application.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "VcamTestSupport.h"
#include "filters/testcam/TestPattern.h"
#include "filters/vcam/CPlaceholderPicture.h"
#include "framering/FrameRing.h"
#include "ipc/ObjectNames.h"
#include "common/ScopedMutexLock.h"
#include "ipc/RgCenterSlots.h"
#include "support/RendererRig.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr DWORD kStreamWaitMs = 30000;
constexpr size_t kRgb24At640 = 0, kNv12At320 = 15;

CMediaType Offered(size_t index) {
  CMediaType type;
  EXPECT_EQ(S_OK, BuildVcamMediaType(index, &type));
  return type;
}

// The slot of the request channel that carries this process, or null.
const RgCenterSlot* OurSlot(CRgCenterClient& channel) {
  for (size_t i = 0; i < kClientOwnedSlotCount; ++i) {
    const RgCenterSlot& slot = channel.Record()->clientSlots[i];
    if (IsSlotInUse(slot) && slot.processId == ::GetCurrentProcessId()) return &slot;
  }
  return nullptr;
}

LONG SlotWidth(const RgCenterSlot& slot) {
  int32_t width = 0;
  return ReadFormatInt32(slot, kVideoInfoWidthOffset, &width) ? width : -1;
}

std::vector<BYTE> Placeholder(PlaceholderReason reason, const TargetFormat& target) {
  FrameLayout layout;
  EXPECT_EQ(S_OK, DescribeTargetFormat(target, &layout));
  std::vector<BYTE> picture(static_cast<size_t>(layout.imageBytes));
  CPlaceholderPicture painter;
  EXPECT_EQ(S_OK, painter.Render(reason, target, picture.data(), picture.size()));
  return picture;
}

// Waits until the newest sample satisfies `is` (given its bytes).
template <class Is>
bool WaitForNewest(VcamGraph& graph, Is is, DWORD timeoutMs = kStreamWaitMs) {
  std::vector<BYTE> newest;
  return WaitUntil(
      [&] {
        graph.sink->InputPin().CopyNewest(&newest);
        return !newest.empty() && is(newest);
      },
      timeoutMs);
}

// The test camera's picture number n, byte for byte, as the camera drew it at 640 x 480 RGB24.
bool IsCameraFrame(const std::vector<BYTE>& sample) {
  uint32_t number = 0;
  TestFrameLayout layout;
  if (!ComputeFrameLayout(TestCamSubtype::Rgb24, 640, 480, &layout) || sample.size() != layout.imageSize ||
      !ReadFrameCounter(sample.data(), sample.size(), &number)) {
    return false;
  }
  std::vector<BYTE> expected(layout.imageSize);
  DrawTestFrame(layout, kTestCamStandard, number, expected.data());
  return expected == sample;
}

class VcamFilter : public ::testing::Test {
 protected:
  void TearDown() override {
    // Filters and their enumerators are gone once the graphs let go (keepers may still end).
    EXPECT_TRUE(WaitUntil([] { return g_vcam->Call("DllCanUnloadNow") == S_OK; }, 5000)) << "virtual cameras alive";
  }
};

}  // namespace

TEST_F(VcamFilter, TheSlotFollowsTheGraphAndSetFormatBeforeConnectionIsHonoured) {
  ScopedVcamInstance instance(L"vslot");
  FakeHost host(instance.Name());
  ASSERT_TRUE(host.Serving());
  CRgCenterClient channel;
  VcamGraph g;
  {
    ComPtr<IBaseFilter> alone;
    ASSERT_EQ(S_OK, ::CoCreateInstance(kVcamClsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&alone)));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
              channel.Open(instance.Name().c_str(), CRgCenterClient::OpenMode::kExistingOnly))
        << "a filter outside a graph registers nothing";
  }
  ASSERT_EQ(S_OK, g.Build());
  ASSERT_EQ(S_OK, channel.Open(instance.Name().c_str(), CRgCenterClient::OpenMode::kExistingOnly));
  const RgCenterSlot* slot = OurSlot(channel);
  ASSERT_NE(nullptr, slot) << "joining the graph takes a slot";
  EXPECT_EQ(1, channel.Record()->clientCount);
  EXPECT_EQ(0u, slot->wantsVideo);
  EXPECT_EQ(640, SlotWidth(*slot)) << "the first capability until the application chooses";
  WCHAR program[kNameCapacity];
  SlotProgramName(*slot, program);
  EXPECT_STREQ(L"vcam_tests.exe", program);

  // What common capture applications ask of a camera's pin and filter.
  ComPtr<IKsPropertySet> properties;
  ASSERT_EQ(S_OK, g.pin.As(&properties));
  GUID category = GUID_NULL;
  DWORD returned = 0;
  EXPECT_EQ(S_OK, properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, sizeof(category),
                                  &returned));
  EXPECT_TRUE(IsEqualGUID(PIN_CATEGORY_CAPTURE, category));
  ComPtr<IAMPushSource> push;
  ASSERT_EQ(S_OK, g.pin.As(&push));
  REFERENCE_TIME latency = 0;
  EXPECT_EQ(S_OK, push->GetLatency(&latency));
  EXPECT_EQ(kVcamFrameInterval, latency);
  ComPtr<IAMFilterMiscFlags> flags;
  ASSERT_EQ(S_OK, g.vcam.As(&flags));
  EXPECT_EQ(static_cast<ULONG>(AM_FILTER_MISC_FLAGS_IS_SOURCE), flags->GetMiscFlags());
  int count = 0, size = 0;
  ASSERT_EQ(S_OK, g.config->GetNumberOfCapabilities(&count, &size));
  EXPECT_EQ(16, count);
  EXPECT_EQ(128, size);

  // SetFormat before the connection: the format is what the pin offers, connects in and
  // registers with the host.
  ASSERT_EQ(S_OK, g.config->SetFormat(&Offered(kNv12At320).Edit()));
  EXPECT_EQ(320, SlotWidth(*slot));
  EXPECT_TRUE(IsEqualGUID(kSubtypeNv12, slot->mediaType.subtype));
  CTaskMemMediaType current;
  ASSERT_EQ(S_OK, g.config->GetFormat(current.Receive()));
  EXPECT_TRUE(Offered(kNv12At320).Equals(*current.Get()));
  EXPECT_EQ(S_FALSE, g.pin->QueryAccept(&Offered(kRgb24At640).Get())) << "only the chosen format after SetFormat";

  const struct {
    const char* what;
    void (*spoil)(CMediaType& type);
  } refused[] = {
      {"a size we do not offer", [](CMediaType& t) { t.VideoInfo()->bmiHeader.biWidth = 800; }},
      {"a bit count of another layout", [](CMediaType& t) { t.VideoInfo()->bmiHeader.biBitCount = 32; }},
      {"a compression of another layout", [](CMediaType& t) { t.VideoInfo()->bmiHeader.biCompression = BI_RGB; }},
      {"a compressed subtype", [](CMediaType& t) { t.Edit().subtype = MEDIASUBTYPE_MJPG; }},
      {"two seconds a frame", [](CMediaType& t) { t.VideoInfo()->AvgTimePerFrame = 20000000; }},
      {"a target rectangle inside the frame", [](CMediaType& t) { t.VideoInfo()->rcTarget = RECT{0, 0, 160, 120}; }},
      {"a biSizeImage short of a frame", [](CMediaType& t) { t.VideoInfo()->bmiHeader.biSizeImage = 1000; }},
      {"a format block cut short", [](CMediaType& t) { t.Edit().cbFormat = 80; }},
  };
  for (const auto& c : refused) {
    CMediaType type = Offered(kNv12At320);
    c.spoil(type);
    EXPECT_EQ(VFW_E_INVALIDMEDIATYPE, g.config->SetFormat(&type.Edit())) << c.what;
  }
  CMediaType topDown = Offered(kRgb24At640);
  topDown.VideoInfo()->bmiHeader.biHeight = -480;
  topDown.VideoInfo()->AvgTimePerFrame = 0;
  EXPECT_EQ(S_FALSE, g.pin->QueryAccept(&topDown.Get())) << "still fixed to NV12";
  ASSERT_EQ(S_OK, g.config->GetFormat(current.Receive()));
  EXPECT_TRUE(Offered(kNv12At320).Equals(*current.Get())) << "a refused format changes nothing";

  ASSERT_EQ(S_OK, g.Connect(-1));
  AM_MEDIA_TYPE connected = {};
  ASSERT_EQ(S_OK, g.pin->ConnectionMediaType(&connected));
  EXPECT_TRUE(Offered(kNv12At320).Equals(connected));
  CMediaType::FreeFields(connected);

  // wantsVideo exactly while the graph is paused or running.
  ASSERT_TRUE(SUCCEEDED(g.control->Pause()));
  EXPECT_EQ(1u, slot->wantsVideo);
  FILTER_STATE state = State_Stopped;
  EXPECT_EQ(VFW_S_CANT_CUE, g.vcam->GetState(0, &state));
  ASSERT_TRUE(SUCCEEDED(g.control->Run()));
  EXPECT_EQ(1u, slot->wantsVideo);
  EXPECT_EQ(VFW_E_NOT_STOPPED, g.config->SetFormat(&Offered(kNv12At320).Edit()));
  ASSERT_TRUE(g.WaitForSamples(5));
  ASSERT_EQ(S_OK, g.control->Stop());
  EXPECT_EQ(0u, slot->wantsVideo);
  ASSERT_TRUE(SUCCEEDED(g.control->Run()));
  EXPECT_EQ(1u, slot->wantsVideo);
  ASSERT_EQ(S_OK, g.control->Stop());

  // Leaving the graph gives the slot back.
  ASSERT_EQ(S_OK, g.graph->RemoveFilter(g.vcam.Get()));
  EXPECT_EQ(nullptr, OurSlot(channel));
  EXPECT_EQ(0, channel.Record()->clientCount);
}

TEST_F(VcamFilter, EveryOfferedFormatConnectsAndStreamsTheRingsPictures) {
  ScopedVcamInstance instance(L"vformats");
  FakeHost host(instance.Name());
  CodedRingWriter ring(instance.Name());
  ASSERT_TRUE(host.Serving());
  ASSERT_TRUE(ring.Started());
  // The sixteen capabilities, then RGB top-down as applications may ask for it.
  std::vector<CMediaType> formats;
  for (size_t i = 0; i < kVcamFormatCount; ++i) formats.push_back(Offered(i));
  for (size_t i : {size_t{4}, size_t{9}}) {  // RGB24 1280x720, RGB32 1920x1080
    CMediaType type = Offered(i);
    type.VideoInfo()->bmiHeader.biHeight = -type.VideoInfo()->bmiHeader.biHeight;
    formats.push_back(std::move(type));
  }
  for (CMediaType& format : formats) {
    const BITMAPINFOHEADER& bitmap = format.VideoInfo()->bmiHeader;
    const std::string what = std::to_string(bitmap.biWidth) + "x" + std::to_string(bitmap.biHeight) + " " +
                             VideoSubtypeName(format->subtype);
    VcamGraph g;
    ASSERT_EQ(S_OK, g.Build()) << what;
    ASSERT_EQ(S_OK, g.config->SetFormat(&format.Edit())) << what;
    ASSERT_EQ(S_OK, g.Connect(-1)) << what;
    const TargetFormat target = SinkTarget(*g.sink.Get());
    ASSERT_EQ(bitmap.biHeight, target.height) << what;
    ASSERT_TRUE(SUCCEEDED(g.control->Run())) << what;
    uint16_t code = 0;
    EXPECT_TRUE(WaitForNewest(g, [&](const std::vector<BYTE>& s) { return (code = CodeOf(target, s)) != 0; }))
        << what << ": no picture of the ring arrived";
    EXPECT_GE(code, 1);
    EXPECT_LE(code, 4);
    const FrameCheckStats stats = g.sink->InputPin().Stats();
    EXPECT_EQ(0, stats.badSamples) << what;
    EXPECT_EQ(1, stats.discontinuities) << what;
  }
}

TEST_F(VcamFilter, PlaceholdersSaySoWhileTheCamerasRingIsMissingStoppedOrGone) {
  ScopedVcamInstance instance(L"vplace");
  FakeHost host(instance.Name());
  ASSERT_TRUE(host.Serving());
  VcamGraph g;
  ASSERT_EQ(S_OK, g.Build());
  ASSERT_EQ(S_OK, g.Connect(static_cast<int>(kRgb24At640)));
  const TargetFormat target = SinkTarget(*g.sink.Get());
  const std::vector<BYTE> starting = Placeholder(PlaceholderReason::kStarting, target);
  const std::vector<BYTE> locked = Placeholder(PlaceholderReason::kSessionLocked, target);
  ASSERT_NE(starting, locked);
  ASSERT_TRUE(SUCCEEDED(g.control->Run()));

  // No ring yet: the host is starting, as far as the application can tell.
  EXPECT_TRUE(WaitForNewest(g, [&](const std::vector<BYTE>& s) { return s == starting; }));
  host.Status().SetHostCondition(0);
  EXPECT_TRUE(WaitForNewest(g, [&](const std::vector<BYTE>& s) { return s == locked; })) << "session locked";
  host.Status().SetHostCondition(kHostConditionNormal);

  {
    // A real camera fills the ring: its pictures arrive byte for byte (same format, no scaling).
    RendererRig camera;
    ASSERT_EQ(S_OK, camera.Build());
    ASSERT_EQ(S_OK, camera.rendererControl->SetInstanceName(instance.Name().c_str()));
    ASSERT_EQ(S_OK, camera.Connect(1));  // RGB24 640 x 480
    ASSERT_EQ(S_OK, camera.control->Run());
    EXPECT_TRUE(WaitForNewest(g, IsCameraFrame)) << "no camera frame";
    // The camera stops: placeholders again once its last frame is stale, frames when it runs.
    ASSERT_EQ(S_OK, camera.control->Stop());
    EXPECT_TRUE(WaitForNewest(g, [&](const std::vector<BYTE>& s) { return s == starting; }));
    ASSERT_EQ(S_OK, camera.control->Run());
    EXPECT_TRUE(WaitForNewest(g, IsCameraFrame)) << "no camera frame after the restart";
  }
  // The ring's writer is gone for good: placeholders, without a hang or a crash.
  EXPECT_TRUE(WaitForNewest(g, [&](const std::vector<BYTE>& s) { return s == starting; }));
  const LONG before = g.sink->InputPin().Stats().samples;
  EXPECT_TRUE(g.WaitForSamples(10)) << "the stream goes on";
  {
    // Another writer makes the instance's ring anew: its frames are found.
    RendererRig camera;
    ASSERT_EQ(S_OK, camera.Build());
    ASSERT_EQ(S_OK, camera.rendererControl->SetInstanceName(instance.Name().c_str()));
    ASSERT_EQ(S_OK, camera.Connect(1));
    ASSERT_EQ(S_OK, camera.control->Run());
    EXPECT_TRUE(WaitForNewest(g, IsCameraFrame)) << "no frame from the new ring";
    g.control->Stop();
  }
  EXPECT_LT(before, g.sink->InputPin().Stats().samples);
  EXPECT_EQ(0, g.sink->InputPin().Stats().badSamples);
}

TEST_F(VcamFilter, StrangersSlotsAKilledClientAndALyingRingChangeNothingForTheApplication) {
  ScopedVcamInstance instance(L"vstrange");
  FakeHost host(instance.Name());
  ASSERT_TRUE(host.Serving());
  CRgCenterClient channel;
  {
    // A client that registered and was killed leaves its slot behind.
    TestProcess peer;
    ASSERT_TRUE(StartPeer(peer, instance.Name(), L"client " + instance.Name() + L" 640 480"));
    ASSERT_EQ(S_OK, channel.Open(instance.Name().c_str(), CRgCenterClient::OpenMode::kExistingOnly));
    peer.Kill();
  }
  RgCenterBlock& record = *channel.Record();
  ASSERT_EQ(1, record.clientCount);
  // A live stranger's garbage slot next to it (this process's id, no start time recorded).
  memset(&record.clientSlots[1], 0xC3, sizeof(record.clientSlots[1]));
  record.clientSlots[1].processId = ::GetCurrentProcessId();
  record.clientSlots[1].startTimeLow = record.clientSlots[1].startTimeHigh = 0;
  record.clientCount = 2;

  CodedRingWriter ring(instance.Name());
  ASSERT_TRUE(ring.Started());
  VcamGraph g;
  ASSERT_EQ(S_OK, g.Build());
  EXPECT_EQ(0xC3C3C3C3u, record.clientSlots[1].mediaType.cbFormat) << "the stranger's slot stays";
  WCHAR program[kNameCapacity];
  SlotProgramName(record.clientSlots[0], program);
  EXPECT_STREQ(L"vcam_tests.exe", program) << "the killed client's slot was taken over";
  EXPECT_EQ(2, record.clientCount);
  {
    // A client that ends while the filter is registered stops counting within a look or two.
    ScopedMutexLock lock(channel.LockHandle(), CRgCenterClient::kLockTimeoutMs);
    ASSERT_TRUE(lock.Held());
    memset(&record.clientSlots[2], 0x3C, sizeof(record.clientSlots[2]));
    record.clientSlots[2].processId = 0x7FFF0001;  // odd: never a process id
    record.clientCount = 3;
  }
  EXPECT_TRUE(WaitUntil([&] { return !IsSlotInUse(record.clientSlots[2]) && record.clientCount == 2; }, 10000));

  ASSERT_EQ(S_OK, g.Connect(static_cast<int>(kRgb24At640)));
  const TargetFormat target = SinkTarget(*g.sink.Get());
  ASSERT_TRUE(SUCCEEDED(g.control->Run()));
  ASSERT_TRUE(WaitForNewest(g, [&](const std::vector<BYTE>& s) { return CodeOf(target, s) != 0; }));

  // Somebody else writes the ring's header: each lie in turn, announced as a new frame.
  WCHAR controlName[kNameCapacity];
  ASSERT_TRUE(ComposeObjectName(controlName, instance.Name().c_str(), kSuffixFrameRing));
  ScopedHandle control(::OpenFileMappingW(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, controlName));
  ASSERT_TRUE(control.IsValid());
  ScopedMappedView view(::MapViewOfFile(control.Get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0));
  ASSERT_TRUE(view.IsValid());
  auto* header = static_cast<FrameRingHeader*>(view.Get());
  const struct {
    const char* what;
    void (*lie)(FrameRingHeader* h, LONG slot);
  } lies[] = {
      {"a newest slot that does not exist", [](FrameRingHeader* h, LONG) { h->latestSlot = 1000; }},
      {"more bytes than the slot holds", [](FrameRingHeader* h, LONG s) { h->slots[s].frame.bytes = LONG_MAX; }},
      {"a size the bytes do not cover",
       [](FrameRingHeader* h, LONG s) { h->slots[s].frame.width = h->slots[s].frame.height = 16384; }},
      {"a stride of a byte", [](FrameRingHeader* h, LONG s) { h->slots[s].frame.stride = 1; }},
      {"an unknown layout", [](FrameRingHeader* h, LONG s) { h->slots[s].frame.subtype = 0x12345678; }},
      {"a negative height", [](FrameRingHeader* h, LONG s) { h->slots[s].frame.height = -720; }},
      {"a pixel mapping that does not exist", [](FrameRingHeader* h, LONG s) { h->slots[s].generation = 77777; }},
      {"a sequence that never settles", [](FrameRingHeader* h, LONG s) { h->slots[s].sequence |= 1; }},
  };
  for (const auto& l : lies) {
    ring.Pause(true);
    ::Sleep(100);
    const LONG slot = header->latestSlot;
    ASSERT_TRUE(slot >= 0 && slot < kFrameRingMaxSlots);
    l.lie(header, slot);
    ::InterlockedIncrement64(&header->latest.counter);  // a newer frame, as readers see it
    EXPECT_TRUE(WaitForNewest(g, [&](const std::vector<BYTE>& s) { return CodeOf(target, s) == 0; }))
        << l.what << ": no placeholder";
    EXPECT_TRUE(g.WaitForSamples(5)) << l.what << ": the stream stalled";
    // The writer's next frames put the record right again.
    header->slots[slot].sequence &= ~1LL;
    ring.Pause(false);
    EXPECT_TRUE(WaitForNewest(g, [&](const std::vector<BYTE>& s) { return CodeOf(target, s) != 0; }))
        << l.what << ": real frames did not come back";
  }
  EXPECT_EQ(0, g.sink->InputPin().Stats().badSamples);
}

TEST_F(VcamFilter, WithNoCameraToShareThePlaceholderSaysSoAndTheGraphStopsCleanly) {
  // No host serves, and no video input device but the virtual camera exists: nothing is started.
  ScopedVcamInstance instance(L"vnocam");
  TestCameraRegistration& cameras = g_cameras->Registration();
  ASSERT_EQ(S_OK, cameras.Unregister());
  {
    VcamGraph g;
    ASSERT_EQ(S_OK, g.Build());
    ASSERT_EQ(S_OK, g.Connect(static_cast<int>(kNv12At320)));
    const TargetFormat target = SinkTarget(*g.sink.Get());
    const std::vector<BYTE> noCamera = Placeholder(PlaceholderReason::kNoCamera, target);
    ASSERT_TRUE(SUCCEEDED(g.control->Run()));
    EXPECT_TRUE(WaitForNewest(g, [&](const std::vector<BYTE>& s) { return s == noCamera; }));
    EXPECT_TRUE(g.WaitForSamples(10)) << "placeholders come at the application's rate";
    EXPECT_EQ(S_OK, g.control->Stop());
    const FrameCheckStats stats = g.sink->InputPin().Stats();
    EXPECT_EQ(0, stats.badSamples);
    EXPECT_EQ(0, stats.irregularSpacing) << "one frame interval apart";
  }
  EXPECT_EQ(S_OK, cameras.Register());
}
