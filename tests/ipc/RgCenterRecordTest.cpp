// The 32-bit media type translation at its byte positions, the owning media type and the bounds
// of what the host reads from a slot. (The scans are checked against raw record offsets in
// RgCenterRandomTest.cpp.)
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>

#include "RgCenterTestSupport.h"

namespace {


template <typename T>
T ReadAt(const void* base, size_t offset) {
  T value;
  memcpy(&value, static_cast<const uint8_t*>(base) + offset, sizeof(value));
  return value;
}

// Counts references so that a test can see every AddRef matched by a Release.
class CountingUnknown : public IUnknown {
 public:
  ULONG refs = 0;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
};

}  // namespace

TEST(RgCenterRecord, MediaTypeCrossesThe32BitHeaderIntact) {
  CMediaType source;
  ASSERT_EQ(S_OK, BuildVideoInfoType(1280, -720, VideoSubtype::kYuy2, &source));
  CountingUnknown unknown;
  AM_MEDIA_TYPE withPointers = source.Get();
  withPointers.pUnk = &unknown;  // a pointer of ours must never reach another process
  withPointers.bTemporalCompression = 7;

  RgCenterSlot slot;
  memset(&slot, 0xCC, sizeof(slot));
  ASSERT_EQ(S_OK, WriteSlotMediaType(withPointers, &slot));
  const uint8_t* header = reinterpret_cast<const uint8_t*>(&slot) + 536;
  EXPECT_EQ(0, memcmp(header + 0, &kMediaTypeVideo, 16));
  EXPECT_EQ(0, memcmp(header + 16, &kSubtypeYuy2, 16));
  EXPECT_EQ(1u, ReadAt<uint32_t>(header, 32));
  EXPECT_EQ(7u, ReadAt<uint32_t>(header, 36));
  EXPECT_EQ(1280u * 2 * 720, ReadAt<uint32_t>(header, 40));
  EXPECT_EQ(0, memcmp(header + 44, &kFormatVideoInfo, 16));
  EXPECT_EQ(0u, ReadAt<uint32_t>(header, 60));
  EXPECT_EQ(88u, ReadAt<uint32_t>(header, 64));
  EXPECT_EQ(0u, ReadAt<uint32_t>(header, 68));
  EXPECT_EQ(0, memcmp(slot.formatBytes, source->pbFormat, 88));
  for (size_t i = 88; i < kSlotFormatCapacity; ++i) EXPECT_EQ(0, slot.formatBytes[i]) << i;

  CMediaType back;
  ASSERT_EQ(S_OK, CopySlotMediaType(slot, &back));
  EXPECT_TRUE(back == source);
  EXPECT_EQ(nullptr, back->pUnk);
  EXPECT_EQ(7, back->bTemporalCompression);
  EXPECT_EQ(source->lSampleSize, back->lSampleSize);
  EXPECT_EQ(0u, unknown.refs);

  // More than the area holds is refused, and the slot keeps what it had.
  AM_MEDIA_TYPE tooLong = source.Get();
  BYTE big[kSlotFormatCapacity + 1] = {};
  tooLong.cbFormat = sizeof(big);
  tooLong.pbFormat = big;
  EXPECT_EQ(E_INVALIDARG, WriteSlotMediaType(tooLong, &slot));
  EXPECT_EQ(88u, slot.mediaType.cbFormat);
}

