// Shared set-up for the request channel tests: a host-side CRgCenter for a fresh instance and a
// client's view of the same record, through which a test writes slots as a client would.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "ipc/CMediaType.h"
#include "ipc/CRgCenter.h"
#include "ipc/CRgCenterClient.h"
#include "ipc/ObjectNames.h"
#include "ipc/RgCenterSlots.h"
#include "ipc/VideoInfoFormat.h"
#include "support/TestProcess.h"

struct RgCenterUnderTest {
  std::wstring instance;
  std::unique_ptr<CRgCenter> host;
  CRgCenterClient client;

  // Opens the host's side first (it creates the record), then a client's view of it.
  ::testing::AssertionResult Open(const wchar_t* prefix) {
    instance = UniqueInstanceName(prefix);
    WCHAR base[kNameCapacity];
    if (!ComposeRgCenterBase(base, instance.c_str())) return ::testing::AssertionFailure() << "base name";
    host.reset(CRgCenter::CreateInstance(base));
    if (!host) return ::testing::AssertionFailure() << "CRgCenter::CreateInstance failed";
    if (FAILED(client.Open(instance.c_str(), CRgCenterClient::OpenMode::kExistingOnly))) {
      return ::testing::AssertionFailure() << "client view";
    }
    return ::testing::AssertionSuccess();
  }

  RgCenterBlock& Record() { return *client.Record(); }
};

// Registers an RGB24 W x H type in a slot as a client would (no count change).
inline void PutSlot(RgCenterSlot& slot, LONG width, LONG height, DWORD processId, bool wantsVideo) {
  CMediaType type;
  ASSERT_EQ(S_OK, BuildVideoInfoType(width, height, VideoSubtype::kRgb24, &type));
  ASSERT_EQ(S_OK, WriteSlotMediaType(type.Get(), &slot));
  slot.processId = processId;
  slot.wantsVideo = wantsVideo ? 1 : 0;
}

// Width and height of a media type's VIDEOINFOHEADER, or -1 when it has no such block.
inline LONG FormatWidth(const CMediaType& type) {
  LONG value = -1;
  if (type->cbFormat >= kMinUsableFormatLength) memcpy(&value, type->pbFormat + kVideoInfoWidthOffset, sizeof(value));
  return value;
}
inline LONG FormatHeight(const CMediaType& type) {
  LONG value = -1;
  if (type->cbFormat >= kMinUsableFormatLength) memcpy(&value, type->pbFormat + kVideoInfoHeightOffset, sizeof(value));
  return value;
}

constexpr DWORD kOtherProcessId = 0x7FFF0001;  // odd, so never a real process id
