// Create-or-open of named objects, the naming rule and the shared-memory and lock classes.
#include <gtest/gtest.h>

#include <string>

#include "ipc/CExProcLock.h"
#include "ipc/CExProcShareMem.h"
#include "ipc/CShareLockGuard.h"
#include "ipc/NamedObjects.h"
#include "ipc/ObjectNames.h"
#include "ipc/ScopedHandle.h"
#include "support/TestProcess.h"

TEST(NamedObjects, SecondCreateOpensTheSameObjectWithoutOwnership) {
  const std::wstring name = UniqueInstanceName(L"mx");
  ScopedHandle first(CreateOrOpenMutex(TRUE, name.c_str()));
  ASSERT_TRUE(first.IsValid());
  EXPECT_NE(ERROR_ALREADY_EXISTS, ::GetLastError());

  // Another thread asks for ownership of the existing mutex: it gets a handle but not the mutex.
  struct Probe {
    std::wstring name;
    DWORD lastError = 0;
    DWORD wait = 0;
  } probe{name};
  ScopedHandle thread(::CreateThread(
      nullptr, 0,
      [](void* p) -> DWORD {
        auto* probe = static_cast<Probe*>(p);
        ScopedHandle second(CreateOrOpenMutex(TRUE, probe->name.c_str()));
        probe->lastError = ::GetLastError();
        probe->wait = ::WaitForSingleObject(second.Get(), 0);
        return 0;
      },
      &probe, 0, nullptr));
  ::WaitForSingleObject(thread.Get(), INFINITE);
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), probe.lastError);
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), probe.wait);
}

TEST(NamedObjects, EventsAndMappingsReportExistingObjects) {
  const std::wstring name = UniqueInstanceName(L"ev");
  ScopedHandle event(CreateOrOpenEvent(TRUE, FALSE, name.c_str()));
  ASSERT_TRUE(event.IsValid());
  ::SetEvent(event.Get());
  // Creation parameters of an existing object are ignored: still manual-reset and set.
  ScopedHandle again(CreateOrOpenEvent(FALSE, FALSE, name.c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), ::GetLastError());
  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), ::WaitForSingleObject(again.Get(), 0));
  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), ::WaitForSingleObject(again.Get(), 0));

  ScopedHandle unnamed(CreateOrOpenEvent(FALSE, FALSE, nullptr));
  EXPECT_TRUE(unnamed.IsValid());
}

TEST(NamedObjects, CreateFailingForAnotherReasonIsNotFollowedByAnOpen) {
  // A mutex and a mapping cannot share a name: the create fails with ERROR_INVALID_HANDLE, and
  // no open of the mutex by that name may stand in for it.
  const std::wstring name = UniqueInstanceName(L"clash");
  ScopedHandle mutex(CreateOrOpenMutex(FALSE, name.c_str()));
  ASSERT_TRUE(mutex.IsValid());
  ScopedHandle mapping(CreateOrOpenFileMapping(INVALID_HANDLE_VALUE, PAGE_READWRITE, 0, 64, name.c_str()));
  EXPECT_FALSE(mapping.IsValid());
  EXPECT_NE(static_cast<DWORD>(ERROR_ACCESS_DENIED), ::GetLastError());
}

TEST(ObjectNames, ComposesBothFormsAndRefusesNamesThatDoNotFit) {
  WCHAR name[kNameCapacity];
  ASSERT_TRUE(ComposeObjectName(name, L"cam", kSuffixStatusRecord));
  EXPECT_STREQ(L"cam_NVFS_GRAPHERR_INFO", name);
  WCHAR base[kNameCapacity];
  ASSERT_TRUE(ComposeRgCenterBase(base, L"cam"));
  EXPECT_STREQ(L"camLumx_RgCenter", base);
  ASSERT_TRUE(ComposeObjectName(name, base, kSuffixRgCenterRecord));
  EXPECT_STREQ(L"camLumx_RgCenter_smem", name);

  // 235 characters leave room for the longest suffix; 236 do not.
  const std::wstring longest(235, L'a');
  EXPECT_TRUE(ComposeObjectName(name, longest.c_str(), kSuffixConnectEvent));
  EXPECT_EQ(259u, wcslen(name));
  const std::wstring tooLong(236, L'a');
  EXPECT_FALSE(ComposeObjectName(name, tooLong.c_str(), kSuffixConnectEvent));
  EXPECT_STREQ(L"", name);
  EXPECT_FALSE(ComposeObjectName(name, nullptr, kSuffixConnectEvent));
}

TEST(ExProcShareMem, OpensExistingBytesAndClosesOnce) {
  const std::wstring name = UniqueInstanceName(L"mem");
  CExProcShareMem first;
  BOOL existed = TRUE;
  auto* bytes = static_cast<unsigned char*>(first.Create(name.c_str(), 64, &existed));
  ASSERT_NE(nullptr, bytes);
  EXPECT_FALSE(existed);
  EXPECT_EQ(0, bytes[0]);
  bytes[10] = 0x5A;

  CExProcShareMem second;
  auto* again = static_cast<unsigned char*>(second.Create(name.c_str(), 4096, &existed));
  ASSERT_NE(nullptr, again);
  EXPECT_TRUE(existed);
  EXPECT_EQ(0x5A, again[10]);
  EXPECT_EQ(again, second.GetBuffer());

  second.Close();
  EXPECT_EQ(nullptr, second.GetBuffer());
  second.Close();  // nothing left to close
  CExProcShareMem never;
  never.Close();
  EXPECT_EQ(nullptr, never.GetBuffer());
}

TEST(ExProcLock, TimesOutWhileAnotherHolderHasIt) {
  const std::wstring name = UniqueInstanceName(L"lock");
  CExProcLock holder(name.c_str(), 0);
  ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), holder.Lock());

  struct Probe {
    std::wstring name;
    DWORD result = 0;
    ULONGLONG elapsed = 0;
  } probe{name};
  ScopedHandle thread(::CreateThread(
      nullptr, 0,
      [](void* p) -> DWORD {
        auto* probe = static_cast<Probe*>(p);
        CExProcLock waiter(probe->name.c_str(), 300);
        const ULONGLONG start = ::GetTickCount64();
        probe->result = waiter.Lock();
        probe->elapsed = ::GetTickCount64() - start;
        CShareLockGuard guard(&waiter);
        probe->result |= guard.Held() ? 0x10000u : 0u;
        return 0;
      },
      &probe, 0, nullptr));
  ::WaitForSingleObject(thread.Get(), INFINITE);
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), probe.result);
  EXPECT_GE(probe.elapsed, 250u);
  EXPECT_TRUE(holder.Unlock());
}

TEST(ShareLockGuard, ReleasesOnlyWhatItObtained) {
  const std::wstring name = UniqueInstanceName(L"guard");
  CExProcLock lock(name.c_str(), 100);
  {
    CShareLockGuard guard(&lock);
    EXPECT_TRUE(guard.Held());
  }
  // Released at scope end: a fresh wait from this thread owns it exactly once more.
  ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), lock.Lock());
  EXPECT_TRUE(lock.Unlock());
  EXPECT_FALSE(lock.Unlock());

  CShareLockGuard none(nullptr);
  EXPECT_FALSE(none.Held());
}
