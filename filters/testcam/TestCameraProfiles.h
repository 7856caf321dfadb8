// The cameras that fontis_testcam.dll provides: one COM class per camera, each with fixed
// names, device path, pins and capability list. Tests include this header to know what to expect.
//
// DllRegisterServer registers every camera below as a COM class (InprocServer32 = the DLL) and as
// a device of CLSID_VideoInputDeviceCategory under the instance key `instanceKey`, with the
// property-bag values "FriendlyName", "Description", "DevicePath" and "CLSID" (the class's GUID
// in braces). The system device enumerator lists them in the order of their instance keys, which
// is the order of kTestCameraProfiles. DllUnregisterServer removes all of them.
//
// Every capture pin answers IAMStreamConfig (VIDEOINFOHEADER formats, one per capability,
// VIDEO_STREAM_CONFIG_CAPS records of `capsRecordSize` bytes) and IAMDroppedFrames; it answers
// IKsPropertySet (AMPROPSETID_Pin / AMPROPERTY_PIN_CATEGORY) only when `pinPropertySet` is set.
//
// Cameras:
//  0 Standard    "Fontis Test Camera"; RGB24 320x240, RGB24 640x480, YUY2 640x480, RGB24 1280x720,
//                NV12 1920x1080, all 30 fps; 128-byte records; IKsPropertySet; one capture pin.
//  1 Second      FriendlyName "Fontis Test Camera 2", Description "Fontis Second Camera" (the
//                display name differs from the friendly name); YUY2 640x480 and RGB24 1280x720.
//  2 NoKsProps   "Fontis Test Camera NoKs": no IKsPropertySet; RGB24 320x240 and 640x480.
//  3 Caps64      "Fontis Test Camera Caps64": GetNumberOfCapabilities reports 64-byte records
//                (GetStreamCaps writes only the first 64 bytes); RGB24 640x480 and 1280x720.
//  4 PreviewFirst "Fontis Test Camera Preview": pin 0 "Preview" of PIN_CATEGORY_PREVIEW, pin 1
//                "Capture" of PIN_CATEGORY_CAPTURE, both with RGB24 640x480 and 1280x720.
//  5 SameName    display name and friendly name equal to camera 0's ("Fontis Test Camera"), its
//                own path and CLSID; RGB24 1280x720 only. Enumerated after camera 0.
//  6 Faulty      "Fontis Test Camera Faulty": camera 0's formats, and the faults a test asks for
//                through the named record of TestCamFaults.h (a failing start, a refused size).
//
// Frames: the coded picture of CodedPictureLayout.h, whose frame code holds the camera's index
// above and the frame number's low byte below, and the frame counter of TestPattern.h at the
// start of every sample.
#pragma once

#include <windows.h>

#include <cstddef>

enum class TestCamSubtype { Rgb24, Yuy2, Nv12 };

struct TestCameraFormat {
  TestCamSubtype subtype;
  LONG width;
  LONG height;  // positive; RGB24 frames are bottom-up DIBs
  LONG framesPerSecond;
};

struct TestCameraProfile {
  GUID clsid;
  const wchar_t* instanceKey;   // key under the category's Instance key
  const wchar_t* friendlyName;  // also the filter's registered name
  const wchar_t* description;
  const wchar_t* devicePath;
  bool pinPropertySet;    // pins answer IKsPropertySet
  ULONG capsRecordSize;   // size reported by GetNumberOfCapabilities
  bool previewPinFirst;   // a preview pin precedes the capture pin
  bool injectsFaults;     // obeys the "FontisTestCamFaults" record (TestCamFaults.h)
  const TestCameraFormat* formats;
  size_t formatCount;
};

enum TestCameraIndex : size_t {
  kTestCamStandard = 0,
  kTestCamSecond = 1,
  kTestCamNoKsProps = 2,
  kTestCamCaps64 = 3,
  kTestCamPreviewFirst = 4,
  kTestCamSameName = 5,
  kTestCamFaulty = 6,
  kTestCameraCount = 7,
};

