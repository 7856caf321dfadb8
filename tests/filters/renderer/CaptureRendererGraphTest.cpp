// The capture renderer in real graphs with the test camera: frames reach the ring whole and at
// the camera's rate through run, stop, run and a reconnection in another format; malformed
// types are refused at connection time; the DLL registers and creates the class; the filter
// is destroyed when the graph lets go of it.
#include <gtest/gtest.h>

#include <vector>

#include "RendererRig.h"
#include "VideoTypes.h"
#include "capture/CFrameRingReader.h"
#include "filters/base/ModuleLifetime.h"
#include "filters/testcam/TestPattern.h"
#include "support/TestCameraRegistration.h"
#include "support/TestProcess.h"

using Microsoft::WRL::ComPtr;

namespace {

TestCameraEnvironment* const g_cameras =
    static_cast<TestCameraEnvironment*>(::testing::AddGlobalTestEnvironment(new TestCameraEnvironment));

// The newest frame is the camera's picture number n, byte for byte.
void ExpectCameraFrame(CFrameRingReader& reader, TestCamSubtype subtype, LONG width, LONG height) {
  std::vector<BYTE> pixels;
  FrameRingFrame frame = {};
  ASSERT_EQ(S_OK, reader.ReadLatest(&pixels, &frame));
  EXPECT_EQ(width, frame.width);
  EXPECT_EQ(height, frame.height);
  TestFrameLayout layout;
  ASSERT_TRUE(ComputeFrameLayout(subtype, width, height, &layout));
  EXPECT_EQ(layout.stride, frame.stride);
  ASSERT_EQ(layout.imageSize, pixels.size());
  uint32_t number = 0;
  ASSERT_TRUE(ReadFrameCounter(pixels.data(), pixels.size(), &number));
  std::vector<BYTE> expected(layout.imageSize);
  DrawTestFrame(layout, number, expected.data());
  EXPECT_TRUE(expected == pixels) << "picture " << number << " differs from the camera's";
}

// Frames the ring received during one second of running.
LONG64 FramesInOneSecond(CFrameRingReader& reader) {
  const LONG64 first = reader.LatestCounter();
  ::Sleep(1000);
  return reader.LatestCounter() - first;
}

void ExpectAllObjectsGone() {
  // The graph may hand its last references back from its own threads.
  EXPECT_TRUE(WaitUntil([] { return ModuleLiveObjectCount() == 0; }, 3000))
      << ModuleLiveObjectCount() << " renderer objects alive";
  EXPECT_TRUE(WaitUntil([] { return g_cameras->Registration().LiveObjects() == 0; }, 3000));
}

}  // namespace

TEST(CaptureRendererGraph, FramesReachTheRingThroughRunStopRunAndAReconnection) {
  const std::wstring instance = UniqueInstanceName(L"rgraph");
  {
    RendererRig rig;
    ASSERT_EQ(S_OK, rig.Build());
    ASSERT_EQ(S_OK, rig.rendererControl->SetInstanceName(instance.c_str()));
    ASSERT_EQ(S_OK, rig.rendererControl->SetOption(1));
    FILTER_INFO info = {};
    ASSERT_EQ(S_OK, rig.renderer->QueryFilterInfo(&info));
    if (info.pGraph) info.pGraph->Release();
    EXPECT_STREQ(L"QV Capture Renderer", info.achName);

    CFrameRingReader reader;
    ASSERT_EQ(S_OK, reader.Open(instance.c_str())) << "the ring exists from SetInstanceName on";
    EXPECT_EQ(1, reader.Option());

    ASSERT_EQ(S_OK, rig.SetCameraFormat(TestCamSubtype::Rgb24, 640, 480));
    ASSERT_EQ(S_OK, rig.Connect());
    ASSERT_EQ(S_OK, rig.control->Run());
    ASSERT_TRUE(reader.WaitForFrame(0, 5000));
    const LONG64 perSecond = FramesInOneSecond(reader);
    EXPECT_GE(perSecond, 20) << "the camera delivers 30 a second";
    EXPECT_LE(perSecond, 40);
    ExpectCameraFrame(reader, TestCamSubtype::Rgb24, 640, 480);

    ASSERT_EQ(S_OK, rig.control->Stop());
    const LONG64 atStop = reader.LatestCounter();
    ::Sleep(200);
    EXPECT_EQ(atStop, reader.LatestCounter()) << "frames after the stop";
    ASSERT_EQ(S_OK, rig.control->Run());
    ASSERT_TRUE(reader.WaitForFrame(atStop, 5000)) << "no frame after running again";
    ExpectCameraFrame(reader, TestCamSubtype::Rgb24, 640, 480);
    ASSERT_EQ(S_OK, rig.control->Stop());

    // The host rebuilds for a larger format: the ring follows into a new generation.
    ASSERT_EQ(S_OK, rig.Disconnect());
    ComPtr<IPin> peer;
    EXPECT_EQ(VFW_E_NOT_CONNECTED, rig.rendererPin->ConnectedTo(&peer));
    ASSERT_EQ(S_OK, rig.SetCameraFormat(TestCamSubtype::Nv12, 1920, 1080));
    ASSERT_EQ(S_OK, rig.Connect());
    const LONG64 beforeNv12 = reader.LatestCounter();
    ASSERT_EQ(S_OK, rig.control->Run());
    ASSERT_TRUE(reader.WaitForFrame(beforeNv12, 5000));
    EXPECT_GE(FramesInOneSecond(reader), 20);
    ExpectCameraFrame(reader, TestCamSubtype::Nv12, 1920, 1080);
    EXPECT_EQ(2, reader.MappedGeneration());
    FrameRingFrame frame = {};
    ASSERT_TRUE(reader.PeekLatest(&frame));
    EXPECT_EQ(kFourccNv12, frame.subtype);
    EXPECT_EQ(0, reader.Dropped());
    rig.Release();
  }
  ExpectAllObjectsGone();
}

