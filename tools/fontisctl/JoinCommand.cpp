// fontisctl join: registers as a client in an instance's request channel (creating the channel
// as a client may), holds the slot for a while, then gives it back.
#include <cstdio>
#include <cwchar>
#include <string>

#include "Commands.h"
#include "CtlOutput.h"
#include "VideoArguments.h"
#include "common/CMediaType.h"
#include "common/ScopedHandle.h"
#include "common/WideString.h"
#include "ipc/CRgCenterClient.h"
#include "ipc/VideoInfoFormat.h"

// --hold 0 (the default) holds until Ctrl+C, Ctrl+Break or the console closes, then gives the slot
// back; a join that is killed leaves its slot taken, as a crashed client does.
const char kJoinUsage[] =
    "join INSTANCE [--want-video] --size WxH [--subtype RGB24|YUY2|NV12|RGB32] [--hold SECONDS, 0 = until Ctrl+C]";

namespace {

constexpr long long kMaxHoldSeconds = 86400;
constexpr DWORD kCtrlHandlerWaitMs = 5000;

// Set by the console control handler; the main thread then gives the slot back.
HANDLE g_stopEvent = nullptr;
HANDLE g_leftEvent = nullptr;

BOOL WINAPI OnConsoleControl(DWORD) {
  ::SetEvent(g_stopEvent);
  // The process ends when this handler returns from a close event: let the slot go first.
  ::WaitForSingleObject(g_leftEvent, kCtrlHandlerWaitMs);
  return TRUE;
}

}  // namespace

int RunJoinCommand(int argc, wchar_t** argv) {
  if (argc < 1 || argv[0][0] == L'\0' || argv[0][0] == L'-') return UsageError("join needs an instance name", kJoinUsage);
  bool wantsVideo = false, haveSize = false;
  LONG width = 0, height = 0;
  VideoSubtype subtype = VideoSubtype::kRgb24;
  long long holdSeconds = 0;
  for (int i = 1; i < argc; ++i) {
    const bool hasValue = i + 1 < argc;
    if (wcscmp(argv[i], L"--want-video") == 0) {
      wantsVideo = true;
    } else if (wcscmp(argv[i], L"--size") == 0 && hasValue) {
      if (!ParseFrameSize(argv[++i], &width, &height)) {
        return UsageError("--size takes WIDTHxHEIGHT, width 1 to 16384, height -16384 to 16384 and not 0", kJoinUsage);
      }
      haveSize = true;
    } else if (wcscmp(argv[i], L"--subtype") == 0 && hasValue) {
      if (!ParseVideoSubtype(argv[++i], &subtype)) {
        return UsageError("--subtype is RGB24, YUY2, NV12 or RGB32", kJoinUsage);
      }
    } else if (wcscmp(argv[i], L"--hold") == 0 && hasValue) {
      if (!ParseNumber(argv[++i], 0, kMaxHoldSeconds, &holdSeconds)) {
        return UsageError("--hold takes a number of seconds from 0 to 86400", kJoinUsage);
      }
    } else {
      return UsageError("unexpected argument or missing value", kJoinUsage);
    }
  }
  if (!haveSize) return UsageError("--size is required", kJoinUsage);

  CMediaType type;
  HRESULT hr = BuildVideoInfoType(width, height, subtype, &type);
  if (FAILED(hr)) {
    fprintf(stderr, "fontisctl: cannot build the media type: %s\n", DescribeHResult(hr).c_str());
    return kExitFailure;
  }
  CRgCenterClient channel;
  hr = channel.Open(argv[0], CRgCenterClient::OpenMode::kCreateOrOpen);
  if (hr == E_INVALIDARG) return UsageError("instance name too long", kJoinUsage);
  if (FAILED(hr)) {
    fprintf(stderr, "fontisctl: cannot open the request channel: %s\n", DescribeHResult(hr).c_str());
    return kExitFailure;
  }

  ScopedHandle stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ScopedHandle left(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  g_stopEvent = stop.Get();
  g_leftEvent = left.Get();
  ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);

  int slot = -1;
  hr = channel.TakeSlot(::GetCurrentProcessId(), wantsVideo ? TRUE : FALSE, type.Get(), &slot);
  if (FAILED(hr)) {
    fprintf(stderr, "fontisctl: no slot taken: %s%s\n", DescribeHResult(hr).c_str(),
            hr == CRgCenterClient::kErrNoFreeSlot ? " (all eight client slots are in use)" : "");
    ::SetEvent(g_leftEvent);
    return kExitFailure;
  }
  printf("slot %d\n", slot);
  fflush(stdout);

  ::WaitForSingleObject(g_stopEvent, holdSeconds == 0 ? INFINITE : static_cast<DWORD>(holdSeconds * 1000));
  hr = channel.ReleaseSlot(slot);
  ::SetEvent(g_leftEvent);
  if (FAILED(hr)) {
    fprintf(stderr, "fontisctl: could not give slot %d back: %s\n", slot, DescribeHResult(hr).c_str());
    return kExitFailure;
  }
  printf("left slot %d\n", slot);
  return kExitOk;
}