TEST(MediaTypeRecord, EmptyCopyFreeAndEquality) {
  CMediaType empty;
  EXPECT_TRUE(empty.IsEmpty());
  EXPECT_FALSE(empty.HasType());
  EXPECT_EQ(TRUE, empty->bFixedSizeSamples);
  EXPECT_EQ(1u, empty->lSampleSize);

  CMediaType a;
  ASSERT_EQ(S_OK, BuildVideoInfoType(640, 480, VideoSubtype::kRgb24, &a));
  CountingUnknown unknown;
  AM_MEDIA_TYPE withUnknown = a.Get();
  withUnknown.pUnk = &unknown;
  {
    CMediaType b;
    ASSERT_EQ(S_OK, b.CopyFrom(withUnknown));
    EXPECT_EQ(1u, unknown.refs);
    EXPECT_NE(a->pbFormat, b->pbFormat);  // its own block
    EXPECT_TRUE(a == b);
    ASSERT_EQ(S_OK, b.CopyFrom(b));  // onto itself: nothing changes, no extra reference
    EXPECT_EQ(1u, unknown.refs);
    EXPECT_TRUE(a == b);
    const AM_MEDIA_TYPE alias = b.Get();  // shares b's block and pUnk
    ASSERT_EQ(S_OK, b.CopyFrom(alias));
    EXPECT_EQ(1u, unknown.refs);
    EXPECT_TRUE(a == b);

    // Only the three GUIDs, cbFormat and the format bytes count.
    CMediaType c;
    AM_MEDIA_TYPE other = a.Get();
    other.lSampleSize = 5;
    other.bTemporalCompression = TRUE;
    ASSERT_EQ(S_OK, c.CopyFrom(other));
    EXPECT_TRUE(a == c);
    c->pbFormat[kVideoInfoWidthOffset] ^= 1;
    EXPECT_TRUE(a != c);
    ASSERT_EQ(S_OK, c.CopyFrom(other));
    other.cbFormat = 60;
    ASSERT_EQ(S_OK, c.CopyFrom(other));
    EXPECT_TRUE(a != c);

    b.SetEmpty();
    EXPECT_EQ(0u, unknown.refs);
    EXPECT_TRUE(b.IsEmpty());
    ASSERT_EQ(S_OK, b.CopyFrom(withUnknown));
  }
  EXPECT_EQ(0u, unknown.refs);
}

TEST(RgCenterSlotReads, NothingOutsideTheUsableFormatIsRead) {
  RgCenterSlot slot;
  memset(&slot, 0, sizeof(slot));
  int32_t value = 0;
  EXPECT_FALSE(IsSlotInUse(slot));

  const int32_t width = 1000, height = -2000;
  memcpy(slot.formatBytes + 52, &width, 4);
  memcpy(slot.formatBytes + 56, &height, 4);
  struct Case {
    uint32_t cbFormat;
    bool usable;
  } const cases[] = {{1, false}, {59, false}, {60, true}, {88, true}, {100, true}, {101, false}, {0xFFFFFFFF, false}};
  for (const Case& c : cases) {
    slot.mediaType.cbFormat = c.cbFormat;
    EXPECT_TRUE(IsSlotInUse(slot)) << c.cbFormat;
    EXPECT_EQ(c.usable ? c.cbFormat : 0u, UsableFormatLength(slot)) << c.cbFormat;
    EXPECT_EQ(c.usable ? 2000000 : 0, FormatFrameSize(slot)) << c.cbFormat;
    CMediaType copy;
    EXPECT_EQ(c.usable ? S_OK : E_INVALIDARG, CopySlotMediaType(slot, &copy)) << c.cbFormat;
    EXPECT_LE(copy->cbFormat, kSlotFormatCapacity);
  }
  slot.mediaType.cbFormat = 60;
  EXPECT_TRUE(ReadFormatInt32(slot, 56, &value));
  EXPECT_FALSE(ReadFormatInt32(slot, 57, &value));
  EXPECT_FALSE(ReadFormatInt32(slot, SIZE_MAX - 1, &value));

  // Extremes are computed in 64 bits: no overflow, and the sign of the width survives.
  const int32_t extremes[][2] = {{INT_MAX, INT_MIN}, {INT_MIN, INT_MAX}, {-1, INT_MIN}, {INT_MAX, 0}};
  const int64_t expected[] = {int64_t{INT_MAX} * 2147483648LL, int64_t{INT_MIN} * INT_MAX, -2147483648LL, 0};
  for (size_t i = 0; i < 4; ++i) {
    memcpy(slot.formatBytes + 52, &extremes[i][0], 4);
    memcpy(slot.formatBytes + 56, &extremes[i][1], 4);
    EXPECT_EQ(expected[i], FormatFrameSize(slot)) << i;
  }
}
