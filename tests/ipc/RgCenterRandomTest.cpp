// Slots full of arbitrary client bytes: every scan of the host must agree with a reference that
// reads the record's raw bytes at their fixed offsets, and never hand on more than the format area.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>

#include "RgCenterTestSupport.h"

namespace {

constexpr size_t kClientSlotsAt = 1220, kOutputSlotsAt = 7592, kSlotSize = 708;
constexpr size_t kCountAt = 1216, kPlaceholderAt = 13964;
constexpr size_t kWantsAt = 4, kPidAt = 8, kHeaderAt = 536, kCbFormatAt = 600, kFormatAt = 608;
constexpr int kMaxIterations = 20000;
constexpr ULONGLONG kTimeBudgetMs = 2000;

template <typename T>
T Raw(const uint8_t* bytes, size_t offset) {
  T value;
  memcpy(&value, bytes + offset, sizeof(value));
  return value;
}

// The reference choice: written from the record's definition, independently of RgCenterSlots.
int ReferenceChoice(const uint8_t* record, size_t slotsAt, size_t count) {
  int chosen = -1;
  long long best = 0;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* slot = record + slotsAt + i * kSlotSize;
    const uint32_t cb = Raw<uint32_t>(slot, kCbFormatAt);
    if (cb < 60 || cb > 100) continue;
    const long long width = Raw<int32_t>(slot, kFormatAt + 52);
    long long height = Raw<int32_t>(slot, kFormatAt + 56);
    if (height < 0) height = -height;
    if (width * height > best) {
      best = width * height;
      chosen = static_cast<int>(i);
    }
  }
  return chosen;
}

::testing::AssertionResult MatchesSlot(const CMediaType& type, const uint8_t* record, size_t slotsAt, int chosen) {
  if (chosen < 0) {
    return type.IsEmpty() ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << "expected empty";
  }
  const uint8_t* slot = record + slotsAt + static_cast<size_t>(chosen) * kSlotSize;
  const uint32_t cb = Raw<uint32_t>(slot, kCbFormatAt);
  if (type->cbFormat != cb || type->cbFormat > kSlotFormatCapacity) {
    return ::testing::AssertionFailure() << "cbFormat " << type->cbFormat << " for slot " << chosen;
  }
  if (memcmp(&type->majortype, slot + kHeaderAt, 16) != 0 || memcmp(&type->subtype, slot + kHeaderAt + 16, 16) != 0 ||
      memcmp(&type->formattype, slot + kHeaderAt + 44, 16) != 0 ||
      type->lSampleSize != Raw<uint32_t>(slot, kHeaderAt + 40) ||
      memcmp(type->pbFormat, slot + kFormatAt, cb) != 0 || type->pUnk != nullptr) {
    return ::testing::AssertionFailure() << "contents differ from slot " << chosen;
  }
  return ::testing::AssertionSuccess();
}

// Bytes biased towards the values that matter: lengths around the limits, extreme sizes, our pid.
class SlotNoise {
 public:
  explicit SlotNoise(uint32_t seed) : m_random(seed) {}

  void Fill(uint8_t* record) {
    for (size_t i = 0; i < 2 * kRgCenterSlotCount; ++i) {
      const size_t first = i < kRgCenterSlotCount ? kClientSlotsAt : kOutputSlotsAt;
      uint8_t* slot = record + first + (i % kRgCenterSlotCount) * kSlotSize;
      if (Pick(4) == 0) {
        for (size_t b = 0; b < kSlotSize; ++b) slot[b] = static_cast<uint8_t>(m_random());
        continue;
      }
      static const uint32_t kLengths[] = {0,  0,  0,   1,   52,  56,   59,          60,
                                          61, 88, 99, 100, 101, 4096, 0x80000000u, 0xFFFFFFFFu};
      Put<uint32_t>(slot, kCbFormatAt, kLengths[Pick(16)]);
      Put<int32_t>(slot, kFormatAt + 52, Dimension());
      Put<int32_t>(slot, kFormatAt + 56, Dimension());
      Put<uint32_t>(slot, kWantsAt, Pick(3) == 0 ? static_cast<uint32_t>(m_random()) : 0);
      Put<uint32_t>(slot, kPidAt, Pick(3) == 0 ? ::GetCurrentProcessId() : static_cast<uint32_t>(m_random()));
      for (size_t b = 0; b < 60; ++b) slot[kHeaderAt + b] = static_cast<uint8_t>(m_random());
    }
    Put<uint16_t>(record, kCountAt, static_cast<uint16_t>(Pick(4) == 0 ? m_random() : Pick(10)));
    Put<uint32_t>(record, kPlaceholderAt, Pick(2) == 0 ? 0 : static_cast<uint32_t>(m_random() | 1));
  }

