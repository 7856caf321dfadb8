// The fault guard: a processor fault inside ends only the guarded call, on the faulting thread,
// in the innermost guard; other exceptions pass through; the guard works again afterwards.
#include <gtest/gtest.h>

#include <windows.h>

#include "common/FaultGuard.h"
#include "common/ScopedHandle.h"

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

BOOL DivideBy(void* divisor) {
  volatile LONG value = *static_cast<LONG*>(divisor);
  return 100 / value;
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

struct ThreadCase {
  void* address;
  HANDLE bothEntered;  // both threads fault while both guards are active
  LONG* entered;
  BOOL result;
  DWORD code;
};

BOOL EnterThenFault(void* context) {
  auto* c = static_cast<ThreadCase*>(context);
  if (::InterlockedIncrement(c->entered) == 2) ::SetEvent(c->bothEntered);
  ::WaitForSingleObject(c->bothEntered, 10000);
  return WriteTo(c->address);
}

DWORD WINAPI GuardedThread(void* context) {
  auto* c = static_cast<ThreadCase*>(context);
  c->result = RunGuarded(EnterThenFault, c, 5, &c->code);
  return 0;
}

}  // namespace

TEST(FaultGuard, FaultsEndOnlyTheGuardedCallAndTheGuardWorksAgain) {
  NoAccessPage page;
  DWORD code = 1;
  EXPECT_EQ(99, RunGuarded(WriteTo, page.Get(), 99, &code));
  EXPECT_EQ(static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION), code);
  EXPECT_EQ(98, RunGuarded(WriteTo, page.Get(), 98, &code));  // the handler was removed and added again

  LONG zero = 0;
  EXPECT_EQ(5, RunGuarded(DivideBy, &zero, 5, &code));
  EXPECT_EQ(static_cast<DWORD>(EXCEPTION_INT_DIVIDE_BY_ZERO), code);

  LONG four = 4;
  EXPECT_EQ(25, RunGuarded(DivideBy, &four, 5, &code));
  EXPECT_EQ(0u, code);
}

TEST(FaultGuard, ExceptionsThatAreNotFaultsPassThrough) {
  DWORD code = 1;
  EXPECT_EQ(7, RunGuarded(WriteDebugOutput, nullptr, 0, &code));
  EXPECT_EQ(0u, code);
  EXPECT_FALSE(IsGuardedFault(0x40010006));  // debugger output
  EXPECT_FALSE(IsGuardedFault(0xE06D7363));  // a C++ throw
  EXPECT_FALSE(IsGuardedFault(0x80000003));  // a breakpoint is a warning
  EXPECT_TRUE(IsGuardedFault(EXCEPTION_STACK_OVERFLOW));
}

TEST(FaultGuard, TheInnermostGuardOfTheFaultingThreadTakesTheFault) {
  NoAccessPage page;
  DWORD code = 1;
  EXPECT_EQ(42, RunGuarded(FaultInInnerGuard, page.Get(), 0, &code));
  EXPECT_EQ(0u, code);

  // Two threads fault at once, each inside its own guard: each guard reports its own fault.
  ScopedHandle bothEntered(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  LONG entered = 0;
  ThreadCase first = {page.Get(), bothEntered.Get(), &entered, 0, 0};
  ThreadCase second = first;
  ScopedHandle a(::CreateThread(nullptr, 0, GuardedThread, &first, 0, nullptr));
  ScopedHandle b(::CreateThread(nullptr, 0, GuardedThread, &second, 0, nullptr));
  ASSERT_TRUE(a.IsValid() && b.IsValid());
  HANDLE threads[2] = {a.Get(), b.Get()};
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForMultipleObjects(2, threads, TRUE, 30000));
  EXPECT_EQ(5, first.result);
  EXPECT_EQ(5, second.result);
  EXPECT_EQ(static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION), first.code);
  EXPECT_EQ(static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION), second.code);
}
