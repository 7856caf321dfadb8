// Prints how quickly the graph-control object follows its clients: from a client of another
// process asking for video to the graph running (the status record's run event set) and to the
// first frame in the ring; the CPU that an idle object takes (graph built and stopped, one client
// not wanting video); and from a client's larger request to the first frame of the new size, with
// a window that calls ChangeFormat on WM_HOST_FORMAT_CHANGED as the host's window does.
#include <windows.h>
#include <tlhelp32.h>
#include <uuids.h>
#include <wrl/client.h>

#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "BenchFilters.h"
#include "capture/DeviceEnumeration.h"
#include "common/ScopedHandle.h"
#include "filters/testcam/TestCameraProfiles.h"
#include "framering/CFrameRingReader.h"
#include "graphctl/CFontisGraphMng.h"
#include "graphctl/HostMessages.h"
#include "ipc/ObjectNames.h"
#include "support/TestClients.h"
#include "support/TestProcess.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr int kRuns = 40;
constexpr DWORD kWaitMs = 10000;
constexpr DWORD kIdleMs = 10000;
constexpr WCHAR kWindowClass[] = L"FontisBenchGraphMng";

CFontisGraphMng* g_graph = nullptr;

// The host window's reaction to a format change.
LRESULT CALLBACK HostWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_HOST_FORMAT_CHANGED && g_graph != nullptr) {
    g_graph->ChangeFormat();
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

// Pumps this thread's messages until done() holds; false after kWaitMs.
template <class Done>
bool PumpUntil(Done done) {
  const double deadline = NowMs() + kWaitMs;
  while (!done()) {
    if (NowMs() > deadline) return false;
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
    ::Sleep(1);
  }
  return true;
}

LONG LatestWidth(CFrameRingReader& reader) {
  FrameRingFrame frame = {};
  return reader.PeekLatest(&frame) ? frame.width : 0;
}

double FileTimeMs(const FILETIME& time) {
  return static_cast<double>((static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime) / 10000.0;
}

double ProcessCpuMs() {
  FILETIME created, exited, kernel, user;
  if (!::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user)) return -1;
  return FileTimeMs(kernel) + FileTimeMs(user);
}

double ThreadCpuMs(HANDLE thread) {
  FILETIME created, exited, kernel, user;
  if (!::GetThreadTimes(thread, &created, &exited, &kernel, &user)) return -1;
  return FileTimeMs(kernel) + FileTimeMs(user);
}

std::set<DWORD> ThreadIds() {
  std::set<DWORD> ids;
  ScopedHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Thread32First(snapshot.Get(), &entry); more; more = ::Thread32Next(snapshot.Get(), &entry)) {
    if (entry.th32OwnerProcessID == ::GetCurrentProcessId()) ids.insert(entry.th32ThreadID);
  }
  return ids;
}

// The kernel calls one idle monitor cycle makes (four waits for and releases of a named mutex,
// two polls of an event, the sleep), repeated by a thread of its own for kIdleMs: what the
// platform charges for them, apart from the object's own work.
struct BareCycle {
  HANDLE mutex;
  HANDLE event;
  double cpuMs;  // read by the thread itself before it ends: an ended thread's times may read 0
  static DWORD WINAPI Run(void* self) {
    BareCycle* cycle = static_cast<BareCycle*>(self);
    const double start = ThreadCpuMs(::GetCurrentThread());
    const double end = NowMs() + kIdleMs;
    while (NowMs() < end) {
      for (int i = 0; i < 4; ++i) {
        if (::WaitForSingleObject(cycle->mutex, 3000) == WAIT_OBJECT_0) ::ReleaseMutex(cycle->mutex);
      }
      for (int i = 0; i < 2; ++i) ::WaitForSingleObject(cycle->event, 0);
      ::Sleep(CFontisGraphMng::kMonitorCycleMs);
    }
    cycle->cpuMs = ThreadCpuMs(::GetCurrentThread()) - start;
    return 0;
  }
};

double BareCycleCpuMs() {
  ScopedHandle mutex(::CreateMutexW(nullptr, FALSE, UniqueInstanceName(L"benchmutex").c_str()));
  ScopedHandle event(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  BareCycle cycle = {mutex.Get(), event.Get(), -1};
  ScopedHandle thread(::CreateThread(nullptr, 0, BareCycle::Run, &cycle, 0, nullptr));
  if (!thread.IsValid()) return -1;
  ::WaitForSingleObject(thread.Get(), INFINITE);
  return cycle.cpuMs;
}

void Report(const char* what, const std::vector<double>& samples) {
  printf("%-44s runs %3zu  median %8.2f ms  p95 %8.2f ms\n", what, samples.size(), Percentile(samples, 0.5),
         Percentile(samples, 0.95));
}

}  // namespace

