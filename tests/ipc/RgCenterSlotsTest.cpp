// The request channel's slots: one round trip through the 32-bit media type header and the bounds
// of what the host reads (field offsets are the record header's static_asserts), then slots full of
// arbitrary client bytes, where every scan of the host must agree with a reference that reads the
// record's raw bytes at their fixed offsets and never hands on more than the format area.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>

#include "IpcTestSupport.h"

TEST(RgCenterRecord, MediaTypeCrossesThe32BitHeaderIntact) {
  CMediaType source;
  ASSERT_EQ(S_OK, BuildVideoInfoType(1280, -720, VideoSubtype::kYuy2, &source));
  AM_MEDIA_TYPE withPointers = source.Get();
  // A pointer of ours must never reach another process (nor be used: it points nowhere).
  withPointers.pUnk = reinterpret_cast<IUnknown*>(static_cast<uintptr_t>(0x5A5A5A50));
  withPointers.bTemporalCompression = 7;

  RgCenterSlot slot;
  memset(&slot, 0xCC, sizeof(slot));
  ASSERT_EQ(S_OK, WriteSlotMediaType(withPointers, &slot));
  EXPECT_EQ(1u, slot.mediaType.bFixedSizeSamples);
  EXPECT_EQ(1280u * 2 * 720, slot.mediaType.lSampleSize);
  EXPECT_EQ(0u, slot.mediaType.pUnk);
  EXPECT_EQ(88u, slot.mediaType.cbFormat);
  EXPECT_EQ(0u, slot.mediaType.pbFormat);
  for (size_t i = 88; i < kSlotFormatCapacity; ++i) EXPECT_EQ(0, slot.formatBytes[i]) << i;

  CMediaType back;
  ASSERT_EQ(S_OK, CopySlotMediaType(slot, &back));
  EXPECT_TRUE(back == source);
  EXPECT_EQ(nullptr, back->pUnk);
  EXPECT_EQ(7, back->bTemporalCompression);
  EXPECT_EQ(source->lSampleSize, back->lSampleSize);

  // More than the area holds is refused, and the slot keeps what it had.
  AM_MEDIA_TYPE tooLong = source.Get();
  BYTE big[kSlotFormatCapacity + 1] = {};
  tooLong.cbFormat = sizeof(big);
  tooLong.pbFormat = big;
  EXPECT_EQ(E_INVALIDARG, WriteSlotMediaType(tooLong, &slot));
  EXPECT_EQ(88u, slot.mediaType.cbFormat);

  // A format read never reaches past the usable length, even with an offset near SIZE_MAX.
  int32_t value = 0;
  slot.mediaType.cbFormat = 60;
  EXPECT_TRUE(ReadFormatInt32(slot, 56, &value));
  EXPECT_FALSE(ReadFormatInt32(slot, 57, &value));
  EXPECT_FALSE(ReadFormatInt32(slot, SIZE_MAX - 1, &value));
}

namespace {

constexpr size_t kClientSlotsAt = 1220, kOutputSlotsAt = 7592, kSlotSize = 708;
constexpr size_t kCountAt = 1216, kPlaceholderAt = 13964;
constexpr size_t kWantsAt = 4, kPidAt = 8, kCbFormatAt = 600, kFormatAt = 608;
constexpr int kRounds = 300;

template <typename T>
T Raw(const uint8_t* bytes, size_t offset) {
  T value;
  memcpy(&value, bytes + offset, sizeof(value));
  return value;
}
template <typename T>
void Put(uint8_t* bytes, size_t offset, T value) { memcpy(bytes + offset, &value, sizeof(value)); }

// The reference choice, written from the record's definition, independently of RgCenterSlots:
// the usable slot (cbFormat 60..100) with the largest width x |height|, ties to the lower slot.
int ReferenceChoice(const uint8_t* slots, size_t count) {
  int chosen = -1;
  long long best = 0;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* slot = slots + i * kSlotSize;
    const uint32_t cb = Raw<uint32_t>(slot, kCbFormatAt);
    const long long size = Raw<int32_t>(slot, kFormatAt + 52) * std::llabs(Raw<int32_t>(slot, kFormatAt + 56));
    if (cb >= 60 && cb <= 100 && size > best) {
      best = size;
      chosen = static_cast<int>(i);
    }
  }
  return chosen;
}

// The chosen slot's type as the record holds it (its decoding is checked by MediaTypeCrossesThe32BitHeaderIntact),
// or an empty type when no slot qualifies.
bool MatchesSlot(const CMediaType& type, const uint8_t* slots, int chosen) {
  CMediaType expected;
  if (chosen >= 0) CopySlotMediaType(*reinterpret_cast<const RgCenterSlot*>(slots + chosen * kSlotSize), &expected);
  return type == expected && type->lSampleSize == expected->lSampleSize && type->pUnk == nullptr &&
         (chosen >= 0 || type.IsEmpty());
}

