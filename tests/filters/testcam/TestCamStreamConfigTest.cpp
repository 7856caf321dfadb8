// IAMStreamConfig and IKsPropertySet of the test cameras' pins, on unconnected filters.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "CameraTestHelpers.h"
#include "filters/base/CAmMediaType.h"
#include "filters/base/CTaskMemMediaType.h"
#include "filters/testcam/TestCameraProfiles.h"

using Microsoft::WRL::ComPtr;

namespace {
int CapturePinIndex(const TestCameraProfile& profile) { return profile.previewPinFirst ? 1 : 0; }

ComPtr<IAMStreamConfig> StreamConfigOf(IBaseFilter* filter, int pin) {
  ComPtr<IAMStreamConfig> config;
  ComPtr<IPin> p = PinAt(filter, pin);
  if (p) p.As(&config);
  return config;
}

CAmMediaType CapsType(IAMStreamConfig* config, int index) {
  CTaskMemMediaType type;
  BYTE caps[sizeof(VIDEO_STREAM_CONFIG_CAPS)] = {};
  config->GetStreamCaps(index, type.Receive(), caps);
  return type ? CAmMediaType(*type.Get()) : CAmMediaType();
}

CAmMediaType CurrentFormat(IAMStreamConfig* config) {
  CTaskMemMediaType type;
  if (config->GetFormat(type.Receive()) != S_OK || !type) return CAmMediaType();
  return CAmMediaType(*type.Get());
}
}  // namespace

TEST(TestCamStreamConfig, CapabilitiesDescribeEveryProfileFormat) {
  for (size_t p = 0; p < kTestCameraCount; ++p) {
    const TestCameraProfile& profile = kTestCameraProfiles[p];
    ComPtr<IBaseFilter> camera = CreateTestCamera(p);
    ASSERT_TRUE(camera) << p;
    ComPtr<IAMStreamConfig> config = StreamConfigOf(camera.Get(), CapturePinIndex(profile));
    ASSERT_TRUE(config) << p;
    int count = 0;
    int size = 0;
    ASSERT_EQ(S_OK, config->GetNumberOfCapabilities(&count, &size));
    EXPECT_EQ(static_cast<int>(profile.formatCount), count) << p;
    EXPECT_EQ(static_cast<int>(profile.capsRecordSize), size) << p;

    for (int i = 0; i < count; ++i) {
      const TestCameraFormat& format = profile.formats[i];
      // A caller allocates the size the pin reported; the rest must stay untouched.
      std::vector<BYTE> record(sizeof(VIDEO_STREAM_CONFIG_CAPS), 0xCD);
      CTaskMemMediaType type;
      ASSERT_EQ(S_OK, config->GetStreamCaps(i, type.Receive(), record.data())) << p << "/" << i;
      ASSERT_TRUE(type);
      CAmMediaType mt(*type.Get());
      ASSERT_NE(nullptr, mt.VideoInfo());
      EXPECT_EQ(MEDIATYPE_Video, mt.Get().majortype);
      EXPECT_EQ(sizeof(VIDEOINFOHEADER), mt.Get().cbFormat);
      EXPECT_EQ(format.width, mt.VideoInfo()->bmiHeader.biWidth);
      EXPECT_EQ(format.height, mt.VideoInfo()->bmiHeader.biHeight);
      EXPECT_EQ(mt.Get().lSampleSize, mt.VideoInfo()->bmiHeader.biSizeImage);
      EXPECT_EQ(10000000 / format.framesPerSecond, mt.VideoInfo()->AvgTimePerFrame);
      VIDEO_STREAM_CONFIG_CAPS caps = {};
      std::memcpy(&caps, record.data(), sizeof(caps));
      EXPECT_EQ(FORMAT_VideoInfo, caps.guid);
      EXPECT_EQ(format.width, caps.InputSize.cx);
      EXPECT_EQ(format.height, caps.InputSize.cy);
      if (size == static_cast<int>(sizeof(VIDEO_STREAM_CONFIG_CAPS))) {
        EXPECT_EQ(format.width, caps.MaxOutputSize.cx);
        EXPECT_EQ(format.height, caps.MinOutputSize.cy);
        EXPECT_EQ(mt.VideoInfo()->AvgTimePerFrame, caps.MinFrameInterval);
      } else {
        for (size_t b = static_cast<size_t>(size); b < record.size(); ++b) {
          ASSERT_EQ(0xCD, record[b]) << "record written past its reported size at byte " << b;
        }
      }
    }
    // S_FALSE past the end: no type is handed out.
    std::vector<BYTE> record(sizeof(VIDEO_STREAM_CONFIG_CAPS));
    CTaskMemMediaType none;
    EXPECT_EQ(S_FALSE, config->GetStreamCaps(count, none.Receive(), record.data()));
    EXPECT_FALSE(none);
  }
}