inline constexpr TestCameraFormat kStandardFormats[] = {
    {TestCamSubtype::Rgb24, 320, 240, 30},  {TestCamSubtype::Rgb24, 640, 480, 30},
    {TestCamSubtype::Yuy2, 640, 480, 30},   {TestCamSubtype::Rgb24, 1280, 720, 30},
    {TestCamSubtype::Nv12, 1920, 1080, 30},
};
inline constexpr TestCameraFormat kSecondFormats[] = {
    {TestCamSubtype::Yuy2, 640, 480, 30},
    {TestCamSubtype::Rgb24, 1280, 720, 30},
};
inline constexpr TestCameraFormat kNoKsFormats[] = {
    {TestCamSubtype::Rgb24, 320, 240, 30},
    {TestCamSubtype::Rgb24, 640, 480, 30},
};
inline constexpr TestCameraFormat kCaps64Formats[] = {
    {TestCamSubtype::Rgb24, 640, 480, 30},
    {TestCamSubtype::Rgb24, 1280, 720, 30},
};
inline constexpr TestCameraFormat kPreviewFirstFormats[] = {
    {TestCamSubtype::Rgb24, 640, 480, 30},
    {TestCamSubtype::Rgb24, 1280, 720, 30},
};
inline constexpr TestCameraFormat kSameNameFormats[] = {
    {TestCamSubtype::Rgb24, 1280, 720, 30},
};

template <size_t N>
constexpr size_t CountOf(const TestCameraFormat (&)[N]) {
  return N;
}

inline constexpr TestCameraProfile kTestCameraProfiles[kTestCameraCount] = {
    {{0x24971ff8, 0x8bd0, 0x4a08, {0x9d, 0x66, 0x99, 0x78, 0xa2, 0xde, 0x1c, 0xe5}},
     L"FontisTestCam0", L"Fontis Test Camera", L"Fontis Test Camera",
     L"\\\\?\\root#fontis_testcam#0000#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global", true, 128, false, false,
     kStandardFormats, CountOf(kStandardFormats)},
    {{0xe40ae519, 0xba5c, 0x4e4a, {0xaa, 0x4e, 0xd3, 0x6e, 0x56, 0xc4, 0x45, 0x84}},
     L"FontisTestCam1", L"Fontis Test Camera 2", L"Fontis Second Camera",
     L"\\\\?\\root#fontis_testcam#0001#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global", true, 128, false, false,
     kSecondFormats, CountOf(kSecondFormats)},
    {{0x1295d671, 0x4c9b, 0x49f2, {0x89, 0x3c, 0xff, 0xe9, 0x2a, 0x07, 0x1d, 0x58}},
     L"FontisTestCam2", L"Fontis Test Camera NoKs", L"Fontis Test Camera NoKs",
     L"\\\\?\\root#fontis_testcam#0002#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global", false, 128, false, false,
     kNoKsFormats, CountOf(kNoKsFormats)},
    {{0x97900519, 0x579a, 0x4892, {0x90, 0x76, 0xfe, 0x71, 0x80, 0x46, 0x04, 0x3d}},
     L"FontisTestCam3", L"Fontis Test Camera Caps64", L"Fontis Test Camera Caps64",
     L"\\\\?\\root#fontis_testcam#0003#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global", true, 64, false, false,
     kCaps64Formats, CountOf(kCaps64Formats)},
    {{0x8bb756eb, 0xcc5a, 0x4d1a, {0xb0, 0x2d, 0x69, 0x0f, 0x48, 0x40, 0xaf, 0x80}},
     L"FontisTestCam4", L"Fontis Test Camera Preview", L"Fontis Test Camera Preview",
     L"\\\\?\\root#fontis_testcam#0004#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global", true, 128, true, false,
     kPreviewFirstFormats, CountOf(kPreviewFirstFormats)},
    {{0xc38f5b4a, 0x36ce, 0x4685, {0x9d, 0x60, 0xf0, 0x26, 0xa7, 0xb8, 0xa3, 0xac}},
     L"FontisTestCam5", L"Fontis Test Camera", L"Fontis Test Camera",
     L"\\\\?\\root#fontis_testcam#0005#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global", true, 128, false, false,
     kSameNameFormats, CountOf(kSameNameFormats)},
    {{0x5f3c2a91, 0x7d4e, 0x4b6a, {0x8e, 0x21, 0x3a, 0x9c, 0x47, 0xd2, 0x10, 0x6b}},
     L"FontisTestCam6", L"Fontis Test Camera Faulty", L"Fontis Test Camera Faulty",
     L"\\\\?\\root#fontis_testcam#0006#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global", true, 128, false, true,
     kStandardFormats, CountOf(kStandardFormats)},
};

// The index of a profile of kTestCameraProfiles: the camera's identity in its frame code.
inline size_t TestCameraIndexOf(const TestCameraProfile& profile) {
  return static_cast<size_t>(&profile - kTestCameraProfiles);
}
