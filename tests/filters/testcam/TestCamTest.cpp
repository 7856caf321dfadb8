// The test cameras without a running graph: their frame counter and coded picture in every
// layout, their registration, and their pins' stream configuration and category.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "capture/DeviceEnumeration.h"
#include "common/GuidText.h"
#include "filters/testcam/TestCameraFormats.h"
#include "filters/testcam/TestPattern.h"
#include "support/CodedPicture.h"
#include "support/TestCameraGraph.h"

using Microsoft::WRL::ComPtr;

namespace {

// The test cameras the system device enumerator lists, as profile indices in its order.
std::vector<size_t> ListedTestCameras() {
  std::vector<VideoInputDeviceInfo> devices;
  std::vector<size_t> seen;
  ListDevices(CLSID_VideoInputDeviceCategory, &devices);
  for (const VideoInputDeviceInfo& device : devices) {
    CLSID clsid = GUID_NULL;
    for (size_t i = 0; ParseGuidText(device.clsidText.c_str(), &clsid) && i < kTestCameraCount; ++i) {
      if (clsid != kTestCameraProfiles[i].clsid) continue;
      EXPECT_EQ(kTestCameraProfiles[i].friendlyName, device.friendlyName) << i;
      seen.push_back(i);
    }
  }
  return seen;
}

ComPtr<IKsPropertySet> PinProperties(size_t profile, int pin) {
  ComPtr<IKsPropertySet> properties;
  PinAt(CreateTestCamera(profile).Get(), pin).As(&properties);
  return properties;
}

}  // namespace

TEST(TestPattern, CounterAndFrameCodeInEveryLayout) {
  BYTE frame[8] = {};
  WriteFrameCounter(frame, 0x01020304u);
  const BYTE expected[8] = {0x04, 0x03, 0x02, 0x01, 0xFB, 0xFC, 0xFD, 0xFE};  // little-endian and complement
  EXPECT_EQ(0, memcmp(expected, frame, 8));
  uint32_t counter = 0;
  EXPECT_FALSE(ReadFrameCounter(frame, 7, &counter));
  frame[6] ^= 0x10;  // a torn or foreign buffer
  EXPECT_FALSE(ReadFrameCounter(frame, 8, &counter));

  TestFrameLayout layout = {};
  EXPECT_FALSE(ComputeFrameLayout(TestCamSubtype::Yuy2, 641, 480, &layout));
  const struct {
    TestCamSubtype subtype;
    LONG fourcc;
    LONG biHeight;  // negative: top-down RGB24
  } cases[] = {{TestCamSubtype::Rgb24, kFourccBgr24, 96},
               {TestCamSubtype::Rgb24, kFourccBgr24, -96},
               {TestCamSubtype::Yuy2, kFourccYuy2, 96},
               {TestCamSubtype::Nv12, kFourccNv12, 96}};
  for (const auto& c : cases) {
    CMediaType type;
    ASSERT_EQ(S_OK, BuildTestCamMediaType(TestCameraFormat{c.subtype, 128, 96, 30}, &type));
    type.VideoInfo()->bmiHeader.biHeight = c.biHeight;
    ASSERT_TRUE(TestFrameLayoutFromType(type.Get(), &layout));
    SCOPED_TRACE(std::to_string(static_cast<int>(c.subtype)) + " biHeight " + std::to_string(c.biHeight));
    std::vector<BYTE> picture(layout.imageSize + 1, 0xAB);
    DrawTestFrame(layout, kTestCamSecond, 0x2FF, picture.data());
    EXPECT_EQ(0xAB, picture.back()) << "drawn past the picture";
    ASSERT_TRUE(ReadFrameCounter(picture.data(), picture.size(), &counter));
    EXPECT_EQ(0x2FFu, counter);

    const SourceFrame view = ViewOfTarget(TargetFormat{c.fourcc, 128, c.biHeight}, picture.data(), layout.imageSize);
    std::string mismatch;
    uint16_t code = 0;
    ASSERT_TRUE(ReadCheckedFrameCode(view, &code, &mismatch)) << mismatch;
    EXPECT_EQ(TestCameraFrameCode(kTestCamSecond, 0xFF), code) << "the camera and the frame number's low byte";
  }
}

TEST(TestCamRegistration, EnumeratorListsEveryCameraInOrderUntilUnregistered) {
  // Tests of camera selection rely on this order (first of two equal display names wins).
  const std::vector<size_t> all = {0, 1, 2, 3, 4, 5, 6};
  EXPECT_EQ(all, ListedTestCameras());
  // Streaming threads call into the cameras from the multithreaded apartment.
  WCHAR clsid[40] = {}, model[16] = {};
  ::StringFromGUID2(kTestCameraProfiles[0].clsid, clsid, 40);
  DWORD bytes = sizeof(model);
  ::RegGetValueW(HKEY_LOCAL_MACHINE, (std::wstring(L"Software\\Classes\\CLSID\\") + clsid + L"\\InprocServer32").c_str(),
                 L"ThreadingModel", RRF_RT_REG_SZ, nullptr, model, &bytes);
  EXPECT_STREQ(L"Both", model);

  TestCameraRegistration& registration = g_cameras->Registration();
  ASSERT_EQ(S_OK, registration.Unregister());
  EXPECT_TRUE(ListedTestCameras().empty());
  EXPECT_FALSE(CreateTestCamera(0)) << "the class is gone too";
  // Unregistering what is not there is not an error: a crashed test run can always be undone.
  EXPECT_EQ(S_OK, registration.Unregister());
  // Registering twice does not duplicate devices.
  ASSERT_EQ(S_OK, registration.Register());
  ASSERT_EQ(S_OK, registration.Register());
  EXPECT_EQ(all, ListedTestCameras());
}