// Fills every slot with bytes biased towards the values that matter: lengths around the limits,
// extreme sizes, the size of the slot before (ties), this process's id, counts below the slots in use.
void FillRecord(std::mt19937& random, uint8_t* record) {
  const auto pick = [&](uint32_t n) { return static_cast<uint32_t>(random() % n); };
  static const uint32_t kLengths[] = {0, 0, 0, 1, 56, 59, 60, 61, 88, 99, 100, 101, 4096, 0x80000000u, 0xFFFFFFFFu};
  static const int32_t kSizes[] = {0, 1, -1, 480, -480, 640, 720, 1280, INT32_MAX, INT32_MIN, 46341, -46341};
  for (size_t i = 0; i < 2 * kRgCenterSlotCount; ++i) {
    const size_t slotsAt = i < kRgCenterSlotCount ? kClientSlotsAt : kOutputSlotsAt;
    uint8_t* slot = record + slotsAt + (i % kRgCenterSlotCount) * kSlotSize;
    for (size_t b = 0; b < kSlotSize; ++b) slot[b] = static_cast<uint8_t>(random());
    if (pick(4) == 0) continue;  // wholly arbitrary
    Put<uint32_t>(slot, kCbFormatAt, kLengths[pick(15)]);
    Put<int32_t>(slot, kFormatAt + 52, pick(3) == 0 ? static_cast<int32_t>(random()) : kSizes[pick(12)]);
    Put<int32_t>(slot, kFormatAt + 56, pick(3) == 0 ? static_cast<int32_t>(random()) : kSizes[pick(12)]);
    if (i % kRgCenterSlotCount != 0 && pick(3) == 0) {
      memcpy(slot + kFormatAt + 52, slot - kSlotSize + kFormatAt + 52, 8);  // a tie with the slot before
    }
    Put<uint32_t>(slot, kWantsAt, pick(3) == 0 ? static_cast<uint32_t>(random()) : 0);
    if (pick(3) == 0) Put<uint32_t>(slot, kPidAt, ::GetCurrentProcessId());
  }
  Put<uint16_t>(record, kCountAt, static_cast<uint16_t>(pick(4) == 0 ? random() : pick(10)));
  Put<uint32_t>(record, kPlaceholderAt, pick(2) == 0 ? 0 : static_cast<uint32_t>(random() | 1));
}

}  // namespace

TEST(RgCenterRandomSlots, EveryScanAgreesWithTheRawBytes) {
  RgCenterUnderTest channel;
  ASSERT_NO_FATAL_FAILURE(channel.Open(L"rgrand"));
  uint8_t* record = reinterpret_cast<uint8_t*>(&channel.Record());
  const uint8_t* clientSlots = record + kClientSlotsAt;
  const uint32_t seed = static_cast<uint32_t>(::GetTickCount64());
  SCOPED_TRACE(::testing::Message() << "seed " << seed);
  std::mt19937 random(seed);
  CMediaType requested, output;
  for (int iteration = 0; iteration < kRounds; ++iteration) {
    SCOPED_TRACE(::testing::Message() << "iteration " << iteration);
    FillRecord(random, record);
    const size_t scanned = Raw<uint32_t>(record, kPlaceholderAt) != 0 ? 9 : 8;  // slot 8: the placeholder
    channel.host->QueryRequestedFormat(&requested);
    ASSERT_TRUE(MatchesSlot(requested, clientSlots, ReferenceChoice(clientSlots, scanned)));
    channel.host->QueryOutputFormat(&output);
    ASSERT_TRUE(MatchesSlot(output, record + kOutputSlotsAt, ReferenceChoice(record + kOutputSlotsAt, 9)));

    const uint16_t registered = Raw<uint16_t>(record, kCountAt);
    bool demand = false;
    unsigned others = 0;
    for (size_t i = 0; i < scanned; ++i) {
      const uint8_t* slot = clientSlots + i * kSlotSize;
      if (Raw<uint32_t>(slot, kCbFormatAt) == 0) continue;
      demand = demand || Raw<uint32_t>(slot, kWantsAt) != 0;
      // Other processes' clients in slots 0..7, found only while fewer than clientCount were.
      if (i < 8 && others < registered && Raw<uint32_t>(slot, kPidAt) != ::GetCurrentProcessId()) ++others;
    }
    ASSERT_EQ(demand ? TRUE : FALSE, channel.host->DemandDiffers(FALSE));
    ASSERT_EQ(demand ? FALSE : TRUE, channel.host->DemandDiffers(TRUE));
    ASSERT_EQ(registered, channel.host->CountClients(FALSE));
    ASSERT_EQ(others, channel.host->CountClients(TRUE));
  }
}
