// fontisctl as an application of the test cameras: frames of each format whose codes name the
// camera, exit codes of devices and formats that fail, and the devices it lists.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/BitmapSize.h"
#include "filters/testcam/TestCameraProfiles.h"
#include "support/CodedPicture.h"
#include "support/FontisctlRun.h"
#include "support/TempFiles.h"
#include "support/TestCamFaultRecord.h"
#include "support/TestCameraRegistration.h"

class FontisctlCapture : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_cameras = std::make_unique<TestCameraRegistration>();
    s_registered = s_cameras->Register();
  }
  static void TearDownTestSuite() { s_cameras.reset(); }
  void SetUp() override { ASSERT_EQ(S_OK, s_registered) << "the test cameras could not be registered"; }

  static std::unique_ptr<TestCameraRegistration> s_cameras;
  static HRESULT s_registered;
};

std::unique_ptr<TestCameraRegistration> FontisctlCapture::s_cameras;
HRESULT FontisctlCapture::s_registered = E_FAIL;

TEST_F(FontisctlCapture, EachFormatGivesFramesWhoseCodesNameTheCameraInOrder) {
  // "Fontis Test Camera" is also the FriendlyName of a camera listed later: the first one wins.
  const struct {
    size_t camera;
    LONG width, height;
    const char* subtype;
    size_t frames;
    bool raw;  // every frame as it came (RGB24 bottom-up), or the last one as a BMP
  } cases[] = {{kTestCamStandard, 640, 480, "RGB24", 2, false},
               {kTestCamStandard, 640, 480, "YUY2", 2, false},
               {kTestCamStandard, 1920, 1080, "NV12", 2, false},
               {kTestCamSecond, 640, 480, "YUY2", 2, false},
               {kTestCamStandard, 320, 240, "RGB24", 3, true}};
  for (const auto& c : cases) {
    const std::string format = std::string(c.subtype) + " " + std::to_string(c.width) + "x" + std::to_string(c.height);
    const std::wstring camera = kTestCameraProfiles[c.camera].friendlyName;
    SCOPED_TRACE(testing::PrintToString(camera) + " " + format + (c.raw ? " raw" : ""));
    const std::wstring path = TempFile(UniqueInstanceName(L"capture") + (c.raw ? L".raw" : L".bmp"));
    const CtlRun run = RunFontisctl(L"capture \"" + camera + L"\" --size " + std::to_wstring(c.width) + L"x" +
                                    std::to_wstring(c.height) + L" --subtype " +
                                    std::wstring(c.subtype, c.subtype + strlen(c.subtype)) + L" --frames " +
                                    std::to_wstring(c.frames) + L" --out \"" + path + L"\"");
    const std::vector<BYTE> file = ReadAndDelete(path);
    ASSERT_EQ(0u, run.code) << run.output;
    EXPECT_TRUE(run.Printed("format   " + format)) << run.output;
    EXPECT_TRUE(run.Printed("frames   " + std::to_string(c.frames))) << run.output;
    EXPECT_TRUE(run.Printed("frame 1  start")) << run.output;

    const size_t header = c.raw ? 0 : kBmpHeaderBytes, frameBytes = BitmapImageSize(c.width, c.height, 24);
    const size_t stored = c.raw ? c.frames : 1;
    ASSERT_EQ(header + stored * frameBytes, file.size());
    if (!c.raw) {
      BITMAPINFOHEADER info = {};
      memcpy(&info, &file[14], sizeof(info));
      EXPECT_EQ(c.width, info.biWidth);
      EXPECT_EQ(c.height, info.biHeight) << "bottom-up rows";
      EXPECT_EQ(24, info.biBitCount);
    }
    uint16_t previous = 0;
    for (size_t i = 0; i < stored; ++i) {
      const SourceFrame picture = BottomUpRgb24(file, header + i * frameBytes, c.width, c.height);
      uint16_t code = 0;
      std::string mismatch;
      ASSERT_TRUE(ReadCheckedFrameCode(picture, &code, &mismatch)) << "frame " << i << ": " << mismatch;
      EXPECT_EQ(c.camera, FrameCodeCamera(code));
      if (i > 0) {
        EXPECT_EQ((FrameCodeCounter(previous) + 1) & kFrameCodeCounterMask, FrameCodeCounter(code)) << i;
      }
      previous = code;
    }
  }
}

TEST_F(FontisctlCapture, BadDevicesAndFormatsEndWithTheirOwnExitCodesInsteadOfWaiting) {
  TestCamFaultRecord faults;
  ASSERT_TRUE(faults.IsValid());
  faults.RefuseSize(640, 480, E_ACCESSDENIED);
  faults.FailStarts(1000, HRESULT_FROM_WIN32(ERROR_NO_SYSTEM_RESOURCES));
  constexpr DWORD kExitFailure = 1, kExitNoDevice = 3, kExitFormat = 4;
  const struct {
    const wchar_t* arguments;
    DWORD code;
    const char* says;
  } cases[] = {
      {L"\"Fontis Test Camera 9\"", kExitNoDevice, "no video input device has the FriendlyName"},
      // A size offered in another subtype only is not offered either; the offers are listed.
      {L"\"Fontis Test Camera\" --size 320x240 --subtype NV12", kExitFormat, "NV12 1920x1080"},
      {L"\"Fontis Test Camera Faulty\" --size 640x480 --subtype YUY2", kExitFormat,
       "refused the format YUY2 640x480: 0x80070005"},
      {L"\"Fontis Test Camera Faulty\" --timeout 20", kExitFailure, "failed to start: 0x800705AA"},
  };
  for (const auto& c : cases) {
    const CtlRun run = RunFontisctl(L"capture " + std::wstring(c.arguments));
    EXPECT_EQ(c.code, run.code) << run.output;
    EXPECT_TRUE(run.Printed(c.says)) << run.output;
  }
  EXPECT_GE(faults.StartAttempts(), 1);
}

TEST_F(FontisctlCapture, DevicesListsCamerasAsTheHostFindsThem) {
  CtlRun run = RunFontisctl(L"devices");
  EXPECT_EQ(0u, run.code);
  // The camera whose Description differs from its FriendlyName is shown by its Description.
  EXPECT_TRUE(run.Printed("\"Fontis Second Camera\"")) << run.output;
  EXPECT_TRUE(run.Printed("root#fontis_testcam#0002")) << run.output;
  ASSERT_EQ(S_OK, s_cameras->Unregister());
  run = RunFontisctl(L"devices");
  EXPECT_FALSE(run.Printed("Fontis")) << run.output;
  s_registered = s_cameras->Register();
}
