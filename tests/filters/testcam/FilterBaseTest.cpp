// The filter base's contracts that every graph relies on: the owning media type, the
// enumerators' COM rules and the class factory, checked through the test camera DLL.
#include <gtest/gtest.h>

#include <atomic>

#include "CameraTestHelpers.h"
#include "filters/base/CAmMediaType.h"
#include "filters/base/CTaskMemMediaType.h"
#include "filters/testcam/TestCameraProfiles.h"

using Microsoft::WRL::ComPtr;

namespace {
// Counts its references so a test can see that pUnk is shared and released.
class CountedUnknown final : public IUnknown {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (riid != IID_IUnknown) return E_NOINTERFACE;
    *object = this;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }
  std::atomic<ULONG> refs{1};
};

CAmMediaType VideoType(LONG width) {
  CAmMediaType type;
  auto* info = reinterpret_cast<VIDEOINFOHEADER*>(type.AllocFormat(sizeof(VIDEOINFOHEADER)));
  info->bmiHeader.biWidth = width;
  type.Edit().majortype = MEDIATYPE_Video;
  type.Edit().subtype = MEDIASUBTYPE_RGB24;
  type.Edit().formattype = FORMAT_VideoInfo;
  return type;
}
}  // namespace

TEST(FilterBase, MediaTypeOwnsItsBlockAndComparesOnlyTypesAndFormat) {
  CountedUnknown unknown;
  {
    CAmMediaType original = VideoType(640);
    original.Edit().pUnk = &unknown;
    unknown.AddRef();
    CAmMediaType copy(original);
    EXPECT_EQ(3u, unknown.refs.load());
    EXPECT_NE(original.Get().pbFormat, copy.Get().pbFormat) << "a copy needs its own block";
    EXPECT_EQ(original, copy);
    copy = copy;  // onto itself: nothing changes, nothing is freed
    EXPECT_EQ(original, copy);
    EXPECT_EQ(3u, unknown.refs.load());

    // Sample size and flags do not take part; one format byte does.
    copy.Edit().lSampleSize = 12345;
    copy.Edit().bFixedSizeSamples = FALSE;
    EXPECT_EQ(original, copy);
    copy.VideoInfo()->bmiHeader.biWidth = 641;
    EXPECT_NE(original, copy);

    CAmMediaType moved(std::move(copy));
    EXPECT_FALSE(copy.HasType());
    EXPECT_EQ(nullptr, copy.Get().pbFormat);
    EXPECT_EQ(3u, unknown.refs.load());
    moved.Clear();
    EXPECT_EQ(2u, unknown.refs.load());
    EXPECT_EQ(1u, moved.Get().lSampleSize);
    EXPECT_TRUE(moved.Get().bFixedSizeSamples);
  }
  EXPECT_EQ(1u, unknown.refs.load());
}

TEST(FilterBase, EnumeratorsFollowTheComContract) {
  ComPtr<IBaseFilter> camera = CreateTestCamera(kTestCamStandard);
  ComPtr<IEnumMediaTypes> types;
  ASSERT_EQ(S_OK, PinAt(camera.Get(), 0)->EnumMediaTypes(&types));
  AM_MEDIA_TYPE* batch[8] = {};
  EXPECT_EQ(E_INVALIDARG, types->Next(2, batch, nullptr));
  ULONG fetched = 0;
  EXPECT_EQ(S_OK, types->Next(2, batch, &fetched));
  EXPECT_EQ(2u, fetched);
  ComPtr<IEnumMediaTypes> clone;
  ASSERT_EQ(S_OK, types->Clone(&clone));
  for (ULONG i = 0; i < fetched; ++i) CAmMediaType::DeleteTaskMemType(batch[i]);
  // Three of the five capabilities are left, for the enumerator and its clone alike.
  EXPECT_EQ(S_FALSE, types->Next(8, batch, &fetched));
  EXPECT_EQ(3u, fetched);
  for (ULONG i = 0; i < fetched; ++i) CAmMediaType::DeleteTaskMemType(batch[i]);
  EXPECT_EQ(S_OK, clone->Skip(3));
  EXPECT_EQ(S_FALSE, clone->Skip(1));
  EXPECT_EQ(S_OK, clone->Reset());
  CTaskMemMediaType first;
  EXPECT_EQ(S_OK, clone->Next(1, first.Receive(), nullptr));
  EXPECT_EQ(320, reinterpret_cast<VIDEOINFOHEADER*>(first->pbFormat)->bmiHeader.biWidth);

  ComPtr<IBaseFilter> twoPins = CreateTestCamera(kTestCamPreviewFirst);
  ComPtr<IEnumPins> pins;
  ASSERT_EQ(S_OK, twoPins->EnumPins(&pins));
  IPin* got[3] = {};
  EXPECT_EQ(S_FALSE, pins->Next(3, got, &fetched));
  ASSERT_EQ(2u, fetched);
  for (ULONG i = 0; i < fetched; ++i) got[i]->Release();
}

TEST(FilterBase, ClassObjectsRefuseAggregationAndUnknownClasses) {
  using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  const auto getClassObject = reinterpret_cast<GetClassObjectFunction>(
      reinterpret_cast<void*>(::GetProcAddress(g_cameras->Registration().Module(), "DllGetClassObject")));
  ASSERT_NE(nullptr, getClassObject);
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, getClassObject(CLSID_FilterGraph, IID_PPV_ARGS(&factory)));
  ASSERT_EQ(S_OK, getClassObject(kTestCameraProfiles[kTestCamCaps64].clsid, IID_PPV_ARGS(&factory)));
  CountedUnknown outer;
  ComPtr<IUnknown> object;
  EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&outer, IID_PPV_ARGS(&object)));
  EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IClassFactory, &object));
  EXPECT_FALSE(object);

  // A server lock keeps the DLL from unloading like a live object does.
  const LONG before = g_cameras->Registration().LiveObjects();
  EXPECT_EQ(S_OK, factory->LockServer(TRUE));
  EXPECT_EQ(before + 1, g_cameras->Registration().LiveObjects());
  EXPECT_EQ(S_OK, factory->LockServer(FALSE));
  factory.Reset();
  EXPECT_EQ(before - 1, g_cameras->Registration().LiveObjects());
}