TEST(TestCamStreamConfig, SetFormatFixesThePinTypeAndGetFormatReturnsIt) {
  ComPtr<IBaseFilter> camera = CreateTestCamera(kTestCamStandard);
  ComPtr<IAMStreamConfig> config = StreamConfigOf(camera.Get(), 0);
  ASSERT_TRUE(config);
  ComPtr<IPin> pin = PinAt(camera.Get(), 0);

  // Before any SetFormat the current format is the first capability and every one is offered.
  EXPECT_EQ(CapsType(config.Get(), 0), CurrentFormat(config.Get()));
  EXPECT_EQ(S_OK, pin->QueryAccept(CapsType(config.Get(), 3).Ptr()));

  CAmMediaType yuy2 = CapsType(config.Get(), 2);
  ASSERT_EQ(MEDIASUBTYPE_YUY2, yuy2.Get().subtype);
  ASSERT_EQ(S_OK, config->SetFormat(&yuy2.Edit()));
  EXPECT_EQ(yuy2, CurrentFormat(config.Get()));

  // Only the fixed type is offered and accepted now; the RGB24 type of the same size is not.
  ComPtr<IEnumMediaTypes> types;
  ASSERT_EQ(S_OK, pin->EnumMediaTypes(&types));
  CTaskMemMediaType offered[2];
  ULONG fetched = 0;
  EXPECT_EQ(S_OK, types->Next(1, offered[0].Receive(), &fetched));
  EXPECT_EQ(yuy2, CAmMediaType(*offered[0].Get()));
  EXPECT_EQ(S_FALSE, types->Next(1, offered[1].Receive(), &fetched));
  EXPECT_EQ(S_FALSE, pin->QueryAccept(CapsType(config.Get(), 1).Ptr()));

  // A size the camera does not have is refused and changes nothing.
  CAmMediaType unknown = CapsType(config.Get(), 1);
  unknown.VideoInfo()->bmiHeader.biWidth = 800;
  unknown.VideoInfo()->bmiHeader.biHeight = 600;
  EXPECT_EQ(VFW_E_INVALIDMEDIATYPE, config->SetFormat(&unknown.Edit()));
  EXPECT_EQ(yuy2, CurrentFormat(config.Get()));
  EXPECT_EQ(E_POINTER, config->SetFormat(nullptr));

  // A top-down RGB24 picture of a capability's size is that capability.
  CAmMediaType topDown = CapsType(config.Get(), 1);
  topDown.VideoInfo()->bmiHeader.biHeight = -480;
  EXPECT_EQ(S_OK, config->SetFormat(&topDown.Edit()));
  EXPECT_EQ(-480, CurrentFormat(config.Get()).VideoInfo()->bmiHeader.biHeight);
}

TEST(TestCamStreamConfig, PinCategoryIsReadThroughKsPropertySetWhereOffered) {
  struct Expectation {
    size_t profile;
    int pin;
    const wchar_t* name;
    GUID category;
  };
  const Expectation cases[] = {
      {kTestCamStandard, 0, L"Capture", PIN_CATEGORY_CAPTURE},
      {kTestCamPreviewFirst, 0, L"Preview", PIN_CATEGORY_PREVIEW},
      {kTestCamPreviewFirst, 1, L"Capture", PIN_CATEGORY_CAPTURE},
  };
  for (const Expectation& c : cases) {
    ComPtr<IBaseFilter> camera = CreateTestCamera(c.profile);
    ComPtr<IPin> pin = PinAt(camera.Get(), c.pin);
    ASSERT_TRUE(pin);
    ComPtr<IPin> found;
    ASSERT_EQ(S_OK, camera->FindPin(c.name, &found));
    EXPECT_EQ(pin.Get(), found.Get());
    ComPtr<IKsPropertySet> properties;
    ASSERT_EQ(S_OK, pin.As(&properties));
    GUID category = GUID_NULL;
    DWORD returned = 0;
    EXPECT_EQ(S_OK, properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category,
                                    sizeof(category), &returned));
    EXPECT_EQ(c.category, category);
    EXPECT_EQ(sizeof(GUID), returned);
    DWORD support = 0;
    EXPECT_EQ(S_OK, properties->QuerySupported(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, &support));
    EXPECT_EQ(static_cast<DWORD>(KSPROPERTY_SUPPORT_GET), support);
    BYTE tooSmall[8] = {};
    EXPECT_EQ(E_UNEXPECTED, properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, tooSmall,
                                            sizeof(tooSmall), &returned));
    // Any other property set, here an unrelated GUID.
    EXPECT_EQ(E_PROP_SET_UNSUPPORTED,
              properties->Get(PIN_CATEGORY_CAPTURE, 0, nullptr, 0, &category, sizeof(category), &returned));
  }

  // The variant without the interface still configures its stream.
  ComPtr<IBaseFilter> plain = CreateTestCamera(kTestCamNoKsProps);
  ComPtr<IPin> pin = PinAt(plain.Get(), 0);
  ComPtr<IKsPropertySet> properties;
  EXPECT_EQ(E_NOINTERFACE, pin.As(&properties));
  EXPECT_TRUE(StreamConfigOf(plain.Get(), 0));
}
