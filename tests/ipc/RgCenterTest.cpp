// The request channel: the host's scans over arbitrary client bytes, our clients' slot protocol,
// and clients in other processes that hold "slock", die registered or run fontisctl.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "IpcTestSupport.h"
#include "common/CMediaType.h"
#include "ipc/CExProcLock.h"
#include "ipc/CRgCenter.h"
#include "ipc/CRgCenterClient.h"
#include "ipc/ObjectNames.h"
#include "ipc/RgCenterSlots.h"
#include "ipc/VideoInfoFormat.h"
#include "support/FontisctlRun.h"

namespace {

std::unique_ptr<CRgCenter> OpenRgCenterHost(const std::wstring& instance) {
  WCHAR base[kNameCapacity];
  if (!ComposeRgCenterBase(base, instance.c_str())) return nullptr;
  return std::unique_ptr<CRgCenter>(CRgCenter::CreateInstance(base));
}

// The host's side first (it creates the record), then a client's view through which a test
// writes slots as a client would.
struct RgCenterUnderTest {
  std::wstring instance;
  std::unique_ptr<CRgCenter> host;
  CRgCenterClient client;

  void Open(const wchar_t* prefix) {
    instance = UniqueInstanceName(prefix);
    host = OpenRgCenterHost(instance);
    ASSERT_TRUE(host);
    ASSERT_EQ(S_OK, client.Open(instance.c_str(), CRgCenterClient::OpenMode::kExistingOnly));
  }
  RgCenterBlock& Record() { return *client.Record(); }
};

// A VIDEOINFOHEADER's width or height (format offset 52 or 56), -1 when the type has no such block.
LONG FormatField(const CMediaType& type, size_t offset) {
  LONG value = -1;
  if (type->cbFormat >= kMinUsableFormatLength) memcpy(&value, type->pbFormat + offset, sizeof(value));
  return value;
}

const GUID kCameraGuid = {0x6BDD1FC6, 0x810F, 0x11D0, {0xBE, 0xC7, 0x08, 0x00, 0x2B, 0xE2, 0x09, 0x2F}};
const wchar_t kCameraGuidText[] = L"{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}";

CMediaType Rgb24(LONG width, LONG height) {
  CMediaType type;
  EXPECT_EQ(S_OK, BuildVideoInfoType(width, height, VideoSubtype::kRgb24, &type));
  return type;
}

bool IsAllZero(const void* data, size_t size) {
  const BYTE* bytes = static_cast<const BYTE*>(data);
  return std::all_of(bytes, bytes + size, [](BYTE b) { return b == 0; });
}

// A slot in use that a stranger wrote: process id and start time as given, the rest garbage.
void WriteStrangerSlot(RgCenterSlot* slot, DWORD processId, const FILETIME& start) {
  memset(slot, 0xA5, sizeof(*slot));
  slot->processId = processId;
  slot->startTimeLow = start.dwLowDateTime;
  slot->startTimeHigh = start.dwHighDateTime;
  slot->mediaType.cbFormat = 0xFFFFFFFF;  // in use, and no format anyone may read
}

}  // namespace

TEST(RgCenter, ASecondHostKeepsTheRecordAndPublishingWaitsForNoClient) {
  RgCenterUnderTest channel;
  ASSERT_NO_FATAL_FAILURE(channel.Open(L"rgfresh"));
  RgCenterBlock& record = channel.Record();
  EXPECT_EQ(nullptr, CRgCenter::CreateInstance(std::wstring(kNameCapacity - 5, L'n').c_str()));

  ASSERT_EQ(S_OK, channel.host->PublishDevice(kCameraGuid, std::wstring(300, L'c').c_str()));
  EXPECT_EQ(std::wstring(259, L'c'), std::wstring(record.deviceName));  // cut, terminated in place
  EXPECT_STREQ(kCameraGuidText, record.deviceGuidText);
  record.clientCount = 2;
  std::unique_ptr<CRgCenter> second = OpenRgCenterHost(channel.instance);
  ASSERT_TRUE(second);
  EXPECT_EQ(2, second->CountClients(FALSE));
  EXPECT_EQ(E_FAIL, second->PublishDevice(GUID_NULL, L"other"));
  EXPECT_STREQ(kCameraGuidText, record.deviceGuidText);
}

