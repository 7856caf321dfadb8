// The host's side of the request channel over the real named record: a second host, publishing
// the camera, a client that dies holding "slock" (and a host whose first count meets it), and
// fontisctl's join
// and clients commands meeting the host (and its placeholder) in separate processes.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>

#include "IpcTestSupport.h"
#include "common/ScopedHandle.h"
#include "ipc/CExProcLock.h"

namespace {

const GUID kCameraGuid = {0x6BDD1FC6, 0x810F, 0x11D0, {0xBE, 0xC7, 0x08, 0x00, 0x2B, 0xE2, 0x09, 0x2F}};
const wchar_t kCameraGuidText[] = L"{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}";

}  // namespace

TEST(RgCenter, FreshRecordIsZeroASecondHostKeepsItAndPublishingWaitsForNoClient) {
  RgCenterUnderTest channel;
  ASSERT_NO_FATAL_FAILURE(channel.Open(L"rgfresh"));
  RgCenterBlock& record = channel.Record();
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&record);
  EXPECT_EQ(sizeof(RgCenterBlock), static_cast<size_t>(std::count(bytes, bytes + sizeof(RgCenterBlock), 0)));
  EXPECT_EQ(nullptr, CRgCenter::CreateInstance(std::wstring(kNameCapacity - 5, L'n').c_str()));

  ASSERT_EQ(S_OK, channel.host->PublishDevice(kCameraGuid, std::wstring(300, L'c').c_str()));
  EXPECT_EQ(std::wstring(259, L'c'), std::wstring(record.deviceName));  // cut, terminated in place
  EXPECT_STREQ(kCameraGuidText, record.deviceGuidText);
  record.clientCount = 2;
  std::unique_ptr<CRgCenter> second = OpenRgCenterHost(channel.instance);
  ASSERT_TRUE(second);
  EXPECT_EQ(2, second->CountClients(FALSE));
  EXPECT_EQ(E_FAIL, second->PublishDevice(GUID_NULL, L"other"));
  EXPECT_EQ(std::wstring(259, L'c'), std::wstring(record.deviceName));
  EXPECT_STREQ(kCameraGuidText, record.deviceGuidText);
  record.clientCount = 0;
  ASSERT_EQ(S_OK, channel.host->PublishDevice(GUID_NULL, L"Camera B"));
  EXPECT_STREQ(L"Camera B", record.deviceName);
  EXPECT_STREQ(L"{00000000-0000-0000-0000-000000000000}", record.deviceGuidText);
}

TEST(RgCenterProcesses, ClientThatDiesHoldingTheLockDoesNotBlockTheHost) {
  RgCenterUnderTest channel;
  ASSERT_NO_FATAL_FAILURE(channel.Open(L"rgdead"));
  RgCenterSlot& slot = channel.Record().clientSlots[2];  // in use, another process's, wants video
  slot.mediaType.cbFormat = 88;
  slot.processId = kOtherProcessId;
  slot.wantsVideo = 1;
  channel.Record().clientCount = 1;
  EXPECT_EQ(1, channel.host->CountClients(TRUE));
  channel.Record().clientCount = 0;
  ASSERT_EQ(S_OK, channel.host->PublishDevice(kCameraGuid, L"Before"));

  TestProcess holder;
  ASSERT_TRUE(StartPeer(holder, channel.instance, L"hold-slock-forever " + channel.instance));
  // While a live client holds the lock, an operation gives up after its wait and leaves the record.
  EXPECT_EQ(E_FAIL, channel.host->PublishDevice(GUID_NULL, L"After"));
  EXPECT_STREQ(L"Before", channel.Record().deviceName);
  EXPECT_EQ(1, channel.host->CountClients(TRUE));  // the last count had, not "nobody left"

  // A host whose very first count meets the busy lock has no count yet: that reads as a client.
  // Its waits are cut short by a wake event; a wait without a limit ends by that alone.
  WCHAR base[kNameCapacity], lockName[kNameCapacity];
  ASSERT_TRUE(ComposeRgCenterBase(base, channel.instance.c_str()));
  ASSERT_TRUE(ComposeObjectName(lockName, base, kSuffixRgCenterLock));
  ScopedHandle wake(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
  std::unique_ptr<CRgCenter> fresh(CRgCenter::CreateInstance(base, wake.Get()));
  ASSERT_TRUE(fresh);
  EXPECT_EQ(CRgCenter::kUnknownClientCount, fresh->CountClients(TRUE));
  EXPECT_EQ(CRgCenter::kUnknownClientCount, fresh->CountClients(FALSE));
  CExProcLock unbounded(lockName, 0, wake.Get());
  std::atomic<DWORD> result{WAIT_FAILED};
  std::thread waiter([&] { result = unbounded.Lock(); });
  EXPECT_TRUE(WaitUntil([&] { return result.load() != WAIT_FAILED; }, 30000)) << "the wake event did not end the wait";

  holder.Kill();
  waiter.join();
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), result.load());
  EXPECT_EQ(S_OK, channel.host->PublishDevice(GUID_NULL, L"After"));
  EXPECT_STREQ(L"After", channel.Record().deviceName);
  EXPECT_EQ(TRUE, channel.host->DemandDiffers(FALSE));
  // The operation that inherited the abandoned lock released it: another thread can take it.
  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), TryMutexFromOtherThread(channel.client.LockHandle()));
}

