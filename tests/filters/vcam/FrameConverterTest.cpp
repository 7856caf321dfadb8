// The frame converter on buffers that end at an inaccessible page: every layout pair and scale,
// refused descriptions and buffers, and layouts that agree with the capture renderer's.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <tuple>

#include "filters/renderer/RendererFormat.h"
#include "filters/vcam/CFrameConverter.h"
#include "ipc/VideoInfoFormat.h"
#include "support/CodedPicture.h"
#include "support/GuardedBuffer.h"

namespace {

struct SourceKind {
  LONG fourcc;
  bool bottomUp;
  LONG padding;  // bytes past the pixels of each row
  const char* name;
};

const SourceKind kSources[] = {
    {kFourccBgr24, true, 0, "RGB24 bottom-up"},   {kFourccBgr24, false, 12, "RGB24 top-down padded"},
    {kFourccBgrx32, true, 0, "RGB32 bottom-up"},  {kFourccBgrx32, false, 64, "RGB32 top-down padded"},
    {kFourccYuy2, false, 0, "YUY2"},              {kFourccYuy2, false, 32, "YUY2 padded"},
    {kFourccNv12, false, 0, "NV12"},              {kFourccNv12, false, 64, "NV12 padded"},
};

struct TargetKind {
  LONG fourcc;
  bool bottomUp;  // RGB: a positive biHeight
  const char* name;
};

const TargetKind kTargets[] = {
    {kFourccBgr24, true, "RGB24 bottom-up"},  {kFourccBgr24, false, "RGB24 top-down"},
    {kFourccBgrx32, true, "RGB32 bottom-up"}, {kFourccBgrx32, false, "RGB32 top-down"},
    {kFourccYuy2, false, "YUY2"},             {kFourccNv12, false, "NV12"},
};

bool IsRgb(LONG fourcc) { return fourcc == kFourccBgr24 || fourcc == kFourccBgrx32; }

LONG RowBytes(LONG fourcc, LONG width) {
  switch (fourcc) {
    case kFourccBgr24: return 3 * width;
    case kFourccBgrx32: return 4 * width;
    case kFourccYuy2: return 2 * width;
    default: return width;
  }
}

// A source frame in a buffer exactly as large as its description needs.
struct SourcePicture {
  std::unique_ptr<GuardedBuffer> buffer;
  SourceFrame frame;
};

SourcePicture MakeSource(const SourceKind& kind, LONG width, LONG height, uint16_t code) {
  SourcePicture picture;
  const LONG stride = RowBytes(kind.fourcc, width) + kind.padding;
  const size_t bytes = static_cast<size_t>(stride) * height * (kind.fourcc == kFourccNv12 ? 3 : 2) / 2;
  picture.buffer = std::make_unique<GuardedBuffer>(bytes);
  picture.frame = SourceFrame{kind.fourcc, width, height, stride, kind.bottomUp, picture.buffer->Data(), bytes};
  if (picture.buffer->Data() != nullptr) {
    memset(picture.buffer->Data(), 0x5A, bytes);  // row padding that is not picture
    DrawCodedPicture(picture.frame, code);
  }
  return picture;
}

size_t TargetBytes(const TargetFormat& format) {
  FrameLayout layout;
  return SUCCEEDED(DescribeTargetFormat(format, &layout)) ? static_cast<size_t>(layout.imageBytes) : 0;
}

}  // namespace

