// Prints how the whole host serves, started as clients start it:
//   - from `fontisctl launch` to the first frame in the ring (a client wanting video waits),
//   - from a client's camera request to the first frame of the new camera,
//   - from the last client leaving to the hidden host's exit;
// and with --soak [MINUTES] (10 by default), a long run in which 8 client processes join, want
// video, change size, stop wanting and leave at random, checked every second: does the graph run
// exactly when some client wants video? The host's handle count and working set are given at
// the start and the end of the soak.
#include <windows.h>
#include <psapi.h>
#include <winternl.h>

#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "BenchFilters.h"
#include "filters/testcam/TestCameraProfiles.h"
#include "ipc/RgCenterSlots.h"
#include "support/HostRig.h"
#include "support/TestProcess.h"

namespace {

constexpr int kRuns = 20;
constexpr DWORD kWaitMs = 30000;
constexpr int kSoakClients = 8;
constexpr int kDefaultSoakMinutes = 10;
// The monitor loop's cycle: the run state must follow the demand within three of them.
constexpr double kCycleMs = 30.0;
constexpr double kLagLimitMs = 3 * kCycleMs;
constexpr DWORD kSoakWarmUpMs = 5000;

const GUID kNoGuid = GUID_NULL;

void Report(const char* what, const std::vector<double>& ms) {
  if (ms.empty()) {
    printf("%-52s no successful runs\n", what);
    return;
  }
  printf("%-52s runs %3zu  median %8.1f ms  p95 %8.1f ms\n", what, ms.size(), Percentile(ms, 0.5),
         Percentile(ms, 0.95));
}

// Polls every millisecond; false after kWaitMs.
template <class Done>
bool PollUntil(Done done, DWORD timeoutMs = kWaitMs) {
  const double deadline = NowMs() + timeoutMs;
  while (!done()) {
    if (NowMs() > deadline) return false;
    ::Sleep(1);
  }
  return true;
}

// The process id that `fontisctl launch` prints for the host it started.
DWORD LaunchedHostId(const std::string& output) {
  const size_t at = output.find("(process ");
  return at == std::string::npos ? 0 : static_cast<DWORD>(strtoul(output.c_str() + at + 9, nullptr, 10));
}

void LaunchAndLeave(std::vector<double>* launchToFrame, std::vector<double>* leaveToExit) {
  HostRig rig(L"bench_launch");
  const int slot = rig.Join(true, 640, 480);
  if (!rig.IsOpen() || slot < 0) return;
  TestProcess ctl;
  const double start = NowMs();
  if (!ctl.Start(L"fontisctl.exe",
                 L"launch " + rig.Instance() + L" \"Fontis Test Camera\" " + GuidString(kNoGuid) + L" FALSE", true)) {
    return;
  }
  CFrameRingReader ring;
  bool ringOpen = false;
  const bool framed = PollUntil([&] {
    if (!ringOpen) ringOpen = SUCCEEDED(ring.Open(rig.Instance().c_str()));
    return ringOpen && ring.LatestCounter() >= 1;
  });
  if (framed) launchToFrame->push_back(NowMs() - start);
  ctl.Wait(kWaitMs);
  ScopedHandle host(::OpenProcess(SYNCHRONIZE, FALSE, LaunchedHostId(ctl.Output())));
  if (!framed || !host.IsValid()) return;

  const double left = NowMs();
  rig.Leave(slot);
  if (::WaitForSingleObject(host.Get(), kWaitMs) == WAIT_OBJECT_0) leaveToExit->push_back(NowMs() - left);
}

// Alternates between the first two test cameras; the frame code of the pictures tells which camera
// drew a frame.
void Switches(std::vector<double>* switchToFrame) {
  HostRig rig(L"bench_switch");
  const int slot = rig.StartServing();
  if (slot < 0 || !rig.WaitCamera(kTestCamStandard)) {
    printf("switch: the host did not start\n");
    return;
  }
  struct Target {
    const wchar_t* camera;
    size_t index;
  };
  const Target targets[2] = {{L"Fontis Second Camera", kTestCamSecond}, {L"Fontis Test Camera", kTestCamStandard}};
  for (int i = 0; i < kRuns; ++i) {
    const Target& target = targets[i % 2];
    const double start = NowMs();
    if (FAILED(rig.Status().RequestDevice(target.camera, kNoGuid))) continue;
    size_t index = 0;
    if (PollUntil([&] { return rig.LatestCamera(&index) && index == target.index; })) {
      switchToFrame->push_back(NowMs() - start);
    }
  }
  rig.Leave(slot);
  rig.WaitExit();
}

struct HostFigures {
  DWORD handles = 0;
  SIZE_T workingSet = 0;
};

// The handle count from the system's process list: GetProcessHandleCount of another process
// reads 0 under Wine.
DWORD HandleCountFromProcessList(DWORD processId) {
  std::vector<BYTE> buffer(1 << 20);
  ULONG needed = 0;
  NTSTATUS status;
  while ((status = ::NtQuerySystemInformation(SystemProcessInformation, buffer.data(),
                                              static_cast<ULONG>(buffer.size()), &needed)) ==
         static_cast<NTSTATUS>(0xC0000004L)) {  // STATUS_INFO_LENGTH_MISMATCH
    buffer.resize(buffer.size() * 2);
  }
  if (status < 0) return 0;
  for (size_t offset = 0;;) {
    const auto* entry = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(buffer.data() + offset);
    if (reinterpret_cast<ULONG_PTR>(entry->UniqueProcessId) == processId) return entry->HandleCount;
    if (entry->NextEntryOffset == 0) return 0;
    offset += entry->NextEntryOffset;
  }
}

HostFigures Measure(HANDLE process) {
  HostFigures figures;
  if (!::GetProcessHandleCount(process, &figures.handles) || figures.handles == 0) {
    figures.handles = HandleCountFromProcessList(::GetProcessId(process));
  }
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof(memory);
  if (::GetProcessMemoryInfo(process, &memory, sizeof(memory))) figures.workingSet = memory.WorkingSetSize;
  return figures;
}

// Demand as the host reads it: a client slot in use that wants video.
bool SomeClientWantsVideo(HostRig& rig) {
  const RgCenterBlock channel = rig.Channel();
  return AnySlotWantsVideo(channel.clientSlots, kClientOwnedSlotCount);
}

bool GraphRuns(const HostRig& rig) {
  const GraphErrInfo record = rig.Record();
  return rig.IsRunEventSet() && record.state == kOpRunGraph && record.result >= 0;
}

int Soak(int minutes) {
  HostRig rig(L"bench_soak");
  // A client that never wants video keeps the hidden host while the random ones come and go.
  const int anchor = rig.Join(false, 640, 480);
  if (!rig.IsOpen() || anchor < 0 || !rig.Start(L"Fontis Test Camera", kNoGuid, false) || !rig.WaitRunning(false)) {
    printf("soak: the host did not start\n");
    return 1;
  }
  const DWORD seconds = static_cast<DWORD>(minutes) * 60;
  std::vector<std::unique_ptr<TestProcess>> clients;
  for (int i = 0; i < kSoakClients; ++i) {
    clients.push_back(std::make_unique<TestProcess>());
    clients.back()->Start(L"fontis_peer.exe", L"random-client " + rig.Instance() + L" " + std::to_wstring(1000 + i) +
                                                  L" " + std::to_wstring(seconds));
  }
  ::Sleep(kSoakWarmUpMs);
  const HostFigures atStart = Measure(rig.Process().Handle());

  long checks = 0, wanted = 0, matched = 0, withinLimit = 0, later = 0;
  double worstLagMs = 0;
  const double end = NowMs() + seconds * 1000.0 - kSoakWarmUpMs;
  while (NowMs() < end && rig.WaitExit(0) == STILL_ACTIVE) {
    const double tick = NowMs();
    ++checks;
    const bool demand = SomeClientWantsVideo(rig);
    if (demand) ++wanted;
    if (demand == GraphRuns(rig)) {
      ++matched;
    } else {
      // The demand may move again meanwhile: what counts is how long until the two agree.
      PollUntil([&] { return SomeClientWantsVideo(rig) == GraphRuns(rig); }, 10000);
      const double lag = NowMs() - tick;
      if (lag <= kLagLimitMs) {
        ++withinLimit;
      } else {
        ++later;
      }
      if (lag > worstLagMs) worstLagMs = lag;
    }
    const double next = tick + 1000.0;
    if (NowMs() < next) ::Sleep(static_cast<DWORD>(next - NowMs()));
  }
  const bool alive = rig.WaitExit(0) == STILL_ACTIVE;
  const HostFigures atEnd = alive ? Measure(rig.Process().Handle()) : HostFigures();
  for (auto& client : clients) client->Wait(kWaitMs);

  printf("soak: %d minutes, %d clients at random, one more never wanting video\n", minutes, kSoakClients);
  printf("  checks %ld (some client wanted video at %ld): run state matched the demand %ld, caught up within 3 "
         "cycles (%.0f ms) %ld, later %ld (worst %.0f ms)\n",
         checks, wanted, matched, kLagLimitMs, withinLimit, later, worstLagMs);
  printf("  host alive at the end: %s\n", alive ? "yes" : "no");
  printf("  host handles: %lu at the start, %lu at the end\n", static_cast<unsigned long>(atStart.handles),
         static_cast<unsigned long>(atEnd.handles));
  printf("  host working set: %.1f MB at the start, %.1f MB at the end\n", atStart.workingSet / 1048576.0,
         atEnd.workingSet / 1048576.0);
  rig.Leave(anchor);
  printf("  host ended after the last client: %s\n", rig.WaitExit() == 0 ? "yes, exit code 0" : "no");
  return alive ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int soakMinutes = 0;
  if (argc >= 2 && wcscmp(argv[1], L"--soak") == 0) {
    soakMinutes = argc >= 3 ? _wtoi(argv[2]) : kDefaultSoakMinutes;
    if (soakMinutes <= 0) soakMinutes = kDefaultSoakMinutes;
  }
  if (FAILED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 1;
  int exitCode = 0;
  {
    BenchFilters filters;
    if (!filters.Register("bench_host")) return 1;
    if (soakMinutes > 0) {
      exitCode = Soak(soakMinutes);
    } else {
      std::vector<double> launchToFrame, leaveToExit, switchToFrame;
      for (int i = 0; i < kRuns; ++i) LaunchAndLeave(&launchToFrame, &leaveToExit);
      Switches(&switchToFrame);
      Report("fontisctl launch to the first frame in the ring", launchToFrame);
      Report("camera request to the first frame of the new camera", switchToFrame);
      Report("last client leaving to the hidden host's exit", leaveToExit);
    }
  }
  ::CoUninitialize();
  return exitCode;
}
