// Shared by the inter-process channel tests: a probe of a mutex from another thread and a
// host-side CRgCenter with a client's view of the same record.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "common/CMediaType.h"
#include "ipc/CRgCenter.h"
#include "ipc/CRgCenterClient.h"
#include "ipc/ObjectNames.h"
#include "ipc/RgCenterSlots.h"
#include "ipc/VideoInfoFormat.h"
#include "support/TestProcess.h"
#include "support/WaitUntil.h"

// A wait of 0 on the mutex from a new thread, released again if obtained: a mutex is re-entrant
// for the thread that holds it, so only another thread can tell whether it is free.
inline DWORD TryMutexFromOtherThread(HANDLE mutex) {
  DWORD result = WAIT_FAILED;
  std::thread([&] {
    result = ::WaitForSingleObject(mutex, 0);
    if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) ::ReleaseMutex(mutex);
  }).join();
  return result;
}

inline std::unique_ptr<CRgCenter> OpenRgCenterHost(const std::wstring& instance) {
  WCHAR base[kNameCapacity];
  if (!ComposeRgCenterBase(base, instance.c_str())) return nullptr;
  return std::unique_ptr<CRgCenter>(CRgCenter::CreateInstance(base));
}

// The host's side first (it creates the record), then a client's view through which a test
// writes slots as a client would.
struct RgCenterUnderTest {
  std::wstring instance;
  std::unique_ptr<CRgCenter> host;
  CRgCenterClient client;

  void Open(const wchar_t* prefix) {
    instance = UniqueInstanceName(prefix);
    host = OpenRgCenterHost(instance);
    ASSERT_TRUE(host);
    ASSERT_EQ(S_OK, client.Open(instance.c_str(), CRgCenterClient::OpenMode::kExistingOnly));
  }
  RgCenterBlock& Record() { return *client.Record(); }
};

// A VIDEOINFOHEADER's width or height (format offset 52 or 56), -1 when the type has no such block.
inline LONG FormatField(const CMediaType& type, size_t offset) {
  LONG value = -1;
  if (type->cbFormat >= kMinUsableFormatLength) memcpy(&value, type->pbFormat + offset, sizeof(value));
  return value;
}
