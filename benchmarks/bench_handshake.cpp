// Prints how fast the liveness handshake decides: a second host learning that a healthy host
// serves, and a waiting successor owning the flag after the serving host is killed.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "ipc/CGraphErrInfo.h"
#include "ipc/LiveInstance.h"
#include "ipc/NamedObjects.h"
#include "ipc/ObjectNames.h"
#include "support/TestProcess.h"

#include "BenchClock.h"

namespace {

constexpr int kRuns = 50;

void Report(const char* what, std::vector<double> ms) {
  if (ms.empty()) {
    printf("%-58s no successful runs\n", what);
    return;
  }
  const double median = Percentile(ms, 0.5);
  const double p95 = Percentile(ms, 0.95);
  printf("%-58s runs %3zu  median %8.2f ms  p95 %8.2f ms\n", what, ms.size(), median, p95);
}

struct Successor {
  std::wstring instance;
  double servedAt = 0;
  BOOL result = FALSE;
};

DWORD WINAPI RunSuccessor(void* p) {
  auto* successor = static_cast<Successor*>(p);
  CGraphErrInfo status;
  status.Open(successor->instance.c_str());
  ScopedHandle lock, flag, waitEvent;
  successor->result = AcquireLiveInstance(successor->instance.c_str(), status, lock, flag, waitEvent);
  successor->servedAt = NowMs();
  return 0;
}

bool WaitEventSet(const std::wstring& instance, DWORD timeoutMs) {
  WCHAR name[kNameCapacity];
  ComposeObjectName(name, instance.c_str(), kSuffixLiveWaitEvent);
  const ULONGLONG end = ::GetTickCount64() + timeoutMs;
  while (::GetTickCount64() < end) {
    ScopedHandle event(::OpenEventW(SYNCHRONIZE, FALSE, name));
    if (event.IsValid() && ::WaitForSingleObject(event.Get(), 0) == WAIT_OBJECT_0) return true;
    ::Sleep(1);
  }
  return false;
}

}  // namespace

int wmain() {
  std::vector<double> healthy, takeover;
  for (int i = 0; i < kRuns; ++i) {
    const std::wstring instance = UniqueInstanceName(L"bench_healthy");
    TestProcess first;
    if (!StartPeer(first, instance, L"serve " + instance + L" healthy")) continue;
    CGraphErrInfo status;
    status.Open(instance.c_str());
    ScopedHandle lock, flag, waitEvent;
    const double start = NowMs();
    const BOOL serves = AcquireLiveInstance(instance.c_str(), status, lock, flag, waitEvent);
    const double elapsed = NowMs() - start;
    if (!serves) healthy.push_back(elapsed);
    StopPeer(instance);
    first.Wait(10000);
  }
  Report("second host learns that a healthy host serves", healthy);

  for (int i = 0; i < kRuns; ++i) {
    const std::wstring instance = UniqueInstanceName(L"bench_takeover");
    TestProcess first;
    if (!StartPeer(first, instance, L"serve " + instance + L" unhealthy")) continue;
    Successor successor{instance};
    ScopedHandle thread(::CreateThread(nullptr, 0, RunSuccessor, &successor, 0, nullptr));
    if (!WaitEventSet(instance, 5000)) {
      first.Kill();
      ::WaitForSingleObject(thread.Get(), INFINITE);
      continue;
    }
    ::Sleep(i % 7 * 30);  // kill at different moments of the successor's 200 ms pass
    const double killedAt = NowMs();
    ::TerminateProcess(first.Handle(), 99);
    ::WaitForSingleObject(thread.Get(), INFINITE);
    if (successor.result) takeover.push_back(successor.servedAt - killedAt);
  }
  Report("killed host to its successor owning the flag", takeover);
  return 0;
}
