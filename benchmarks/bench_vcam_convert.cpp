// bench_vcam_convert: what the virtual camera's frame conversion costs per frame. From the
// host's 1920x1080 NV12 and RGB24 frames to every offered target layout and size, the median
// time of one conversion and its ratio to a plain memcpy of the target frame's bytes, interleaved
// in the same run. RGB targets are bottom-up, as a positive biHeight asks.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "BenchClock.h"
#include "filters/vcam/CFrameConverter.h"
#include "support/CodedPicture.h"

namespace {

constexpr int kRounds = 60;
constexpr LONG kSourceWidth = 1920;
constexpr LONG kSourceHeight = 1080;

struct Named {
  LONG fourcc;
  const char* name;
};

const Named kLayouts[] = {
    {kFourccBgr24, "RGB24"}, {kFourccBgrx32, "RGB32"}, {kFourccYuy2, "YUY2"}, {kFourccNv12, "NV12"}};

struct Size {
  LONG width;
  LONG height;
};

const Size kSizes[] = {{640, 480}, {1280, 720}, {1920, 1080}, {320, 240}};

// The source picture, in a buffer of exactly its size.
SourceFrame MakeSource(LONG fourcc, std::vector<BYTE>* pixels) {
  SourceFrame frame;
  frame.fourcc = fourcc;
  frame.width = kSourceWidth;
  frame.height = kSourceHeight;
  frame.stride = fourcc == kFourccNv12 ? kSourceWidth : kSourceWidth * 3;
  frame.bottomUp = fourcc == kFourccBgr24;
  pixels->assign(static_cast<size_t>(frame.stride) * kSourceHeight * (fourcc == kFourccNv12 ? 3 : 2) / 2, 0);
  frame.data = pixels->data();
  frame.bytes = pixels->size();
  DrawCodedPicture(frame, 0x2A2A);
  return frame;
}

}  // namespace

int wmain() {
  printf("one conversion from a %ldx%ld source, median of %d; ratio = conversion / memcpy of the target bytes\n",
         kSourceWidth, kSourceHeight, kRounds);
  printf("%-6s %-6s %-10s %10s %12s %11s %8s\n", "from", "to", "size", "MB", "convert us", "memcpy us", "ratio");
  CFrameConverter converter;
  for (const Named& from : {kLayouts[3], kLayouts[0]}) {
    std::vector<BYTE> pixels;
    const SourceFrame source = MakeSource(from.fourcc, &pixels);
    for (const Named& to : kLayouts) {
      for (const Size& size : kSizes) {
        TargetFormat target;
        target.fourcc = to.fourcc;
        target.width = size.width;
        target.height = size.height;
        FrameLayout layout;
        if (FAILED(DescribeTargetFormat(target, &layout))) return 1;
        std::vector<BYTE> out(static_cast<size_t>(layout.imageBytes)), copyFrom(out.size(), 0x80), copyTo(out.size());
        std::vector<double> convertUs, copyUs;
        for (int round = -3; round < kRounds; ++round) {  // the first rounds warm caches and scratch
          const double start = NowMs();
          if (FAILED(converter.Convert(source, target, out.data(), out.size()))) {
            fprintf(stderr, "bench_vcam_convert: %s to %s failed\n", from.name, to.name);
            return 1;
          }
          const double converted = NowMs();
          memcpy(copyTo.data(), copyFrom.data(), copyTo.size());
          const double copied = NowMs();
          if (round >= 0) {
            convertUs.push_back((converted - start) * 1000.0);
            copyUs.push_back((copied - converted) * 1000.0);
          }
        }
        const double convertMedian = Percentile(convertUs, 0.5), copyMedian = Percentile(copyUs, 0.5);
        char sizeText[16];
        snprintf(sizeText, sizeof(sizeText), "%ldx%ld", size.width, size.height);
        printf("%-6s %-6s %-10s %10.2f %12.0f %11.0f %7.1fx\n", from.name, to.name, sizeText,
               static_cast<double>(out.size()) / 1e6, convertMedian, copyMedian,
               copyMedian > 0 ? convertMedian / copyMedian : 0.0);
      }
    }
  }
  return 0;
}
