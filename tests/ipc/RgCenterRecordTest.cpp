// The 32-bit media type header at its byte positions and the bounds of what the host reads from a
// slot. (The scans are checked against the raw record in RgCenterRandomTest.cpp; the owning media
// type's own rules in tests/filters/testcam/MediaTypeTest.cpp.)
#include <gtest/gtest.h>

#include <cstdint>

#include "IpcTestSupport.h"

namespace {

uint32_t U32At(const uint8_t* base, size_t offset) {
  uint32_t value;
  memcpy(&value, base + offset, sizeof(value));
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
  EXPECT_EQ(1u, U32At(header, 32));
  EXPECT_EQ(7u, U32At(header, 36));
  EXPECT_EQ(1280u * 2 * 720, U32At(header, 40));
  EXPECT_EQ(0, memcmp(header + 44, &kFormatVideoInfo, 16));
  EXPECT_EQ(0u, U32At(header, 60));
  EXPECT_EQ(88u, U32At(header, 64));
  EXPECT_EQ(0u, U32At(header, 68));
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

  // A format read never reaches past the usable length, even with an offset near SIZE_MAX.
  int32_t value = 0;
  slot.mediaType.cbFormat = 60;
  EXPECT_TRUE(ReadFormatInt32(slot, 56, &value));
  EXPECT_FALSE(ReadFormatInt32(slot, 57, &value));
  EXPECT_FALSE(ReadFormatInt32(slot, SIZE_MAX - 1, &value));
}