 private:
  uint32_t Pick(uint32_t n) { return static_cast<uint32_t>(m_random() % n); }
  int32_t Dimension() {
    static const int32_t kValues[] = {0, 1, -1, 480, -480, 640, 720, 1280, INT32_MAX, INT32_MIN, 46341, -46341};
    return Pick(3) == 0 ? static_cast<int32_t>(m_random()) : kValues[Pick(12)];
  }
  template <typename T>
  static void Put(uint8_t* base, size_t offset, T value) {
    memcpy(base + offset, &value, sizeof(value));
  }

  std::mt19937 m_random;
};

}  // namespace

TEST(RgCenterRandomSlots, EveryScanAgreesWithTheRawBytes) {
  RgCenterUnderTest channel;
  ASSERT_TRUE(channel.Open(L"rgrand"));
  uint8_t* record = reinterpret_cast<uint8_t*>(&channel.Record());
  const uint32_t seed = static_cast<uint32_t>(::GetTickCount64());
  SCOPED_TRACE(::testing::Message() << "seed " << seed);
  SlotNoise noise(seed);
  const DWORD self = ::GetCurrentProcessId();
  CMediaType requested, output;

  const ULONGLONG start = ::GetTickCount64();
  int iterations = 0;
  for (; iterations < kMaxIterations && ::GetTickCount64() - start < kTimeBudgetMs; ++iterations) {
    noise.Fill(record);
    const bool placeholder = Raw<uint32_t>(record, kPlaceholderAt) != 0;
    const size_t scanned = placeholder ? 9 : 8;

    channel.host->QueryRequestedFormat(&requested);
    ASSERT_TRUE(MatchesSlot(requested, record, kClientSlotsAt, ReferenceChoice(record, kClientSlotsAt, scanned)))
        << "iteration " << iterations;
    channel.host->QueryOutputFormat(&output);
    ASSERT_TRUE(MatchesSlot(output, record, kOutputSlotsAt, ReferenceChoice(record, kOutputSlotsAt, 9)))
        << "iteration " << iterations;

    bool demand = false;
    for (size_t i = 0; i < scanned; ++i) {
      const uint8_t* slot = record + kClientSlotsAt + i * kSlotSize;
      if (Raw<uint32_t>(slot, kCbFormatAt) != 0 && Raw<uint32_t>(slot, kWantsAt) != 0) demand = true;
    }
    ASSERT_EQ(demand ? TRUE : FALSE, channel.host->DemandDiffers(FALSE)) << "iteration " << iterations;
    ASSERT_EQ(demand ? FALSE : TRUE, channel.host->DemandDiffers(TRUE)) << "iteration " << iterations;

    const uint16_t registered = Raw<uint16_t>(record, kCountAt);
    unsigned others = 0;
    for (size_t i = 0; i < 8 && others < registered; ++i) {
      const uint8_t* slot = record + kClientSlotsAt + i * kSlotSize;
      if (Raw<uint32_t>(slot, kCbFormatAt) != 0 && Raw<uint32_t>(slot, kPidAt) != self) ++others;
    }
    ASSERT_EQ(registered, channel.host->CountClients(FALSE)) << "iteration " << iterations;
    ASSERT_EQ(others, channel.host->CountClients(TRUE)) << "iteration " << iterations;
  }
  EXPECT_GE(iterations, 500) << "too few rounds within the time budget";
  RecordProperty("iterations", iterations);
}