TEST(CaptureRendererGraph, MalformedTypesAreRefusedAtConnectionTime) {
  {
    RendererRig rig;
    ASSERT_EQ(S_OK, rig.Build());
    ComPtr<IRendererControl>& control = rig.rendererControl;
    const CAmMediaType good = MakeVideoType(MEDIASUBTYPE_YUY2, 640, 480);
    EXPECT_EQ(S_OK, rig.rendererPin->QueryAccept(good.Ptr()));

    CAmMediaType shortBlock = good;
    shortBlock.Edit().cbFormat = 60;  // biWidth and biHeight are in, the rest is not
    CAmMediaType zeroWidth = good;
    zeroWidth.VideoInfo()->bmiHeader.biWidth = 0;
    CAmMediaType wrongStride = good;
    wrongStride.VideoInfo()->bmiHeader.biSizeImage = 1200 * 480;  // a 600-byte stride for 640 YUY2 pixels
    CAmMediaType absurd = MakeVideoType(MEDIASUBTYPE_RGB32, 4, 4);
    absurd.VideoInfo()->bmiHeader.biWidth = 1 << 30;
    for (const CAmMediaType* bad : {&shortBlock, &zeroWidth, &wrongStride, &absurd}) {
      EXPECT_EQ(S_FALSE, rig.rendererPin->QueryAccept(bad->Ptr()));
      EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, rig.rendererPin->ReceiveConnection(rig.cameraPin.Get(), bad->Ptr()));
      ComPtr<IPin> peer;
      EXPECT_EQ(VFW_E_NOT_CONNECTED, rig.rendererPin->ConnectedTo(&peer));
      EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, control->SetMediaType(bad->Ptr()));
    }
    EXPECT_EQ(E_POINTER, control->SetMediaType(nullptr));
    EXPECT_EQ(S_OK, control->SetMediaType(good.Ptr()));

    // One instance for the renderer's life: its clients read one ring.
    const std::wstring instance = UniqueInstanceName(L"rgraph");
    EXPECT_EQ(S_OK, control->SetInstanceName(instance.c_str()));
    EXPECT_EQ(S_OK, control->SetInstanceName(instance.c_str()));
    EXPECT_EQ(E_UNEXPECTED, control->SetInstanceName(L"another"));
    rig.Release();
  }
  ExpectAllObjectsGone();
}

TEST(CaptureRendererDll, RegistersItsClassAndCreatesTheRendererThroughCom) {
  using Entry = HRESULT(STDAPICALLTYPE*)();
  HMODULE module = ::LoadLibraryW(SiblingPath(L"fontis_renderer.dll").c_str());
  ASSERT_NE(nullptr, module);
  const auto call = [module](const char* name) {
    const auto entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
    return entry ? entry() : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
  };
  ASSERT_EQ(S_OK, call("DllRegisterServer"));
  WCHAR clsidText[40] = {};
  ASSERT_GT(::StringFromGUID2(CLSID_FontisCaptureRenderer, clsidText, 40), 0);
  const std::wstring key = std::wstring(L"Software\\Classes\\CLSID\\") + clsidText + L"\\InprocServer32";
  WCHAR model[32] = {};
  DWORD size = sizeof(model);
  EXPECT_EQ(ERROR_SUCCESS, ::RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"ThreadingModel", RRF_RT_REG_SZ, nullptr,
                                          model, &size));
  EXPECT_STREQ(L"Both", model);
  {
    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_FontisCaptureRenderer, nullptr,
                                       CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, IID_PPV_ARGS(&filter)));
    ComPtr<IRendererControl> control;
    EXPECT_EQ(S_OK, QueryRendererControl(filter.Get(), &control));
    CLSID clsid = GUID_NULL;
    EXPECT_EQ(S_OK, filter->GetClassID(&clsid));
    EXPECT_TRUE(clsid == CLSID_FontisCaptureRenderer);
    EXPECT_EQ(S_FALSE, call("DllCanUnloadNow"));
  }
  EXPECT_EQ(S_OK, call("DllCanUnloadNow"));
  EXPECT_EQ(S_OK, call("DllUnregisterServer"));
  ComPtr<IBaseFilter> gone;
  EXPECT_EQ(REGDB_E_CLASSNOTREG, ::CoCreateInstance(CLSID_FontisCaptureRenderer, nullptr, CLSCTX_INPROC_SERVER,
                                                    IID_PPV_ARGS(&gone)));
  ::FreeLibrary(module);
}