int wmain() {
  if (FAILED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 1;
  int exitCode = 0;
  {
    BenchFilters filters;
    if (!filters.Register("bench_graphmng")) return 1;
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = HostWindowProcedure;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kWindowClass;
    ::RegisterClassExW(&windowClass);
    HWND window = ::CreateWindowExW(0, kWindowClass, L"bench", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    ::GetModuleHandleW(nullptr), nullptr);

    const std::wstring instance = UniqueInstanceName(L"benchmng");
    const std::set<DWORD> threadsBefore = ThreadIds();
    std::unique_ptr<CFontisGraphMng> graph(CFontisGraphMng::CreateInstance(instance.c_str(), FALSE));
    // The object's own two threads (monitor loop, graph owner), in creation order unknown.
    std::vector<ScopedHandle> objectThreads;
    for (DWORD id : ThreadIds()) {
      if (threadsBefore.count(id) == 0) objectThreads.emplace_back(::OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, id));
    }
    TestClients clients;
    WCHAR runEventName[kNameCapacity];
    ComposeObjectName(runEventName, instance.c_str(), kSuffixRunEvent);
    ScopedHandle runEvent(::OpenEventW(SYNCHRONIZE, FALSE, runEventName));
    ComPtr<IBaseFilter> camera;
    CreateFilterInstance(kTestCameraProfiles[kTestCamStandard].clsid, &camera);
    if (!graph || window == nullptr || FAILED(clients.Open(instance)) || !runEvent.IsValid() || !camera) {
      fprintf(stderr, "bench_graphmng: no object, window, channel or camera\n");
      return 1;
    }
    g_graph = graph.get();

    // The shell's start: the camera, the clients' format, the graph built, not running.
    const int client = clients.Add(kOtherProcessId, FALSE, 640, 480);
    CMediaType requested;
    CFrameRingReader reader;
    if (client < 0 || FAILED(graph->SetCaptureFilter(camera.Get(), FALSE, FALSE, window, FALSE)) ||
        FAILED(graph->GetRequestedFormat(&requested)) || FAILED(graph->SetCaptureFormat(&requested)) ||
        FAILED(graph->BuildGraph(FALSE, 0)) || FAILED(reader.Open(instance.c_str()))) {
      fprintf(stderr, "bench_graphmng: the graph cannot be built\n");
      return 1;
    }
    printf("runs: %d, monitor cycle %lu ms\n", kRuns, static_cast<unsigned long>(CFontisGraphMng::kMonitorCycleMs));

    // (a) wantsVideo to running, and to the first frame.
    std::vector<double> toRunning, toFrame;
    for (int run = 0; run < kRuns; ++run) {
      // Asks at a different moment of the monitor's cycle each time: right after the stop below
      // it would always be at the start of the loop's sleep.
      ::Sleep(static_cast<DWORD>(run * 7) % (CFontisGraphMng::kMonitorCycleMs + 1));
      const LONG64 before = reader.LatestCounter();
      const double start = NowMs();
      clients.SetWantsVideo(client, TRUE);
      if (::WaitForSingleObject(runEvent.Get(), kWaitMs) == WAIT_OBJECT_0) toRunning.push_back(NowMs() - start);
      if (reader.WaitForFrame(before, kWaitMs)) toFrame.push_back(NowMs() - start);
      clients.SetWantsVideo(client, FALSE);
      PumpUntil([&] { return !graph->IsGraphRunning() && ::WaitForSingleObject(runEvent.Get(), 0) == WAIT_TIMEOUT; });
    }
    Report("wantsVideo -> running, run event set", toRunning);
    Report("wantsVideo -> first frame in the ring", toFrame);

    // (b) idle: built and stopped, one client that does not want video.
    const double cpuBefore = ProcessCpuMs();
    double threadsCpuBefore = 0;
    for (const ScopedHandle& thread : objectThreads) threadsCpuBefore += ThreadCpuMs(thread.Get());
    const double idleStart = NowMs();
    ::Sleep(kIdleMs);
    const double cpu = ProcessCpuMs() - cpuBefore;
    double threadsCpu = -threadsCpuBefore;
    for (const ScopedHandle& thread : objectThreads) threadsCpu += ThreadCpuMs(thread.Get());
    const double wall = NowMs() - idleStart;
    printf("%-44s %.1f ms CPU in %.0f ms: %.3f%% of one core\n", "idle object, whole process", cpu, wall,
           100.0 * cpu / wall);
    printf("%-44s %.1f ms CPU in %.0f ms: %.3f%% of one core\n", "  of which its monitor and graph threads",
           threadsCpu, wall, 100.0 * threadsCpu / wall);
    const double bare = BareCycleCpuMs();
    printf("%-44s %.1f ms CPU in %lu ms: %.3f%% of one core\n", "  the same cycle's bare waits and sleeps", bare,
           static_cast<unsigned long>(kIdleMs), 100.0 * bare / kIdleMs);

    // (c) a larger request to the first frame of its size, and back.
    clients.SetWantsVideo(client, TRUE);
    PumpUntil([&] { return LatestWidth(reader) == 640 && graph->IsGraphRunning(); });
    std::vector<double> larger, smaller;
    for (int run = 0; run < kRuns; ++run) {
      ::Sleep(static_cast<DWORD>(run * 7) % (CFontisGraphMng::kMonitorCycleMs + 1));
      double start = NowMs();
      const int big = clients.Add(kOtherProcessId, TRUE, 1280, 720);
      if (PumpUntil([&] { return LatestWidth(reader) == 1280; })) larger.push_back(NowMs() - start);
      start = NowMs();
      clients.Remove(big);
      if (PumpUntil([&] { return LatestWidth(reader) == 640; })) smaller.push_back(NowMs() - start);
    }
    Report("larger request -> first frame of its size", larger);
    Report("request gone -> first frame of the old size", smaller);
    if (toRunning.size() != kRuns || toFrame.size() != kRuns || larger.size() != kRuns) exitCode = 1;

    g_graph = nullptr;
    graph.reset();
    camera.Reset();
    ::DestroyWindow(window);
  }
  ::CoUninitialize();
  return exitCode;
}
