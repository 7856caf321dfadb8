// fontisctl capture as an application: the test cameras opened by name in each of their formats,
// saved as a BMP or as raw frames whose frame code names the camera; a device that is not there,
// a format that is not offered or is refused, and a device whose start fails end with their own
// exit codes and never hang.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "support/FontisctlRun.h"
#include "support/TempFiles.h"
#include "common/BitmapSize.h"
#include "filters/testcam/TestCameraProfiles.h"
#include "support/CodedPicture.h"
#include "support/TestCamFaultRecord.h"
#include "support/TestCameraRegistration.h"
#include "support/TestProcess.h"

namespace {

constexpr DWORD kExitFailure = 1;
constexpr DWORD kExitNoDevice = 3;
constexpr DWORD kExitFormat = 4;

// The frame code of a picture whose bars and grey are where they belong.
::testing::AssertionResult ReadCode(const SourceFrame& frame, uint16_t* code) {
  std::string mismatch;
  if (!CheckBarsAndBottom(frame, &mismatch) || !ReadFrameCode(frame, code, &mismatch)) {
    return ::testing::AssertionFailure() << mismatch;
  }
  return ::testing::AssertionSuccess();
}

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

}  // namespace

class FontisctlCapture : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_cameras = std::make_unique<TestCameraRegistration>();
    s_registered = s_cameras->Register();
  }
  static void TearDownTestSuite() {
    s_cameras->Unregister();
    s_cameras.reset();
  }
  void SetUp() override { ASSERT_EQ(S_OK, s_registered) << "the test cameras could not be registered"; }

  static std::unique_ptr<TestCameraRegistration> s_cameras;
  static HRESULT s_registered;
};

std::unique_ptr<TestCameraRegistration> FontisctlCapture::s_cameras;
HRESULT FontisctlCapture::s_registered = E_FAIL;

TEST_F(FontisctlCapture, EachFormatOfTheCamerasGivesABmpWhoseCodeNamesTheCamera) {
  struct Case {
    size_t camera;
    LONG width, height;
    const char* subtype;
  };
  // "Fontis Test Camera" is also the FriendlyName of a camera listed later: the first one wins.
  const Case cases[] = {{kTestCamStandard, 640, 480, "RGB24"},
                        {kTestCamStandard, 640, 480, "YUY2"},
                        {kTestCamStandard, 1920, 1080, "NV12"},
                        {kTestCamSecond, 640, 480, "YUY2"}};
  for (const Case& c : cases) {
    const std::string format = std::string(c.subtype) + " " + std::to_string(c.width) + "x" + std::to_string(c.height);
    SCOPED_TRACE(testing::PrintToString(std::wstring(kTestCameraProfiles[c.camera].friendlyName)) + " " + format);
    const std::wstring size = std::to_wstring(c.width) + L"x" + std::to_wstring(c.height);
    const std::wstring subtype(c.subtype, c.subtype + strlen(c.subtype));
    const std::wstring path = TempFile(UniqueInstanceName(L"capture") + L".bmp");
    const CtlRun run = RunFontisctl(L"capture " + Quoted(kTestCameraProfiles[c.camera].friendlyName) + L" --size " +
                                    size + L" --subtype " + subtype + L" --frames 2 --out " + Quoted(path));
    const std::vector<BYTE> bmp = ReadAndDelete(path);
    ASSERT_EQ(0u, run.code) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("format   " + format)) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("frames   2")) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("frame 1  start")) << run.output;

    ASSERT_EQ(kBmpHeaderBytes + BitmapImageSize(c.width, c.height, 24), bmp.size());
    BITMAPINFOHEADER info = {};
    memcpy(&info, &bmp[14], sizeof(info));
    EXPECT_EQ(c.width, info.biWidth);
    EXPECT_EQ(c.height, info.biHeight) << "bottom-up rows";
    EXPECT_EQ(24, info.biBitCount);
    uint16_t code = 0;
    ASSERT_TRUE(ReadCode(BottomUpRgb24(bmp, kBmpHeaderBytes, c.width, c.height), &code));
    EXPECT_EQ(c.camera, FrameCodeCamera(code));
  }
}

TEST_F(FontisctlCapture, RawOutputHoldsEveryFrameInOrder) {
  const std::wstring path = TempFile(UniqueInstanceName(L"capture") + L".raw");
  const CtlRun run = RunFontisctl(L"capture \"Fontis Test Camera\" --size 320x240 --subtype RGB24 --frames 3 --out " +
                                  Quoted(path));
  const std::vector<BYTE> raw = ReadAndDelete(path);
  ASSERT_EQ(0u, run.code) << run.output;
  EXPECT_NE(std::string::npos, run.output.find("format   RGB24 320x240 bottom-up")) << run.output;
  const size_t frameBytes = BitmapImageSize(320, 240, 24);
  ASSERT_EQ(3 * frameBytes, raw.size());
  uint32_t previous = 0;
  for (size_t i = 0; i < 3; ++i) {
    uint16_t code = 0;
    ASSERT_TRUE(ReadCode(BottomUpRgb24(raw, i * frameBytes, 320, 240), &code)) << "frame " << i;
    EXPECT_EQ(kTestCamStandard, FrameCodeCamera(code));
    if (i > 0) {
      EXPECT_EQ((previous + 1) & kFrameCodeCounterMask, FrameCodeCounter(code)) << "frame " << i;
    }
    previous = FrameCodeCounter(code);
  }
}

TEST_F(FontisctlCapture, MissingDeviceAndFormatsNotOfferedOrRefused) {
  CtlRun run = RunFontisctl(L"capture \"Fontis Test Camera 9\"");
  EXPECT_EQ(kExitNoDevice, run.code) << run.output;
  EXPECT_NE(std::string::npos, run.output.find("no video input device has the FriendlyName")) << run.output;

  // A size offered in another subtype only is not offered either.
  run = RunFontisctl(L"capture \"Fontis Test Camera\" --size 320x240 --subtype NV12");
  EXPECT_EQ(kExitFormat, run.code) << run.output;
  EXPECT_NE(std::string::npos, run.output.find("NV12 1920x1080")) << "the offers are listed: " << run.output;

  TestCamFaultRecord faults;
  ASSERT_TRUE(faults.IsValid());
  faults.RefuseSize(640, 480, E_ACCESSDENIED);
  run = RunFontisctl(L"capture \"Fontis Test Camera Faulty\" --size 640x480 --subtype YUY2");
  EXPECT_EQ(kExitFormat, run.code) << run.output;
  EXPECT_NE(std::string::npos, run.output.find("refused the format YUY2 640x480: 0x80070005")) << run.output;
}

TEST_F(FontisctlCapture, ADeviceWhoseStartFailsEndsWithAnErrorInsteadOfWaiting) {
  TestCamFaultRecord faults;
  ASSERT_TRUE(faults.IsValid());
  faults.FailStarts(1000, HRESULT_FROM_WIN32(ERROR_NO_SYSTEM_RESOURCES));
  const CtlRun run = RunFontisctl(L"capture \"Fontis Test Camera Faulty\" --timeout 20");
  EXPECT_EQ(kExitFailure, run.code) << run.output;
  EXPECT_NE(std::string::npos, run.output.find("failed to start: 0x800705AA")) << run.output;
  EXPECT_GE(faults.StartAttempts(), 1);
}
