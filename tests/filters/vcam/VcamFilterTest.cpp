// The virtual camera in graphs of this program with a stand-in host: its slot, the formats it
// honours or refuses, the ring's pictures, and placeholders while the ring is missing, stale,
// lying or gone.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "VcamTestSupport.h"
#include "common/ScopedMappedView.h"
#include "common/ScopedMutexLock.h"
#include "filters/vcam/CPlaceholderPicture.h"
#include "framering/FrameRing.h"
#include "ipc/LiveInstance.h"
#include "ipc/ObjectNames.h"
#include "ipc/RgCenterSlots.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr size_t kRgb24At640 = 0, kNv12At320 = 15;

CMediaType Offered(size_t index) {
  CMediaType type;
  EXPECT_EQ(S_OK, BuildVcamMediaType(index, &type));
  return type;
}

// The slot of the request channel that carries this process, or null.
const RgCenterSlot* OurSlot(CRgCenterClient& channel) {
  for (const RgCenterSlot& slot : channel.Record()->clientSlots) {
    if (IsSlotInUse(slot) && slot.processId == ::GetCurrentProcessId()) return &slot;
  }
  return nullptr;
}

LONG SlotWidth(const RgCenterSlot& slot) {
  int32_t width = 0;
  return ReadFormatInt32(slot, kVideoInfoWidthOffset, &width) ? width : -1;
}

std::wstring SlotProgram(const RgCenterSlot& slot) {
  WCHAR program[kNameCapacity];
  SlotProgramName(slot, program);
  return program;
}

std::vector<BYTE> Placeholder(PlaceholderReason reason, const TargetFormat& target) {
  FrameLayout layout;
  EXPECT_EQ(S_OK, DescribeTargetFormat(target, &layout));
  std::vector<BYTE> picture(static_cast<size_t>(layout.imageBytes));
  EXPECT_EQ(S_OK, CPlaceholderPicture().Render(reason, target, picture.data(), picture.size()));
  return picture;
}

// Waits until the newest sample satisfies `is` (given its bytes).
template <class Is>
bool WaitForNewest(CheckedGraph& graph, Is is) {
  std::vector<BYTE> newest;
  return WaitUntil(
      [&] {
        graph.sink->InputPin().CopyNewest(&newest);
        return !newest.empty() && is(newest);
      },
      30000);
}

class VcamFilter : public ::testing::Test {
 protected:
  void TearDown() override {
    // Filters and their enumerators are gone once the graphs let go (keepers may still end).
    EXPECT_TRUE(WaitUntil([] { return g_vcam->Call("DllCanUnloadNow") == S_OK; }, 5000)) << "virtual cameras alive";
  }
};

}  // namespace

