// fontisctl snapshot: saves the newest frame of an instance's frame ring as a 24-bit BMP file.
#include <cstdio>
#include <vector>

#include "BmpWriter.h"
#include "Commands.h"
#include "CtlOutput.h"
#include "InstanceArgument.h"

const char kSnapshotUsage[] = "snapshot INSTANCE FILE.bmp";

namespace {

constexpr DWORD kFirstFrameWaitMs = 3000;

const char* SubtypeName(LONG subtype) {
  switch (subtype) {
    case kFourccBgr24: return "RGB24";
    case kFourccBgrx32: return "RGB32";
    case kFourccYuy2: return "YUY2";
    case kFourccNv12: return "NV12";
    default: return "unknown";
  }
}

}  // namespace

int RunSnapshotCommand(int argc, wchar_t** argv) {
  if (argc != 2) return UsageError("snapshot needs an instance name and a file name", kSnapshotUsage);
  if (!IsInstanceArgument(argv[0])) return UsageError("bad instance name", kSnapshotUsage);
  if (argv[1][0] == L'\0') return UsageError("empty file name", kSnapshotUsage);

  CFrameRingReader reader;
  const int opened = OpenInstanceFrameRing(argv[0], &reader);
  if (opened != kExitOk) return opened;
  // A ring without a frame yet may get one shortly (a graph that is just starting).
  if (!reader.WaitForFrame(0, kFirstFrameWaitMs)) {
    fprintf(stderr, "fontisctl: instance \"%s\" has published no frame\n", Narrow(argv[0]).c_str());
    return kExitFailure;
  }
  std::vector<BYTE> pixels;
  FrameRingFrame frame = {};
  const HRESULT read = reader.ReadLatest(&pixels, &frame);
  if (read != S_OK) {
    fprintf(stderr, "fontisctl: could not read a whole frame: %s\n", DescribeHResult(read).c_str());
    return kExitFailure;
  }
  const HRESULT saved = SaveFrameAsBmp(argv[1], SourceFrameOf(frame, pixels.data(), pixels.size()));
  if (saved == kErrBadFrameLayout || saved == kErrBufferTooSmall) {
    fprintf(stderr, "fontisctl: frame %lld has a layout this tool cannot convert (%s %ldx%ld stride %ld)\n",
            static_cast<long long>(frame.counter), SubtypeName(frame.subtype), static_cast<long>(frame.width),
            static_cast<long>(frame.height), static_cast<long>(frame.stride));
    return kExitFailure;
  }
  if (FAILED(saved)) {
    fprintf(stderr, "fontisctl: cannot write \"%s\": %s\n", Narrow(argv[1]).c_str(), DescribeHResult(saved).c_str());
    return kExitFailure;
  }
  printf("frame %lld %s %ldx%ld saved to %s\n", static_cast<long long>(frame.counter), SubtypeName(frame.subtype),
         static_cast<long>(frame.width), static_cast<long>(frame.height), Narrow(argv[1]).c_str());
  return kExitOk;
}