TEST(ClientProtocol, ATakenSlotHoldsWhoWhatAndWhenAndIsGivenBackClean) {
  RgCenterUnderTest channel;
  ASSERT_NO_FATAL_FAILURE(channel.Open(L"cpslot"));
  const ClientIdentity self = CurrentClientIdentity();
  int slot = -1;
  ASSERT_EQ(S_OK, channel.client.TakeSlot(self, FALSE, Rgb24(640, 480).Get(), &slot));
  ASSERT_EQ(0, slot);
  const RgCenterSlot& taken = channel.Record().clientSlots[0];
  EXPECT_EQ(self.processId, taken.processId);
  EXPECT_EQ(self.startTime.dwLowDateTime, taken.startTimeLow);
  EXPECT_EQ(self.startTime.dwHighDateTime, taken.startTimeHigh);
  EXPECT_STREQ(self.programName, taken.programName);
  EXPECT_EQ(0u, taken.wantsVideo);
  EXPECT_EQ(88u, taken.mediaType.cbFormat);
  ASSERT_EQ(S_OK, channel.client.UpdateSlot(slot, self, TRUE, &Rgb24(1280, 720).Get()));
  EXPECT_EQ(E_INVALIDARG, channel.client.UpdateSlot(slot, self, TRUE, &CMediaType().Get()));
  EXPECT_EQ(E_INVALIDARG, channel.client.UpdateSlot(8, self, TRUE, nullptr)) << "slot 8 is the host's";

  // Somebody overwrote our slot: we neither write into it nor clear it.
  ClientIdentity other = self;
  other.startTime.dwLowDateTime ^= 1;
  EXPECT_EQ(CRgCenterClient::kErrSlotLost, channel.client.UpdateSlot(slot, other, FALSE, nullptr));
  EXPECT_EQ(CRgCenterClient::kErrSlotLost, channel.client.ReleaseSlot(slot, other));
  EXPECT_EQ(1u, taken.wantsVideo);

  ASSERT_EQ(S_OK, channel.client.ReleaseSlot(slot, self));
  EXPECT_TRUE(IsAllZero(&taken, sizeof(taken)));
}

TEST(ClientProtocol, EndedClientsAreFreedStrangersKeptAndTheCountRecounted) {
  RgCenterUnderTest channel;
  ASSERT_NO_FATAL_FAILURE(channel.Open(L"cpreclaim"));
  RgCenterBlock& record = channel.Record();
  const ClientIdentity self = CurrentClientIdentity();
  FILETIME reused = self.startTime;
  reused.dwHighDateTime += 1;  // our process id, another process's start: the id was reused
  const FILETIME unrecorded = {};
  WriteStrangerSlot(&record.clientSlots[0], kOtherProcessId, unrecorded);  // no such process
  WriteStrangerSlot(&record.clientSlots[1], self.processId, unrecorded);   // alive, no start time
  WriteStrangerSlot(&record.clientSlots[2], self.processId, reused);
  WriteStrangerSlot(&record.clientSlots[3], 0, unrecorded);
  WriteStrangerSlot(&record.clientSlots[kPlaceholderSlot], kOtherProcessId, unrecorded);
  memset(&record.outputSlots[0], 0x5A, sizeof(record.outputSlots[0]));
  record.clientCount = 7;  // a lie: a recount, not an increment, puts it right

  int slot = -1;
  ASSERT_EQ(S_OK, channel.client.TakeSlot(self, TRUE, Rgb24(640, 480).Get(), &slot));
  EXPECT_EQ(0, slot) << "the lowest slot, freed from its ended owner";
  EXPECT_TRUE(IsAllZero(&record.clientSlots[2], sizeof(RgCenterSlot)));
  EXPECT_TRUE(IsAllZero(&record.clientSlots[3], sizeof(RgCenterSlot)));
  EXPECT_EQ(0xA5, record.clientSlots[1].programName[0] & 0xFF) << "a live stranger's slot is not ours to clear";
  EXPECT_EQ(0xFFFFFFFFu, record.clientSlots[kPlaceholderSlot].mediaType.cbFormat) << "slot 8 is the host's";
  EXPECT_EQ(0x5A, reinterpret_cast<const BYTE*>(&record.outputSlots[0])[100]) << "clients never write outputSlots";
  EXPECT_EQ(2, record.clientCount);

  record.clientCount = 0;  // giving back recounts as well
  ASSERT_EQ(S_OK, channel.client.ReleaseSlot(slot, self));
  EXPECT_EQ(1, record.clientCount);
  // Eight live registrations leave none to take; the count says eight.
  for (int i = 0; i < 7; ++i) ASSERT_EQ(S_OK, channel.client.TakeSlot(self, FALSE, Rgb24(320, 240).Get(), &slot));
  EXPECT_EQ(CRgCenterClient::kErrNoFreeSlot, channel.client.TakeSlot(self, FALSE, Rgb24(320, 240).Get(), &slot));
  EXPECT_EQ(8, record.clientCount);
}