TEST(FrameConverter, EveryLayoutPairKeepsColoursCodeAndRowOrder) {
  const struct {
    LONG sourceWidth, sourceHeight, targetWidth, targetHeight;
    bool rgbTargetsOnly;  // odd sides, which YUV layouts cannot have
  } sizes[] = {
      {1280, 720, 1280, 720, false}, {1280, 720, 640, 480, false}, {1920, 1080, 320, 240, false},
      {640, 480, 640, 720, false},   {1280, 720, 641, 479, true},
  };
  // One converter for every case: intermediate frames from a larger or another layout's
  // conversion must never leak into the next.
  CFrameConverter converter;
  unsigned caseNumber = 0;
  for (const auto& size : sizes) {
    for (const SourceKind& sourceKind : kSources) {
      for (const TargetKind& targetKind : kTargets) {
        if (size.rgbTargetsOnly && !IsRgb(targetKind.fourcc)) continue;
        ++caseNumber;
        const uint16_t code = static_cast<uint16_t>(caseNumber * 40503u + 4099u);
        SCOPED_TRACE(std::string(sourceKind.name) + " " + std::to_string(size.sourceWidth) + "x" +
                     std::to_string(size.sourceHeight) + " to " + targetKind.name + " " +
                     std::to_string(size.targetWidth) + "x" + std::to_string(size.targetHeight));
        const SourcePicture source = MakeSource(sourceKind, size.sourceWidth, size.sourceHeight, code);
        ASSERT_NE(nullptr, source.buffer->Data());
        const TargetFormat format = {targetKind.fourcc, size.targetWidth,
                                     targetKind.bottomUp ? size.targetHeight : -size.targetHeight};
        GuardedBuffer out(TargetBytes(format));
        ASSERT_NE(nullptr, out.Data());
        memset(out.Data(), 0xCD, out.Size());

        ASSERT_EQ(S_OK, converter.Convert(source.frame, format, out.Data(), out.Size()));

        uint16_t read = 0;
        std::string mismatch;
        EXPECT_TRUE(ReadCheckedFrameCode(ViewOfTarget(format, out.Data(), out.Size()), &read, &mismatch)) << mismatch;
        EXPECT_EQ(code, read);
      }
    }
  }
  EXPECT_EQ(8u * 6 * 4 + 8 * 4, caseNumber);
}

TEST(FrameConverter, RefusesSourcesWhoseDescriptionDoesNotFit) {
  CFrameConverter converter;
  const TargetFormat format = {kFourccBgrx32, 32, 24};
  GuardedBuffer out(TargetBytes(format));
  ASSERT_NE(nullptr, out.Data());
  using F = SourceFrame&;
  const struct {
    const char* what;
    void (*spoil)(F f);
    HRESULT expected;
    LONG onlyFor;  // a layout, or 0 for all
  } cases[] = {
      {"stride below a row", [](F f) { f.stride = RowBytes(f.fourcc, f.width) - 1; }, kErrBadFrameLayout, 0},
      {"one byte short", [](F f) { f.bytes -= 1; }, kErrBufferTooSmall, 0},
      // 48 rows of it pass 2 GiB: too large for any frame.
      {"rows beyond 32-bit offsets", [](F f) { f.stride = 1 << 26, f.bytes = SIZE_MAX; }, kErrBadFrameLayout, 0},
      {"height beyond the largest side", [](F f) { f.height = kMaxFrameSide + 2; }, kErrBadFrameLayout, 0},
      {"no pixels", [](F f) { f.data = nullptr; }, E_POINTER, 0},
      {"unknown layout", [](F f) { f.fourcc = MakeFourcc('I', '4', '2', '0'); }, kErrBadFrameLayout, 0},
      {"odd YUY2 width", [](F f) { f.width = 63; }, kErrBadFrameLayout, kFourccYuy2},
      {"odd NV12 height", [](F f) { f.height = 47; }, kErrBadFrameLayout, kFourccNv12},
  };
  for (const SourceKind& kind : {kSources[0], kSources[3], kSources[5], kSources[7]}) {
    SCOPED_TRACE(kind.name);
    const SourcePicture source = MakeSource(kind, 64, 48, 0x1234);
    ASSERT_NE(nullptr, source.buffer->Data());
    const auto convert = [&](const SourceFrame& frame) { return converter.Convert(frame, format, out.Data(), out.Size()); };
    for (const auto& c : cases) {
      if (c.onlyFor != 0 && c.onlyFor != kind.fourcc) continue;
      SourceFrame bad = source.frame;
      c.spoil(bad);
      EXPECT_EQ(c.expected, convert(bad)) << c.what;
    }
    // Refusals leave the converter as good as new.
    EXPECT_EQ(S_OK, convert(source.frame));
  }
}

