// IAMStreamConfig and IKsPropertySet of the test cameras' pins, on unconnected filters.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "support/TestCamFaultRecord.h"
#include "support/TestCameraGraph.h"

using Microsoft::WRL::ComPtr;

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

TEST(TestCamStreamConfig, SetFormatFixesThePinTypeAndRefusesUnknownSizes) {
  ComPtr<IPin> pin = PinAt(CreateTestCamera(kTestCamStandard).Get(), 0);
  ComPtr<IAMStreamConfig> config;
  ASSERT_EQ(S_OK, pin.As(&config));
  CMediaType yuy2 = CapsType(pin.Get(), 2);
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
  EXPECT_EQ(S_FALSE, pin->QueryAccept(&CapsType(pin.Get(), 1).Get()));
  CMediaType unknown = CapsType(pin.Get(), 1);
  unknown.VideoInfo()->bmiHeader.biWidth = 800;
  EXPECT_EQ(VFW_E_INVALIDMEDIATYPE, config->SetFormat(&unknown.Edit()));
}

// The faulty camera refuses the size and the starts a test asks for, and nothing else.
TEST(TestCamStreamConfig, FaultyCameraRefusesWhatTheRecordAsksFor) {
  TestCamFaultRecord faults;
  ASSERT_TRUE(faults.IsValid());
  ComPtr<IBaseFilter> camera = CreateTestCamera(kTestCamFaulty);
  ComPtr<IPin> pin = PinAt(camera.Get(), 0);
  ComPtr<IAMStreamConfig> config;
  ASSERT_EQ(S_OK, pin.As(&config));
  faults.RefuseSize(1280, 720, E_ACCESSDENIED);
  CMediaType refused = CapsType(pin.Get(), 3), taken = CapsType(pin.Get(), 1);
  EXPECT_EQ(E_ACCESSDENIED, config->SetFormat(&refused.Edit()));
  EXPECT_EQ(S_OK, config->SetFormat(&taken.Edit()));

  faults.FailStarts(2, HRESULT_FROM_WIN32(ERROR_NO_SYSTEM_RESOURCES));
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_NO_SYSTEM_RESOURCES), camera->Pause());
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_NO_SYSTEM_RESOURCES), camera->Run(0));
  EXPECT_EQ(S_OK, camera->Pause());
  EXPECT_EQ(3, faults.StartAttempts());
  EXPECT_EQ(0, faults.StartFailuresLeft());
  EXPECT_EQ(S_OK, camera->Stop());
}

TEST(TestCamStreamConfig, PinCategoryIsReadThroughKsPropertySetWhereOffered) {
  const struct { size_t profile; int pin; GUID category; } cases[] = {
      {kTestCamStandard, 0, PIN_CATEGORY_CAPTURE},
      {kTestCamPreviewFirst, 0, PIN_CATEGORY_PREVIEW},
  };
  for (const auto& c : cases) {
    ComPtr<IKsPropertySet> properties;
    ASSERT_EQ(S_OK, PinAt(CreateTestCamera(c.profile).Get(), c.pin).As(&properties));
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
  ComPtr<IPin> plain = PinAt(CreateTestCamera(kTestCamNoKsProps).Get(), 0);
  ComPtr<IKsPropertySet> properties;
  ComPtr<IAMStreamConfig> config;
  EXPECT_EQ(E_NOINTERFACE, plain.As(&properties));
  EXPECT_EQ(S_OK, plain.As(&config));
}