TEST(RgCenterProcesses, ClientThatDiesHoldingTheLockDoesNotBlockTheHost) {
  RgCenterUnderTest channel;
  ASSERT_NO_FATAL_FAILURE(channel.Open(L"rgdead"));
  RgCenterSlot& slot = channel.Record().clientSlots[2];  // in use, another process's, wants video
  slot.mediaType.cbFormat = 88;
  slot.processId = kOtherProcessId;
  slot.wantsVideo = 1;
  channel.Record().clientCount = 1;
  EXPECT_EQ(1, channel.host->CountClients(TRUE));
  channel.Record().clientCount = 0;
  ASSERT_EQ(S_OK, channel.host->PublishDevice(kCameraGuid, L"Before"));

  TestProcess holder;
  ASSERT_TRUE(StartPeer(holder, channel.instance, L"hold " + channel.instance + L" slock"));
  // While a live client holds the lock, an operation gives up after its wait and leaves the record.
  EXPECT_EQ(E_FAIL, channel.host->PublishDevice(GUID_NULL, L"After"));
  EXPECT_STREQ(L"Before", channel.Record().deviceName);
  EXPECT_EQ(1, channel.host->CountClients(TRUE));  // the last count had, not "nobody left"

  // A host whose very first count meets the busy lock has no count yet: that reads as a client.
  // Its waits are cut short by a wake event; a wait without a limit ends by that alone.
  WCHAR base[kNameCapacity], lockName[kNameCapacity];
  ASSERT_TRUE(ComposeRgCenterBase(base, channel.instance.c_str()));
  ASSERT_TRUE(ComposeObjectName(lockName, base, kSuffixRgCenterLock));
  ScopedHandle wake(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
  std::unique_ptr<CRgCenter> fresh(CRgCenter::CreateInstance(base, wake.Get()));
  ASSERT_TRUE(fresh);
  EXPECT_EQ(CRgCenter::kUnknownClientCount, fresh->CountClients(TRUE));
  CExProcLock unbounded(lockName, 0, wake.Get());
  std::atomic<DWORD> result{WAIT_FAILED};
  std::thread waiter([&] { result = unbounded.Lock(); });
  EXPECT_TRUE(WaitUntil([&] { return result.load() != WAIT_FAILED; }, 30000)) << "the wake event did not end the wait";

  holder.Kill();
  waiter.join();
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), result.load());
  EXPECT_EQ(S_OK, channel.host->PublishDevice(GUID_NULL, L"After"));
  EXPECT_STREQ(L"After", channel.Record().deviceName);
  // The operation that inherited the abandoned lock released it: another thread can take it.
  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), TryMutexFromOtherThread(channel.client.LockHandle()));
}

TEST(RgCenterProcesses, ClientsInOtherProcessesOneKilledMeetTheHostAndFontisctl) {
  const std::wstring instance = UniqueInstanceName(L"rgctl");
  // Clients create the channel; the host opens it afterwards and sees the registrations.
  TestProcess peer, join;
  ASSERT_TRUE(StartPeer(peer, instance, L"client " + instance + L" 640 480"));
  ASSERT_TRUE(join.Start(L"fontisctl.exe",
                         L"join " + instance + L" --want-video --size 1280x720 --subtype YUY2 --hold 5"));
  CRgCenterClient view;
  ASSERT_EQ(S_OK, view.Open(instance.c_str(), CRgCenterClient::OpenMode::kExistingOnly));
  ASSERT_TRUE(WaitUntil([&] { return view.Record()->clientCount == 2; }, 10000));
  std::unique_ptr<CRgCenter> host = OpenRgCenterHost(instance);
  ASSERT_TRUE(host);
  EXPECT_EQ(2, host->CountClients(TRUE));
  EXPECT_EQ(TRUE, host->DemandDiffers(FALSE));
  CMediaType requested;
  host->QueryRequestedFormat(&requested);
  EXPECT_EQ(1280, FormatField(requested, kVideoInfoWidthOffset));
  EXPECT_TRUE(IsEqualGUID(kSubtypeYuy2, requested->subtype));

  const std::string peerSlot =
      "slot 0  pid " + std::to_string(peer.Id()) + "  wantsVideo 1  640x480  RGB24  program \"fontis_peer.exe\"  ";
  // A killed client's slot shows as ended and stays until the next client to register takes it.
  peer.Kill();
  const CtlRun run = RunFontisctl(L"clients " + instance);
  EXPECT_NE(std::string::npos, run.output.find(peerSlot + "ended")) << run.output;
  int slot = -1;
  const ClientIdentity self = CurrentClientIdentity();
  ASSERT_EQ(S_OK, view.TakeSlot(self, FALSE, Rgb24(320, 240).Get(), &slot));
  EXPECT_EQ(0, slot);
  EXPECT_EQ(S_OK, view.ReleaseSlot(slot, self));

  // After its hold fontisctl gives its slot back.
  EXPECT_EQ(0u, join.Wait(30000));
  EXPECT_EQ(0, host->CountClients(FALSE));
}

