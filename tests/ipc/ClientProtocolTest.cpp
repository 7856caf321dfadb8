// Our clients' protocol over the request channel: what a taken slot holds at its fixed offsets,
// the slots of ended clients freed (also a reused process id), strangers' slots left alone,
// clientCount recounted whatever it said, and a client process killed while registered whose
// slot fontisctl shows as ended and the next client takes over.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "IpcTestSupport.h"
#include "support/FontisctlRun.h"

namespace {

constexpr size_t kSlotBytes = 708;
constexpr size_t kStartLowAt = 0, kWantsAt = 4, kPidAt = 8, kStartHighAt = 12, kNameAt = 16, kCbFormatAt = 600;

template <class T>
T RawField(const RgCenterSlot& slot, size_t offset) {
  T value;
  memcpy(&value, reinterpret_cast<const BYTE*>(&slot) + offset, sizeof(value));
  return value;
}

bool IsAllZero(const RgCenterSlot& slot) {
  const BYTE* bytes = reinterpret_cast<const BYTE*>(&slot);
  return std::all_of(bytes, bytes + kSlotBytes, [](BYTE b) { return b == 0; });
}

CMediaType Rgb24(LONG width, LONG height) {
  CMediaType type;
  EXPECT_EQ(S_OK, BuildVideoInfoType(width, height, VideoSubtype::kRgb24, &type));
  return type;
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

TEST(ClientProtocol, ATakenSlotHoldsWhoWhatAndWhenAndIsGivenBackClean) {
  RgCenterUnderTest channel;
  ASSERT_NO_FATAL_FAILURE(channel.Open(L"cpslot"));
  const ClientIdentity self = CurrentClientIdentity();
  EXPECT_STREQ(L"ipc_tests.exe", self.programName);
  ASSERT_NE(0u, self.startTime.dwLowDateTime | self.startTime.dwHighDateTime);

  int slot = -1;
  ASSERT_EQ(S_OK, channel.client.TakeSlot(self, FALSE, Rgb24(640, 480).Get(), &slot));
  ASSERT_EQ(0, slot);
  const RgCenterSlot& taken = channel.Record().clientSlots[0];
  EXPECT_EQ(self.processId, RawField<uint32_t>(taken, kPidAt));
  EXPECT_EQ(self.startTime.dwLowDateTime, RawField<uint32_t>(taken, kStartLowAt));
  EXPECT_EQ(self.startTime.dwHighDateTime, RawField<uint32_t>(taken, kStartHighAt));
  EXPECT_EQ(0, memcmp(self.programName, reinterpret_cast<const BYTE*>(&taken) + kNameAt,
                      (wcslen(self.programName) + 1) * sizeof(WCHAR)));
  EXPECT_EQ(0u, RawField<uint32_t>(taken, kWantsAt));
  EXPECT_EQ(88u, RawField<uint32_t>(taken, kCbFormatAt));
  EXPECT_EQ(1, channel.host->CountClients(FALSE));
  EXPECT_EQ(FALSE, channel.host->DemandDiffers(FALSE));

  // The host sees what an update says: demand and the larger format.
  ASSERT_EQ(S_OK, channel.client.UpdateSlot(slot, self, TRUE, &Rgb24(1280, 720).Get()));
  EXPECT_EQ(TRUE, channel.host->DemandDiffers(FALSE));
  CMediaType requested;
  channel.host->QueryRequestedFormat(&requested);
  EXPECT_EQ(1280, FormatField(requested, kVideoInfoWidthOffset));
  EXPECT_EQ(E_INVALIDARG, channel.client.UpdateSlot(slot, self, TRUE, &CMediaType().Get()));
  EXPECT_EQ(E_INVALIDARG, channel.client.UpdateSlot(8, self, TRUE, nullptr)) << "slot 8 is the host's";

  // Somebody overwrote our slot: we neither write into it nor clear it.
  ClientIdentity other = self;
  other.startTime.dwLowDateTime ^= 1;
  EXPECT_EQ(CRgCenterClient::kErrSlotLost, channel.client.UpdateSlot(slot, other, FALSE, nullptr));
  EXPECT_EQ(CRgCenterClient::kErrSlotLost, channel.client.ReleaseSlot(slot, other));
  EXPECT_EQ(1u, taken.wantsVideo);

  ASSERT_EQ(S_OK, channel.client.ReleaseSlot(slot, self));
  EXPECT_TRUE(IsAllZero(taken)) << "every field cleared";
  EXPECT_EQ(0, channel.host->CountClients(FALSE));
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
  EXPECT_TRUE(IsAllZero(record.clientSlots[2]));
  EXPECT_TRUE(IsAllZero(record.clientSlots[3]));
  EXPECT_EQ(0xA5, record.clientSlots[1].programName[0] & 0xFF) << "a live stranger's slot is not ours to clear";
  EXPECT_EQ(0xFFFFFFFFu, record.clientSlots[kPlaceholderSlot].mediaType.cbFormat) << "slot 8 is the host's";
  EXPECT_EQ(0x5A, reinterpret_cast<const BYTE*>(&record.outputSlots[0])[100]) << "clients never write outputSlots";
  EXPECT_EQ(2, record.clientCount);
  // The host's scans are not disturbed by the stranger's format.
  CMediaType requested;
  channel.host->QueryRequestedFormat(&requested);
  EXPECT_EQ(640, FormatField(requested, kVideoInfoWidthOffset));

  // Giving back recounts as well.
  record.clientCount = 0;
  ASSERT_EQ(S_OK, channel.client.ReleaseSlot(slot, self));
  EXPECT_EQ(1, record.clientCount);

  // Eight live registrations leave none to take; the count says eight.
  for (int i = 0; i < 7; ++i) ASSERT_EQ(S_OK, channel.client.TakeSlot(self, FALSE, Rgb24(320, 240).Get(), &slot));
  EXPECT_EQ(CRgCenterClient::kErrNoFreeSlot, channel.client.TakeSlot(self, FALSE, Rgb24(320, 240).Get(), &slot));
  EXPECT_EQ(8, record.clientCount);
}

TEST(ClientProtocolProcesses, AKilledClientsSlotShowsAsEndedAndTheNextClientTakesIt) {
  const std::wstring instance = UniqueInstanceName(L"cpkilled");
  TestProcess peer;
  ASSERT_TRUE(StartPeer(peer, instance, L"client " + instance + L" 640 480"));
  CRgCenterClient channel;
  ASSERT_EQ(S_OK, channel.Open(instance.c_str(), CRgCenterClient::OpenMode::kExistingOnly));
  ASSERT_EQ(1, channel.Record()->clientCount);

  const std::string prefix = "slot 0  pid " + std::to_string(peer.Id()) + "  wantsVideo 1  640x480  RGB24";
  CtlRun run = RunFontisctl(L"clients " + instance);
  EXPECT_EQ(0u, run.code);
  EXPECT_NE(std::string::npos, run.output.find(prefix + "  program \"fontis_peer.exe\"  running")) << run.output;

  peer.Kill();
  run = RunFontisctl(L"clients " + instance);
  EXPECT_NE(std::string::npos, run.output.find(prefix + "  program \"fontis_peer.exe\"  ended")) << run.output;
  EXPECT_EQ(1, channel.Record()->clientCount) << "nobody cleaned up after the killed client yet";

  int slot = -1;
  const ClientIdentity self = CurrentClientIdentity();
  ASSERT_EQ(S_OK, channel.TakeSlot(self, FALSE, Rgb24(320, 240).Get(), &slot));
  EXPECT_EQ(0, slot);
  EXPECT_EQ(self.processId, channel.Record()->clientSlots[0].processId);
  EXPECT_EQ(1, channel.Record()->clientCount);
  EXPECT_EQ(S_OK, channel.ReleaseSlot(slot, self));
}
