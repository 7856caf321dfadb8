// The COM contracts of the filter base's enumerators and class factory, through the test
// camera DLL.
#include <gtest/gtest.h>

#include "support/TestCameraGraph.h"

using Microsoft::WRL::ComPtr;

TEST(FilterBase, EnumeratorsAndClassObjectsFollowTheComContract) {
  ComPtr<IBaseFilter> camera = CreateTestCamera(kTestCamStandard);
  ComPtr<IEnumMediaTypes> types;
  ASSERT_EQ(S_OK, PinAt(camera.Get(), 0)->EnumMediaTypes(&types));
  AM_MEDIA_TYPE* batch[8] = {};
  ULONG fetched = 0;
  EXPECT_EQ(E_INVALIDARG, types->Next(2, batch, nullptr));
  ASSERT_EQ(S_OK, types->Next(2, batch, &fetched));
  ComPtr<IEnumMediaTypes> clone;
  ASSERT_EQ(S_OK, types->Clone(&clone));
  for (ULONG i = 0; i < fetched; ++i) CMediaType::DeleteTaskMemType(batch[i]);
  // Three of the five capabilities are left, for the enumerator and its clone alike.
  EXPECT_EQ(S_FALSE, types->Next(8, batch, &fetched));
  EXPECT_EQ(3u, fetched);
  for (ULONG i = 0; i < fetched; ++i) CMediaType::DeleteTaskMemType(batch[i]);
  EXPECT_EQ(S_OK, clone->Skip(3));
  EXPECT_EQ(S_FALSE, clone->Skip(1));
  EXPECT_EQ(S_OK, clone->Reset());
  CTaskMemMediaType first;
  EXPECT_EQ(S_OK, clone->Next(1, first.Receive(), nullptr));
  EXPECT_EQ(320, reinterpret_cast<VIDEOINFOHEADER*>(first->pbFormat)->bmiHeader.biWidth);

  using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  const auto getClassObject = reinterpret_cast<GetClassObjectFunction>(
      reinterpret_cast<void*>(::GetProcAddress(g_cameras->Registration().Module(), "DllGetClassObject")));
  ASSERT_NE(nullptr, getClassObject);
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, getClassObject(CLSID_FilterGraph, IID_PPV_ARGS(&factory)));
  ASSERT_EQ(S_OK, getClassObject(kTestCameraProfiles[kTestCamCaps64].clsid, IID_PPV_ARGS(&factory)));
  ComPtr<IUnknown> object;
  EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(camera.Get(), IID_PPV_ARGS(&object)));
  EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IClassFactory, &object));
  EXPECT_FALSE(object);
  // A server lock keeps the DLL loaded as a live object does.
  const LONG before = g_cameras->Registration().LiveObjects();
  EXPECT_EQ(S_OK, factory->LockServer(TRUE));
  EXPECT_EQ(before + 1, g_cameras->Registration().LiveObjects());
  EXPECT_EQ(S_OK, factory->LockServer(FALSE));
  factory.Reset();
  EXPECT_EQ(before - 1, g_cameras->Registration().LiveObjects());
}