// The host's scans over whatever bytes clients left, against a reference written from the
// record's definition, independently of RgCenterSlots: the usable slot (cbFormat 60..100) with the
// largest width x |height| wins, ties to the lower slot. Values are biased to the limits: lengths
// around the bounds, sizes whose product overflows 32 bits, this process's id, lying counts.
TEST(RgCenterRandomSlots, EveryScanAgreesWithTheRawBytes) {
  RgCenterUnderTest channel;
  ASSERT_NO_FATAL_FAILURE(channel.Open(L"rgrand"));
  RgCenterBlock& record = channel.Record();
  const uint32_t seed = static_cast<uint32_t>(::GetTickCount64());
  SCOPED_TRACE(::testing::Message() << "seed " << seed);
  std::mt19937 random(seed);
  const auto pick = [&](uint32_t n) { return static_cast<uint32_t>(random() % n); };
  static const int32_t kSizes[] = {0, 1, -1, 480, -480, 640, 1280, INT32_MAX, INT32_MIN, 46341, -46341};
  static const uint32_t kLengths[] = {0, 0, 1, 56, 59, 60, 61, 88, 100, 101, 0x80000000u, 0xFFFFFFFFu};
  const auto reference = [](const RgCenterSlot* slots, size_t count) {
    int chosen = -1;
    long long best = 0;
    for (size_t i = 0; i < count; ++i) {
      int32_t extent[2];
      memcpy(extent, slots[i].formatBytes + 52, sizeof(extent));
      const uint32_t cb = slots[i].mediaType.cbFormat;
      const long long size = static_cast<long long>(extent[0]) * std::llabs(extent[1]);
      if (cb >= 60 && cb <= 100 && size > best) {
        best = size;
        chosen = static_cast<int>(i);
      }
    }
    return chosen;
  };
  // The chosen slot's type as the record holds it, or an empty type when no slot qualifies.
  const auto matches = [](const CMediaType& type, const RgCenterSlot* slots, int chosen) {
    CMediaType expected;
    if (chosen >= 0) CopySlotMediaType(slots[chosen], &expected);
    return type == expected && type->lSampleSize == expected->lSampleSize && type->pUnk == nullptr &&
           (chosen >= 0 || type.IsEmpty());
  };
  CMediaType requested, output;
  for (int iteration = 0; iteration < 300; ++iteration) {
    SCOPED_TRACE(::testing::Message() << "iteration " << iteration);
    for (RgCenterSlot* slots : {record.clientSlots, record.outputSlots}) {
      for (size_t i = 0; i < kRgCenterSlotCount; ++i) {
        BYTE* bytes = reinterpret_cast<BYTE*>(&slots[i]);
        for (size_t b = 0; b < sizeof(RgCenterSlot); ++b) bytes[b] = static_cast<BYTE>(random());
        if (pick(4) == 0) continue;  // wholly arbitrary
        const int32_t extent[2] = {kSizes[pick(11)], kSizes[pick(11)]};  // few values: ties are common
        memcpy(slots[i].formatBytes + 52, extent, sizeof(extent));
        slots[i].mediaType.cbFormat = kLengths[pick(12)];
        slots[i].wantsVideo = pick(3) == 0 ? static_cast<uint32_t>(random()) : 0;
        if (pick(3) == 0) slots[i].processId = ::GetCurrentProcessId();
      }
    }
    record.clientCount = static_cast<uint16_t>(pick(4) == 0 ? random() : pick(10));
    record.placeholderActive = pick(2) == 0 ? 0 : static_cast<uint32_t>(random() | 1);

    const size_t scanned = record.placeholderActive != 0 ? 9 : 8;  // slot 8: the placeholder
    channel.host->QueryRequestedFormat(&requested);
    ASSERT_TRUE(matches(requested, record.clientSlots, reference(record.clientSlots, scanned)));
    channel.host->QueryOutputFormat(&output);
    ASSERT_TRUE(matches(output, record.outputSlots, reference(record.outputSlots, 9)));

    bool demand = false;
    unsigned others = 0;
    for (size_t i = 0; i < scanned; ++i) {
      const RgCenterSlot& slot = record.clientSlots[i];
      if (slot.mediaType.cbFormat == 0) continue;
      demand = demand || slot.wantsVideo != 0;
      // Other processes' clients in slots 0..7, found only while fewer than clientCount were.
      if (i < 8 && others < record.clientCount && slot.processId != ::GetCurrentProcessId()) ++others;
    }
    ASSERT_EQ(demand ? TRUE : FALSE, channel.host->DemandDiffers(FALSE));
    ASSERT_EQ(demand ? FALSE : TRUE, channel.host->DemandDiffers(TRUE));
    ASSERT_EQ(record.clientCount, channel.host->CountClients(FALSE));
    ASSERT_EQ(others, channel.host->CountClients(TRUE));
  }
}
