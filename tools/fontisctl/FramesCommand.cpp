// fontisctl frames: watches an instance's frame ring for a while and prints how many frames
// arrived, how many the reader missed and the interval between arrivals.
#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <vector>

#include "Commands.h"
#include "CtlOutput.h"
#include "InstanceArgument.h"

const char kFramesUsage[] = "frames INSTANCE --seconds N";

namespace {

double Percentile(std::vector<LONG64> values, double fraction) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  size_t index = static_cast<size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
  if (index >= values.size()) index = values.size() - 1;
  return static_cast<double>(values[index]) / 10000.0;  // 100 ns units to ms
}

}  // namespace

int RunFramesCommand(int argc, wchar_t** argv) {
  long long seconds = 0;
  if (argc != 3 || wcscmp(argv[1], L"--seconds") != 0) {
    return UsageError("frames needs an instance name and --seconds N", kFramesUsage);
  }
  if (!IsInstanceArgument(argv[0])) return UsageError("bad instance name", kFramesUsage);
  if (!ParseNumber(argv[2], 1, 3600, &seconds)) {
    return UsageError("--seconds takes a number of seconds from 1 to 3600", kFramesUsage);
  }

  CFrameRingReader reader;
  const int opened = OpenInstanceFrameRing(argv[0], &reader);
  if (opened != kExitOk) return opened;

  const ULONGLONG end = ::GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;
  LONG64 last = reader.LatestCounter();
  const LONG64 droppedAtStart = reader.Dropped();
  LONG64 received = 0, missed = 0, lastArrival = 0;
  std::vector<LONG64> intervals;
  for (ULONGLONG now = ::GetTickCount64(); now < end; now = ::GetTickCount64()) {
    if (!reader.WaitForFrame(last, static_cast<DWORD>(end - now))) break;
    FrameRingFrame frame = {};
    if (!reader.PeekLatest(&frame) || frame.counter <= last) {
      last = reader.LatestCounter();  // the writer restarted with empty slots
      continue;
    }
    ++received;
    missed += frame.counter - last - 1;
    // An interval only between frames that followed each other, so a miss does not stretch it.
    if (lastArrival != 0 && frame.counter == last + 1) intervals.push_back(frame.arrival - lastArrival);
    lastArrival = frame.arrival;
    last = frame.counter;
  }
  printf("instance          %s\n", Narrow(argv[0]).c_str());
  printf("seconds           %lld\n", seconds);
  printf("frames received   %lld\n", static_cast<long long>(received));
  printf("frames missed     %lld\n", static_cast<long long>(missed));
  printf("frames dropped    %lld (by the renderer)\n", static_cast<long long>(reader.Dropped() - droppedAtStart));
  if (intervals.empty()) {
    printf("interval          n/a\n");
  } else {
    printf("interval median   %.2f ms\n", Percentile(intervals, 0.5));
    printf("interval p99      %.2f ms\n", Percentile(intervals, 0.99));
  }
  return kExitOk;
}
