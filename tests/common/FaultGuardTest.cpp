// The fault guard: a processor fault inside ends only the guarded call, on the faulting thread,
// in the innermost guard; other exceptions pass through; the guard works again afterwards.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <thread>

#include "common/FaultGuard.h"

namespace {

// A committed page that faults on every access: a real access violation, not undefined behaviour
// the compiler could turn into something else.
class NoAccessPage {
 public:
  NoAccessPage() : m_page(::VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_NOACCESS)) {}
  ~NoAccessPage() { ::VirtualFree(m_page, 0, MEM_RELEASE); }
  void* Get() const { return m_page; }

 private:
  void* m_page;
};

BOOL WriteTo(void* address) {
  *static_cast<volatile LONG*>(address) = 1;
  return 7;
}

BOOL WriteDebugOutput(void*) {
  ::OutputDebugStringW(L"debugger output raises an exception that is not a fault\n");
  return 7;
}

// Faults in an inner guard, then returns normally from the outer one.
BOOL FaultInInnerGuard(void* address) {
  DWORD code = 0;
  const BOOL inner = RunGuarded(WriteTo, address, 3, &code);
  return inner == 3 && code == EXCEPTION_ACCESS_VIOLATION ? 42 : 0;
}

// Faults once both threads are inside their guards.
std::atomic<int> g_inside{0};
BOOL EnterThenFault(void* address) {
  ++g_inside;
  while (g_inside.load() < 2) ::Sleep(1);
  return WriteTo(address);
}

}  // namespace

TEST(FaultGuard, OnlyFaultsAreTakenByTheInnermostGuardOfTheFaultingThreadAndTheGuardWorksAgain) {
  NoAccessPage page;
  DWORD code = 1;
  EXPECT_EQ(7, RunGuarded(WriteDebugOutput, nullptr, 0, &code));
  EXPECT_EQ(0u, code);
  for (const DWORD exception : {0x40010006u, 0xE06D7363u, 0x80000003u}) {  // debugger output, C++ throw, breakpoint
    EXPECT_FALSE(IsGuardedFault(exception)) << std::hex << exception;
  }
  EXPECT_TRUE(IsGuardedFault(EXCEPTION_INT_DIVIDE_BY_ZERO));
  EXPECT_EQ(42, RunGuarded(FaultInInnerGuard, page.Get(), 0, &code));
  EXPECT_EQ(0u, code);
  EXPECT_EQ(98, RunGuarded(WriteTo, page.Get(), 98, &code));  // the handler was removed and added again
  EXPECT_EQ(static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION), code);

  // Two threads fault at once, each inside its own guard: each guard reports its own fault.
  BOOL results[2] = {};
  DWORD codes[2] = {};
  std::thread threads[2];
  for (int i = 0; i < 2; ++i) {
    threads[i] = std::thread([&, i] { results[i] = RunGuarded(EnterThenFault, page.Get(), 5, &codes[i]); });
  }
  for (std::thread& thread : threads) thread.join();
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(5, results[i]);
    EXPECT_EQ(static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION), codes[i]);
  }
}
