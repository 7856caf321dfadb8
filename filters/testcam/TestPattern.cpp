// The test camera's frames: the coded picture, then the frame counter in the first bytes.
#include "filters/testcam/TestPattern.h"

#include "common/BitmapSize.h"
#include "filters/testcam/CodedPictureLayout.h"

namespace {

LONG FourccOf(TestCamSubtype subtype) {
  switch (subtype) {
    case TestCamSubtype::Rgb24: return kFourccBgr24;
    case TestCamSubtype::Yuy2: return kFourccYuy2;
    case TestCamSubtype::Nv12: return kFourccNv12;
  }
  return 0;
}

}  // namespace

bool ComputeFrameLayout(TestCamSubtype subtype, LONG width, LONG height, TestFrameLayout* layout) {
  if (layout == nullptr || width <= 0 || height <= 0 || (width % 2) != 0 || (height % 2) != 0) return false;
  layout->subtype = subtype;
  layout->width = width;
  layout->height = height;
  layout->bottomUp = subtype == TestCamSubtype::Rgb24;
  switch (subtype) {
    case TestCamSubtype::Rgb24:
      layout->stride = static_cast<LONG>(BitmapStride(width, 24));
      layout->imageSize = BitmapImageSize(width, height, 24);
      break;
    case TestCamSubtype::Yuy2:
      layout->stride = width * 2;
      layout->imageSize = static_cast<size_t>(layout->stride) * height;
      break;
    case TestCamSubtype::Nv12:
      layout->stride = width;
      layout->imageSize = static_cast<size_t>(width) * height * 3 / 2;
      break;
    default:
      return false;
  }
  return true;
}

void WriteFrameCounter(BYTE* frame, uint32_t counter) {
  const uint32_t complement = ~counter;
  for (int i = 0; i < 4; ++i) {
    frame[i] = static_cast<BYTE>(counter >> (8 * i));
    frame[4 + i] = static_cast<BYTE>(complement >> (8 * i));
  }
}

bool ReadFrameCounter(const BYTE* frame, size_t size, uint32_t* counter) {
  if (frame == nullptr || counter == nullptr || size < kFrameCounterBytes) return false;
  uint32_t value = 0;
  uint32_t complement = 0;
  for (int i = 0; i < 4; ++i) {
    value |= static_cast<uint32_t>(frame[i]) << (8 * i);
    complement |= static_cast<uint32_t>(frame[4 + i]) << (8 * i);
  }
  if (value != ~complement) return false;
  *counter = value;
  return true;
}

void DrawTestFrame(const TestFrameLayout& layout, size_t cameraIndex, uint32_t counter, BYTE* frame) {
  SourceFrame picture;
  picture.fourcc = FourccOf(layout.subtype);
  picture.width = layout.width;
  picture.height = layout.height;
  picture.stride = layout.stride;
  picture.bottomUp = layout.bottomUp;
  picture.data = frame;
  picture.bytes = layout.imageSize;
  DrawCodedPicture(picture, TestCameraFrameCode(cameraIndex, counter));
  WriteFrameCounter(frame, counter);
}