TEST(FrameConverter, RefusesTargetsItCannotFill) {
  CFrameConverter converter;
  const SourcePicture source = MakeSource(kSources[6], 64, 48, 0x4321);
  ASSERT_NE(nullptr, source.buffer->Data());
  GuardedBuffer out(64 * 48 * 4);
  ASSERT_NE(nullptr, out.Data());

  const TargetFormat rgb = {kFourccBgr24, 33, 25};
  const size_t needed = TargetBytes(rgb);
  EXPECT_EQ(100u * 25, needed);  // 33 x 3 bytes padded to 100
  EXPECT_EQ(kErrBufferTooSmall, converter.Convert(source.frame, rgb, out.Data() + out.Size() - (needed - 1), needed - 1));
  EXPECT_EQ(E_POINTER, converter.Convert(source.frame, rgb, nullptr, needed));
  EXPECT_EQ(S_OK, converter.Convert(source.frame, rgb, out.Data() + out.Size() - needed, needed));

  const TargetFormat refused[] = {
      {kFourccNv12, 64, -47},        {kFourccYuy2, 63, -48}, {kFourccBgr24, -64, 48},
      {kFourccBgrx32, 64, LONG_MIN}, {MakeFourcc('I', '4', '2', '0'), 64, -48},
  };
  for (const TargetFormat& format : refused) {
    EXPECT_EQ(kErrBadFrameLayout, converter.Convert(source.frame, format, out.Data(), out.Size()))
        << format.fourcc << " " << format.width << "x" << format.height;
  }
}

// The capture renderer describes the frames it puts in the ring as the virtual camera lays out
// what it delivers: the same strides, sizes and row order.
TEST(FrameLayout, TheRendererAndTheConverterAgreeOnStridesSizesAndRowOrder) {
  using V = VideoSubtype;
  const struct {
    V subtype;
    TargetFormat format;
    LONG stride;
    LONG64 bytes;
    bool bottomUp;
  } cases[] = {
      {V::kRgb24, {kFourccBgr24, 641, 480}, 1924, 1924LL * 480, true},  // rows padded to 32 bits
      {V::kRgb24, {kFourccBgr24, 640, -480}, 1920, 1920LL * 480, false},
      {V::kRgb32, {kFourccBgrx32, 641, 3}, 2564, 2564LL * 3, true},
      {V::kYuy2, {kFourccYuy2, 640, 480}, 1280, 1280LL * 480, false},  // YUV is top-down whatever the sign
      {V::kNv12, {kFourccNv12, 1920, 1080}, 1920, 1920LL * 1620, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.format.fourcc) + " " + std::to_string(c.format.width) + "x" +
                 std::to_string(c.format.height));
    FrameLayout layout;
    ASSERT_EQ(S_OK, DescribeTargetFormat(c.format, &layout));
    CMediaType type;
    ASSERT_EQ(S_OK, BuildVideoInfoType(c.format.width, c.format.height, c.subtype, &type));
    RendererFormat ring;
    ASSERT_EQ(S_OK, ParseRendererFormat(type.Get(), &ring));
    for (const auto& found : {std::make_tuple(layout.stride, layout.imageBytes, layout.bottomUp, layout.height),
                              std::make_tuple(ring.stride, ring.imageBytes, ring.bottomUp, ring.height)}) {
      EXPECT_EQ(std::make_tuple(c.stride, c.bytes, c.bottomUp, c.format.height < 0 ? -c.format.height : c.format.height),
                found);
    }
    EXPECT_EQ(c.format.fourcc, ring.fourcc);
  }
  // biSizeImage 0 is allowed for uncompressed video: the size follows from the header.
  CMediaType noSize;
  ASSERT_EQ(S_OK, BuildVideoInfoType(320, 240, VideoSubtype::kRgb32, &noSize));
  noSize.VideoInfo()->bmiHeader.biSizeImage = 0;
  EXPECT_EQ(S_OK, ParseRendererFormat(noSize.Get(), nullptr));
}