TEST(TestCamStreamConfig, CapabilitiesMatchTheProfileAndStayWithinTheReportedRecordSize) {
  for (size_t p : {kTestCamStandard, kTestCamCaps64}) {
    const TestCameraProfile& profile = kTestCameraProfiles[p];
    ComPtr<IAMStreamConfig> config;
    ASSERT_EQ(S_OK, PinAt(CreateTestCamera(p).Get(), 0).As(&config)) << p;
    int count = 0, size = 0;
    ASSERT_EQ(S_OK, config->GetNumberOfCapabilities(&count, &size));
    EXPECT_EQ(static_cast<int>(profile.formatCount), count) << p;
    EXPECT_EQ(static_cast<int>(profile.capsRecordSize), size) << p;
    // A caller allocates the size the pin reported; the rest must stay untouched.
    std::vector<BYTE> record(sizeof(VIDEO_STREAM_CONFIG_CAPS));
    for (int i = 0; i < count; ++i) {
      std::fill(record.begin(), record.end(), BYTE{0xCD});
      CTaskMemMediaType type;
      ASSERT_EQ(S_OK, config->GetStreamCaps(i, type.Receive(), record.data())) << p << "/" << i;
      const VIDEOINFOHEADER* info = reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
      ASSERT_TRUE(info != nullptr && type->cbFormat == sizeof(VIDEOINFOHEADER));
      EXPECT_EQ(profile.formats[i].width, info->bmiHeader.biWidth);
      EXPECT_EQ(profile.formats[i].height, info->bmiHeader.biHeight);
      EXPECT_TRUE(std::all_of(record.begin() + size, record.end(), [](BYTE b) { return b == 0xCD; }))
          << "written past the size";
    }
    CTaskMemMediaType none;  // S_FALSE past the end, and no type handed out
    EXPECT_EQ(S_FALSE, config->GetStreamCaps(count, none.Receive(), record.data())) << p;
    EXPECT_FALSE(none);
  }
}

TEST(TestCamStreamConfig, SetFormatFixesThePinTypeAndThePinCategoryIsReadWhereOffered) {
  ComPtr<IPin> pin = PinAt(CreateTestCamera(kTestCamStandard).Get(), 0);
  ComPtr<IAMStreamConfig> config;
  ASSERT_EQ(S_OK, pin.As(&config));
  CMediaType yuy2 = CapsType(pin.Get(), 2), unknown = CapsType(pin.Get(), 1);
  ASSERT_EQ(S_OK, config->SetFormat(&yuy2.Edit()));
  CTaskMemMediaType current, offered[2];
  ASSERT_EQ(S_OK, config->GetFormat(current.Receive()));
  EXPECT_TRUE(yuy2.Equals(*current.Get()));
  // Only the fixed type is offered and accepted now; the RGB24 type of the same size is not.
  ComPtr<IEnumMediaTypes> types;
  ASSERT_EQ(S_OK, pin->EnumMediaTypes(&types));
  EXPECT_EQ(S_OK, types->Next(1, offered[0].Receive(), nullptr));
  EXPECT_TRUE(yuy2.Equals(*offered[0].Get()));
  EXPECT_EQ(S_FALSE, types->Next(1, offered[1].Receive(), nullptr));
  EXPECT_EQ(S_FALSE, pin->QueryAccept(&unknown.Get()));
  unknown.VideoInfo()->bmiHeader.biWidth = 800;
  EXPECT_EQ(VFW_E_INVALIDMEDIATYPE, config->SetFormat(&unknown.Edit()));

  const struct {
    size_t profile;
    GUID category;
  } cases[] = {{kTestCamStandard, PIN_CATEGORY_CAPTURE}, {kTestCamPreviewFirst, PIN_CATEGORY_PREVIEW}};
  for (const auto& c : cases) {
    const ComPtr<IKsPropertySet> properties = PinProperties(c.profile, 0);
    ASSERT_TRUE(properties) << c.profile;
    GUID category = GUID_NULL;
    DWORD returned = 0;
    EXPECT_EQ(S_OK, properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category,
                                    sizeof(category), &returned));
    EXPECT_EQ(c.category, category);
    BYTE tooSmall[8] = {};
    EXPECT_EQ(E_UNEXPECTED, properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, tooSmall,
                                            sizeof(tooSmall), &returned));
  }
  // The variant without the interface still configures its stream.
  EXPECT_FALSE(PinProperties(kTestCamNoKsProps, 0));
  EXPECT_EQ(S_OK, PinAt(CreateTestCamera(kTestCamNoKsProps).Get(), 0).As(&config));
}
