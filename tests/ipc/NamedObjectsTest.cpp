// Create-or-open of named objects and the naming rule. (The shared-memory and lock classes are
// exercised through CRgCenter in RgCenterTest.cpp, against real processes.)
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "ipc/NamedObjects.h"
#include "ipc/ObjectNames.h"
#include "ipc/ScopedHandle.h"
#include "support/TestProcess.h"

TEST(NamedObjects, CreateOrOpenReportsExistingObjectsAndNeverOpensAnotherKind) {
  // Asking for ownership of an existing mutex gives a handle, not the mutex.
  const std::wstring name = UniqueInstanceName(L"mx");
  ScopedHandle first(CreateOrOpenMutex(TRUE, name.c_str()));
  ASSERT_TRUE(first.IsValid());
  EXPECT_NE(static_cast<DWORD>(ERROR_ALREADY_EXISTS), ::GetLastError());
  DWORD lastError = 0, wait = 0;
  std::thread([&] {
    ScopedHandle second(CreateOrOpenMutex(TRUE, name.c_str()));
    lastError = ::GetLastError();
    wait = ::WaitForSingleObject(second.Get(), 0);
  }).join();
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), lastError);
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), wait);

  // The creation parameters of an existing event are ignored: still manual-reset and set.
  const std::wstring eventName = UniqueInstanceName(L"ev");
  ScopedHandle event(CreateOrOpenEvent(TRUE, FALSE, eventName.c_str()));
  ::SetEvent(event.Get());
  ScopedHandle again(CreateOrOpenEvent(FALSE, FALSE, eventName.c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), ::GetLastError());
  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), ::WaitForSingleObject(again.Get(), 0));
  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), ::WaitForSingleObject(again.Get(), 0));

  // A mapping cannot share the mutex's name: the create fails and no open stands in for it.
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
  ASSERT_TRUE(ComposeObjectName(name, base, kSuffixRgCenterRecord));
  EXPECT_STREQ(L"camLumx_RgCenter_smem", name);

  // 235 characters leave room for the longest suffix; 236 do not.
  EXPECT_TRUE(ComposeObjectName(name, std::wstring(235, L'a').c_str(), kSuffixConnectEvent));
  EXPECT_EQ(259u, wcslen(name));
  EXPECT_FALSE(ComposeObjectName(name, std::wstring(236, L'a').c_str(), kSuffixConnectEvent));
  EXPECT_STREQ(L"", name);
  EXPECT_FALSE(ComposeObjectName(name, nullptr, kSuffixConnectEvent));
}