TEST_F(VcamFilter, TheSlotFollowsTheGraphAndFormatsAreHonouredOrRefused) {
  ScopedVcamInstance instance(L"vslot");
  FakeHost host(instance.Name());
  ASSERT_TRUE(host.Serving());
  CheckedGraph g;
  ASSERT_EQ(S_OK, g.Build(kVcamClsid));
  CRgCenterClient channel;
  ASSERT_EQ(S_OK, channel.Open(instance.Name().c_str(), CRgCenterClient::OpenMode::kExistingOnly));
  const RgCenterSlot* slot = OurSlot(channel);
  ASSERT_NE(nullptr, slot) << "joining the graph takes a slot";
  EXPECT_EQ(1, channel.Record()->clientCount);
  EXPECT_EQ(0u, slot->wantsVideo);
  EXPECT_EQ(640, SlotWidth(*slot)) << "the first capability until the application chooses";
  EXPECT_EQ(L"vcam_tests.exe", SlotProgram(*slot));

  // SetFormat before the connection: the format is what the pin offers, connects in and
  // registers with the host.
  ASSERT_EQ(S_OK, g.config->SetFormat(&Offered(kNv12At320).Edit()));
  EXPECT_EQ(320, SlotWidth(*slot));
  EXPECT_TRUE(IsEqualGUID(kSubtypeNv12, slot->mediaType.subtype));
  EXPECT_EQ(S_FALSE, g.pin->QueryAccept(&Offered(kRgb24At640).Get())) << "only the chosen format after SetFormat";
  const struct {
    const char* what;
    void (*spoil)(CMediaType& type);
  } refused[] = {
      {"a size we do not offer", [](CMediaType& t) { t.VideoInfo()->bmiHeader.biWidth = 800; }},
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
  ASSERT_EQ(S_OK, g.Connect());
  AM_MEDIA_TYPE connected = {};
  ASSERT_EQ(S_OK, g.pin->ConnectionMediaType(&connected));
  EXPECT_TRUE(Offered(kNv12At320).Equals(connected));
  CMediaType::FreeFields(connected);

  // wantsVideo exactly while the graph is paused or running.
  ASSERT_TRUE(SUCCEEDED(g.control->Pause()));
  EXPECT_EQ(1u, slot->wantsVideo);
  FILTER_STATE state = State_Stopped;
  EXPECT_EQ(VFW_S_CANT_CUE, g.source->GetState(0, &state));
  ASSERT_TRUE(SUCCEEDED(g.control->Run()));
  EXPECT_EQ(VFW_E_NOT_STOPPED, g.config->SetFormat(&Offered(kNv12At320).Edit()));
  ASSERT_TRUE(g.WaitForSamples(5));
  ASSERT_EQ(S_OK, g.control->Stop());
  EXPECT_EQ(0u, slot->wantsVideo);
  ASSERT_TRUE(SUCCEEDED(g.control->Run()));
  EXPECT_EQ(1u, slot->wantsVideo);
  ASSERT_EQ(S_OK, g.control->Stop());

  // Leaving the graph gives the slot back.
  ASSERT_EQ(S_OK, g.graph->RemoveFilter(g.source.Get()));
  EXPECT_EQ(nullptr, OurSlot(channel));
  EXPECT_EQ(0, channel.Record()->clientCount);
}

TEST_F(VcamFilter, TheStreamGoesOnThroughStrangersSlotsAndARingThatIsMissingStaleLyingOrGone) {
  ScopedVcamInstance instance(L"vstream");
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

  CheckedGraph g;
  ASSERT_EQ(S_OK, g.Build(kVcamClsid));
  EXPECT_EQ(0xC3C3C3C3u, record.clientSlots[1].mediaType.cbFormat) << "the stranger's slot stays";
  EXPECT_EQ(L"vcam_tests.exe", SlotProgram(record.clientSlots[0])) << "the killed client's slot was taken over";
  EXPECT_EQ(2, record.clientCount);
  {
    // A client that ends while the filter is registered stops counting within a look or two.
    ScopedMutexLock lock(channel.LockHandle(), CRgCenterClient::kLockTimeoutMs);
    ASSERT_TRUE(lock.Held());
    memset(&record.clientSlots[2], 0x3C, sizeof(record.clientSlots[2]));
    record.clientSlots[2].processId = kOtherProcessId;
    record.clientCount = 3;
  }
  EXPECT_TRUE(WaitUntil([&] { return !IsSlotInUse(record.clientSlots[2]) && record.clientCount == 2; }, 10000));

  ASSERT_EQ(S_OK, g.Connect(Offered(kRgb24At640)));
  const TargetFormat target = SinkTarget(*g.sink.Get());
  const std::vector<BYTE> starting = Placeholder(PlaceholderReason::kStarting, target);
  const std::vector<BYTE> locked = Placeholder(PlaceholderReason::kSessionLocked, target);
  ASSERT_NE(starting, locked);
  const auto isStarting = [&](const std::vector<BYTE>& s) { return s == starting; };
  const auto isPicture = [&](const std::vector<BYTE>& s) { return CodeOf(target, s) != 0; };
  ASSERT_TRUE(SUCCEEDED(g.control->Run()));
  // No ring yet: the host is starting, as far as the application can tell; then what the host
  // reports.
  EXPECT_TRUE(WaitForNewest(g, isStarting));
  host.Status().SetHostCondition(0);
  EXPECT_TRUE(WaitForNewest(g, [&](const std::vector<BYTE>& s) { return s == locked; })) << "session locked";
  host.Status().SetHostCondition(kHostConditionNormal);

  auto ring = std::make_unique<CodedRingWriter>(instance.Name());
  ASSERT_TRUE(ring->Started());
  ASSERT_TRUE(WaitForNewest(g, isPicture));
  ring->Pause(true);
  EXPECT_TRUE(WaitForNewest(g, isStarting)) << "the last frame went stale";
  ring->Pause(false);
  EXPECT_TRUE(WaitForNewest(g, isPicture)) << "frames did not come back";

  // Somebody else writes the ring's header: each lie in turn, announced as a new frame.
  WCHAR controlName[kNameCapacity];
  ASSERT_TRUE(ComposeObjectName(controlName, instance.Name().c_str(), kSuffixFrameRing));
  ScopedHandle control(::OpenFileMappingW(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, controlName));
  ScopedMappedView view(::MapViewOfFile(control.Get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0));
  ASSERT_TRUE(view.IsValid());
  auto* header = static_cast<FrameRingHeader*>(view.Get());
  using Slot = FrameRingSlot&;
  const struct {
    const char* what;
    void (*lie)(FrameRingHeader* h, Slot s);
  } lies[] = {
      {"a newest slot that does not exist", [](FrameRingHeader* h, Slot) { h->latestSlot = 1000; }},
      {"a size the bytes do not cover", [](FrameRingHeader*, Slot s) { s.frame.width = s.frame.height = 16384; }},
      {"a sequence that never settles", [](FrameRingHeader*, Slot s) { s.sequence |= 1; }},
  };
  for (const auto& l : lies) {
    ring->Pause(true);
    ::Sleep(100);
    const LONG slot = header->latestSlot;
    ASSERT_TRUE(slot >= 0 && slot < kFrameRingMaxSlots);
    l.lie(header, header->slots[slot]);
    ::InterlockedIncrement64(&header->latest.counter);  // a newer frame, as readers see it
    EXPECT_TRUE(WaitForNewest(g, [&](const std::vector<BYTE>& s) { return CodeOf(target, s) == 0; }))
        << l.what << ": no placeholder";
    // The writer's next frames put the record right again.
    header->slots[slot].sequence &= ~1LL;
    ring->Pause(false);
    EXPECT_TRUE(WaitForNewest(g, isPicture)) << l.what << ": real frames did not come back";
  }

  // The ring's writer goes for good: placeholders, without a hang; then another writer makes the
  // instance's ring anew and its frames are found.
  ring.reset();
  EXPECT_TRUE(WaitForNewest(g, isStarting));
  ring = std::make_unique<CodedRingWriter>(instance.Name());
  EXPECT_TRUE(WaitForNewest(g, isPicture)) << "no frame from the new ring";
  EXPECT_EQ(0, g.Stats().badSamples);
}

TEST_F(VcamFilter, WithNoCameraToShareThePlaceholderSaysSoNoHostStartsAndTheGraphStopsCleanly) {
  ScopedVcamInstance instance(L"vnocam");
  TestCameraRegistration& cameras = g_cameras->Registration();
  ASSERT_EQ(S_OK, cameras.Unregister());
  {
    CheckedGraph g;
    ASSERT_EQ(S_OK, g.Build(kVcamClsid));
    ASSERT_EQ(S_OK, g.Connect(Offered(kNv12At320)));
    const std::vector<BYTE> noCamera = Placeholder(PlaceholderReason::kNoCamera, SinkTarget(*g.sink.Get()));
    ASSERT_TRUE(SUCCEEDED(g.control->Run()));
    EXPECT_TRUE(WaitForNewest(g, [&](const std::vector<BYTE>& s) { return s == noCamera; }));
    EXPECT_TRUE(g.WaitForSamples(10)) << "placeholders come at the application's rate";
    EXPECT_EQ(S_OK, g.control->Stop());
    EXPECT_EQ(0, g.Stats().badSamples);
    EXPECT_EQ(0, g.Stats().irregularSpacing) << "one frame interval apart";
    EXPECT_FALSE(IsInstanceFlagPresent(instance.Name().c_str())) << "a host was started for no camera";
  }
  EXPECT_EQ(S_OK, cameras.Register());
}
