// The owning media type's rules that pins, enumerators and the request channel rely on.
#include <gtest/gtest.h>

#include <utility>

#include "common/CMediaType.h"
#include "ipc/VideoInfoFormat.h"

namespace {
// Counts its references so that a test sees pUnk shared and released.
class CountedUnknown final : public IUnknown {
 public:
  STDMETHODIMP QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }
  ULONG refs = 1;
};
}  // namespace

TEST(MediaType, CopyFreeEqualityAndReferences) {
  CountedUnknown unknown;
  {
    CMediaType a;
    ASSERT_EQ(S_OK, BuildVideoInfoType(640, 480, VideoSubtype::kRgb24, &a));
    a.Edit().pUnk = &unknown;
    unknown.AddRef();  // now a's
    CMediaType b;
    ASSERT_EQ(S_OK, b.CopyFrom(a));
    EXPECT_EQ(3u, unknown.refs);
    EXPECT_NE(a->pbFormat, b->pbFormat) << "a copy has its own block";
    EXPECT_TRUE(a == b);
    const AM_MEDIA_TYPE alias = b.Get();  // shares b's block and pUnk
    ASSERT_EQ(S_OK, b.CopyFrom(alias));
    ASSERT_EQ(S_OK, b.CopyFrom(b));  // onto itself: nothing changes
    EXPECT_EQ(3u, unknown.refs);
    EXPECT_TRUE(a == b);

    // Sample size and flags do not count; a format byte and cbFormat do.
    b.Edit().lSampleSize = 5;
    b.Edit().bTemporalCompression = TRUE;
    EXPECT_TRUE(a == b);
    b.VideoInfo()->bmiHeader.biWidth = 641;
    EXPECT_TRUE(a != b);
    ASSERT_EQ(S_OK, b.CopyFrom(a));
    b.Edit().cbFormat = 60;
    EXPECT_TRUE(a != b);
    EXPECT_EQ(nullptr, b.VideoInfo()) << "a block too short for the header";

    // What pins hand out: task-memory copies and copies into the caller's structure.
    AM_MEDIA_TYPE* handed = a.CreateTaskMemCopy();
    ASSERT_NE(nullptr, handed);
    EXPECT_TRUE(a.Equals(*handed));
    EXPECT_EQ(4u, unknown.refs);
    CMediaType::DeleteTaskMemType(handed);
    AM_MEDIA_TYPE connection = {};
    ASSERT_EQ(S_OK, a.CopyTo(&connection));
    EXPECT_TRUE(a.Equals(connection));
    CMediaType::FreeFields(connection);
    EXPECT_EQ(nullptr, connection.pbFormat);
    EXPECT_EQ(3u, unknown.refs);

    // A move hands over block and reference; SetEmpty releases them.
    CMediaType moved(std::move(a));
    EXPECT_TRUE(a.IsEmpty());
    EXPECT_EQ(3u, unknown.refs);
    moved.SetEmpty();
    EXPECT_TRUE(moved.IsEmpty());
    EXPECT_EQ(2u, unknown.refs);
  }
  EXPECT_EQ(1u, unknown.refs);
}