TEST(RgCenterProcesses, FontisctlJoinAndClientsMeetTheHost) {
  const std::wstring instance = UniqueInstanceName(L"rgctl");
  // The client creates the channel; the host opens it afterwards and sees the registration.
  TestProcess join;
  ASSERT_TRUE(join.Start(L"fontisctl.exe",
                         L"join " + instance + L" --want-video --size 1280x720 --subtype YUY2 --hold 5"));
  CRgCenterClient view;
  ASSERT_TRUE(WaitUntil([&] { return SUCCEEDED(view.Open(instance.c_str(), CRgCenterClient::OpenMode::kExistingOnly)) &&
                                     view.Record()->clientCount == 1; },
                        10000));
  std::unique_ptr<CRgCenter> host = OpenRgCenterHost(instance);
  ASSERT_TRUE(host);
  EXPECT_EQ(1, host->CountClients(TRUE));
  EXPECT_EQ(TRUE, host->DemandDiffers(FALSE));
  CMediaType requested;
  host->QueryRequestedFormat(&requested);
  EXPECT_EQ(1280, FormatField(requested, kVideoInfoWidthOffset));
  EXPECT_EQ(720, FormatField(requested, kVideoInfoHeightOffset));
  EXPECT_TRUE(IsEqualGUID(kSubtypeYuy2, requested->subtype));
  // The placeholder: what other clients read of it, and that it is no client of ours.
  ASSERT_EQ(S_OK, host->SetPlaceholder(TRUE));
  const RgCenterSlot& placeholder = view.Record()->clientSlots[kPlaceholderSlot];
  EXPECT_EQ(921600u, placeholder.mediaType.lSampleSize);
  EXPECT_EQ(1, host->CountClients(TRUE));

  TestProcess clients;
  ASSERT_TRUE(clients.Start(L"fontisctl.exe", L"clients " + instance, true));
  EXPECT_EQ(0u, clients.Wait(20000));
  const std::string output = clients.Output(), pid = std::to_string(join.Id());
  EXPECT_NE(std::string::npos, output.find("slot 0  pid " + pid + "  wantsVideo 1  1280x720  YUY2")) << output;
  EXPECT_NE(std::string::npos, output.find("slot 8  pid 0  wantsVideo 1  640x480  RGB24  (host placeholder, counted)"))
      << output;
  EXPECT_NE(std::string::npos, output.find("clientCount          1")) << output;

  // After its hold the client gives its slot back.
  EXPECT_EQ(0u, join.Wait(20000));
  EXPECT_EQ(0, host->CountClients(FALSE));
  host->SetPlaceholder(FALSE);  // a 0 x 0 type that wants nothing, still in use but ignored
  EXPECT_EQ(0u, view.Record()->placeholderActive);
  EXPECT_EQ(88u, placeholder.mediaType.cbFormat);
  int32_t width = -1;
  ASSERT_TRUE(ReadFormatInt32(placeholder, kVideoInfoWidthOffset, &width));
  EXPECT_EQ(0, width);
  EXPECT_EQ(FALSE, host->DemandDiffers(FALSE));
}
