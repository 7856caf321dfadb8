// The host's side of the request channel over the real named record: scans, the client count,
// the placeholder, publishing the camera, a client that dies holding "slock", and fontisctl's
// join and clients commands meeting the host in separate processes.
#include <gtest/gtest.h>

#include <objbase.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "RgCenterTestSupport.h"
#include "ipc/ScopedHandle.h"

namespace {

const GUID kCameraGuid = {0x6BDD1FC6, 0x810F, 0x11D0, {0xBE, 0xC7, 0x08, 0x00, 0x2B, 0xE2, 0x09, 0x2F}};

// Runs a sibling program with its standard output in a pipe; returns its exit code.
DWORD RunCaptured(const wchar_t* program, const std::wstring& arguments, std::string* output) {
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return STILL_ACTIVE;
  ScopedHandle reader(readEnd), writer(writeEnd);
  ::SetHandleInformation(reader.Get(), HANDLE_FLAG_INHERIT, 0);

  const std::wstring path = SiblingPath(program);
  std::wstring commandLine = L"\"" + path + L"\" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writer.Get();
  startup.hStdError = writer.Get();
  startup.hStdInput = nullptr;
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
    return STILL_ACTIVE;
  }
  ScopedHandle process(info.hProcess), thread(info.hThread);
  writer.Close();  // the read below ends when the child's copy closes
  char buffer[512];
  DWORD got = 0;
  while (::ReadFile(reader.Get(), buffer, sizeof(buffer), &got, nullptr) && got > 0) output->append(buffer, got);
  ::WaitForSingleObject(process.Get(), 20000);
  DWORD code = STILL_ACTIVE;
  ::GetExitCodeProcess(process.Get(), &code);
  return code;
}

// Polls until the condition holds or the deadline passes.
template <typename Condition>
bool WaitUntil(Condition condition, DWORD timeoutMs) {
  const ULONGLONG end = ::GetTickCount64() + timeoutMs;
  while (!condition()) {
    if (::GetTickCount64() >= end) return false;
    ::Sleep(5);
  }
  return true;
}

// Whether a thread other than this one can take the mutex at once (a mutex is re-entrant for the
// thread that holds it, so this thread cannot tell).
bool FreeForAnotherThread(HANDLE mutex) {
  struct Probe {
    HANDLE mutex;
    DWORD wait;
  } probe{mutex, WAIT_FAILED};
  ScopedHandle thread(::CreateThread(
      nullptr, 0,
      [](void* p) -> DWORD {
        auto* probe = static_cast<Probe*>(p);
        probe->wait = ::WaitForSingleObject(probe->mutex, 0);
        if (probe->wait == WAIT_OBJECT_0 || probe->wait == WAIT_ABANDONED) ::ReleaseMutex(probe->mutex);
        return 0;
      },
      &probe, 0, nullptr));
  ::WaitForSingleObject(thread.Get(), INFINITE);
  return probe.wait == WAIT_OBJECT_0;
}

}  // namespace

TEST(RgCenter, FreshRecordIsZeroAndScansReportNothing) {
  RgCenterUnderTest channel;
  ASSERT_TRUE(channel.Open(L"rgfresh"));
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&channel.Record());
  EXPECT_EQ(sizeof(RgCenterBlock), static_cast<size_t>(std::count(bytes, bytes + sizeof(RgCenterBlock), 0)));

  CMediaType out;
  ASSERT_EQ(S_OK, BuildVideoInfoType(1, 1, VideoSubtype::kRgb24, &out));
  channel.host->QueryRequestedFormat(&out);
  EXPECT_TRUE(out.IsEmpty());
  ASSERT_EQ(S_OK, BuildVideoInfoType(1, 1, VideoSubtype::kRgb24, &out));
  EXPECT_EQ(TRUE, channel.host->QueryOutputFormat(&out));
  EXPECT_TRUE(out.IsEmpty());
  EXPECT_EQ(0, channel.host->CountClients(FALSE));
  EXPECT_EQ(0, channel.host->CountClients(TRUE));
  EXPECT_EQ(FALSE, channel.host->DemandDiffers(FALSE));
  EXPECT_EQ(TRUE, channel.host->DemandDiffers(TRUE));

  // A second host object opens the same record and leaves what clients wrote.
  channel.Record().clientCount = 2;
  WCHAR base[kNameCapacity];
  ASSERT_TRUE(ComposeRgCenterBase(base, channel.instance.c_str()));
  std::unique_ptr<CRgCenter> second(CRgCenter::CreateInstance(base));
  ASSERT_TRUE(second);
  EXPECT_EQ(2, second->CountClients(FALSE));

  // A base name that cannot form the object names is refused.
  const std::wstring tooLong(kNameCapacity - 5, L'n');
  EXPECT_EQ(nullptr, CRgCenter::CreateInstance(tooLong.c_str()));
}

TEST(RgCenter, RequestedAndOutputFormatsComeFromTheLargestUsableSlot) {
  RgCenterUnderTest channel;
  ASSERT_TRUE(channel.Open(L"rgscan"));
  RgCenterBlock& record = channel.Record();
  PutSlot(record.clientSlots[0], 640, 480, kOtherProcessId, true);
  PutSlot(record.clientSlots[2], 480, 640, kOtherProcessId, false);
  PutSlot(record.clientSlots[8], 4000, 4000, 0, true);  // placeholder slot, not active
  record.clientCount = 2;

  CMediaType out;
  channel.host->QueryRequestedFormat(&out);
  EXPECT_EQ(640, FormatWidth(out));  // tie with slot 2: the lower slot stays
  EXPECT_EQ(88u, out->cbFormat);
  EXPECT_TRUE(IsEqualGUID(kSubtypeRgb24, out->subtype));

  PutSlot(record.clientSlots[5], 1280, -720, kOtherProcessId, false);
  channel.host->QueryRequestedFormat(&out);
  EXPECT_EQ(1280, FormatWidth(out));
  EXPECT_EQ(-720, FormatHeight(out));  // handed on as the client wrote it

  // A client that broke the size rules still takes part in the count, never in the choice.
  PutSlot(record.clientSlots[6], 3840, 2160, kOtherProcessId, false);
  record.clientSlots[6].mediaType.cbFormat = 101;
  channel.host->QueryRequestedFormat(&out);
  EXPECT_EQ(1280, FormatWidth(out));

  // The output slots are scanned the same way, all nine of them.
  PutSlot(record.outputSlots[8], 320, 240, kOtherProcessId, false);
  EXPECT_EQ(TRUE, channel.host->QueryOutputFormat(&out));
  EXPECT_EQ(320, FormatWidth(out));
  PutSlot(record.outputSlots[1], 800, 600, kOtherProcessId, false);
  channel.host->QueryOutputFormat(&out);
  EXPECT_EQ(800, FormatWidth(out));
}

TEST(RgCenter, ClientCountSkipsOwnProcessAndStopsAtTheRegisteredCount) {
  RgCenterUnderTest channel;
  ASSERT_TRUE(channel.Open(L"rgcount"));
  RgCenterBlock& record = channel.Record();
  const DWORD self = ::GetCurrentProcessId();
  PutSlot(record.clientSlots[0], 640, 480, self, false);
  PutSlot(record.clientSlots[1], 640, 480, kOtherProcessId, false);
  PutSlot(record.clientSlots[3], 640, 480, kOtherProcessId + 2, false);
  PutSlot(record.clientSlots[7], 640, 480, kOtherProcessId + 4, false);
  PutSlot(record.clientSlots[8], 640, 480, kOtherProcessId + 6, true);
  record.placeholderActive = TRUE;

  record.clientCount = 2;
  EXPECT_EQ(2, channel.host->CountClients(FALSE));
  EXPECT_EQ(2, channel.host->CountClients(TRUE));  // slot 7 is never reached
  record.clientCount = 9;
  EXPECT_EQ(3, channel.host->CountClients(TRUE));  // slot 8 is never a client of another process
  record.clientCount = 1;
  EXPECT_EQ(1, channel.host->CountClients(TRUE));
  record.clientCount = 0;
  EXPECT_EQ(0, channel.host->CountClients(TRUE));

  // Only our own slot: no client of another process, however many are registered.
  memset(record.clientSlots, 0, sizeof(record.clientSlots));
  PutSlot(record.clientSlots[4], 640, 480, self, true);
  record.clientCount = 1;
  EXPECT_EQ(0, channel.host->CountClients(TRUE));
  EXPECT_EQ(TRUE, channel.host->DemandDiffers(FALSE));  // our own slot still wants video
}

TEST(RgCenter, PlaceholderCountsOnlyWhileActive) {
  RgCenterUnderTest channel;
  ASSERT_TRUE(channel.Open(L"rgplace"));
  RgCenterBlock& record = channel.Record();
  PutSlot(record.clientSlots[1], 320, 240, kOtherProcessId, false);
  record.clientCount = 1;

  EXPECT_EQ(S_OK, channel.host->SetPlaceholder(TRUE));
  const RgCenterSlot& slot = record.clientSlots[kPlaceholderSlot];
  EXPECT_EQ(1u, record.placeholderActive);
  EXPECT_EQ(1u, slot.wantsVideo);
  EXPECT_EQ(88u, slot.mediaType.cbFormat);
  EXPECT_EQ(921600u, slot.mediaType.lSampleSize);
  EXPECT_EQ(1u, slot.mediaType.bFixedSizeSamples);
  EXPECT_EQ(0u, slot.mediaType.bTemporalCompression);
  EXPECT_EQ(0u, slot.mediaType.pUnk);
  EXPECT_EQ(0u, slot.mediaType.pbFormat);
  EXPECT_TRUE(IsEqualGUID(kMediaTypeVideo, slot.mediaType.majortype));
  EXPECT_TRUE(IsEqualGUID(kSubtypeRgb24, slot.mediaType.subtype));
  EXPECT_TRUE(IsEqualGUID(kFormatVideoInfo, slot.mediaType.formattype));
  const BITMAPINFOHEADER* bitmap = reinterpret_cast<const BITMAPINFOHEADER*>(slot.formatBytes + 48);
  EXPECT_EQ(40u, bitmap->biSize);
  EXPECT_EQ(640, bitmap->biWidth);
  EXPECT_EQ(480, bitmap->biHeight);
  EXPECT_EQ(1, bitmap->biPlanes);
  EXPECT_EQ(24, bitmap->biBitCount);
  EXPECT_EQ(static_cast<DWORD>(BI_RGB), bitmap->biCompression);
  EXPECT_EQ(921600u, bitmap->biSizeImage);
  EXPECT_EQ(96, bitmap->biXPelsPerMeter);
  EXPECT_EQ(96, bitmap->biYPelsPerMeter);

  EXPECT_EQ(TRUE, channel.host->DemandDiffers(FALSE));  // slot 8 alone wants video
  EXPECT_EQ(FALSE, channel.host->DemandDiffers(TRUE));
  CMediaType out;
  channel.host->QueryRequestedFormat(&out);
  EXPECT_EQ(640, FormatWidth(out));
  EXPECT_EQ(1, channel.host->CountClients(TRUE));  // the placeholder is no client

  EXPECT_EQ(S_OK, channel.host->SetPlaceholder(FALSE));
  EXPECT_EQ(0u, record.placeholderActive);
  EXPECT_EQ(0u, slot.wantsVideo);
  EXPECT_EQ(88u, slot.mediaType.cbFormat);  // still in use, but ignored
  EXPECT_EQ(0u, slot.mediaType.lSampleSize);
  EXPECT_EQ(0, bitmap->biWidth);
  EXPECT_EQ(FALSE, channel.host->DemandDiffers(FALSE));
  channel.host->QueryRequestedFormat(&out);
  EXPECT_EQ(320, FormatWidth(out));

  // Ignored means ignored: even a large wanting type in slot 8 does not count while inactive.
  PutSlot(record.clientSlots[kPlaceholderSlot], 4000, 4000, 0, true);
  EXPECT_EQ(FALSE, channel.host->DemandDiffers(FALSE));
  channel.host->QueryRequestedFormat(&out);
  EXPECT_EQ(320, FormatWidth(out));
}

TEST(RgCenter, PublishDeviceOnlyWhileNoClientIsRegistered) {
  RgCenterUnderTest channel;
  ASSERT_TRUE(channel.Open(L"rgpub"));
  RgCenterBlock& record = channel.Record();
  const std::wstring longName(300, L'c');
  ASSERT_EQ(S_OK, channel.host->PublishDevice(kCameraGuid, longName.c_str()));
  EXPECT_EQ(std::wstring(259, L'c'), std::wstring(record.deviceName));
  EXPECT_STREQ(L"{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}", record.deviceGuidText);
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&record);
  EXPECT_EQ(0, memcmp(bytes + 520, L"{6BDD1FC6", 18));
  EXPECT_EQ(0, memcmp(bytes + 518, L"\0", 2));  // deviceName ends where deviceGuidText begins

  record.clientCount = 1;
  EXPECT_EQ(E_FAIL, channel.host->PublishDevice(GUID_NULL, L"other"));
  EXPECT_EQ(std::wstring(259, L'c'), std::wstring(record.deviceName));
  EXPECT_STREQ(L"{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}", record.deviceGuidText);

  record.clientCount = 0;
  ASSERT_EQ(S_OK, channel.host->PublishDevice(GUID_NULL, L"Camera B"));
  EXPECT_STREQ(L"Camera B", record.deviceName);
  EXPECT_STREQ(L"{00000000-0000-0000-0000-000000000000}", record.deviceGuidText);
}

TEST(RgCenterProcesses, ClientThatDiesHoldingTheLockDoesNotBlockTheHost) {
  RgCenterUnderTest channel;
  ASSERT_TRUE(channel.Open(L"rgdead"));
  // A client of another process, written by that process.
  TestProcess filler;
  ASSERT_TRUE(StartPeer(filler, channel.instance, L"fill-slots " + channel.instance + L" count=1 2:self:1:800x600"));
  ASSERT_EQ(0u, filler.Wait(10000));
  EXPECT_EQ(filler.Id(), channel.Record().clientSlots[2].processId);
  EXPECT_EQ(1, channel.host->CountClients(TRUE));
  channel.Record().clientCount = 0;
  ASSERT_EQ(S_OK, channel.host->PublishDevice(kCameraGuid, L"Before"));

  TestProcess holder;
  ASSERT_TRUE(StartPeer(holder, channel.instance, L"hold-slock-forever " + channel.instance));
  // While a live client holds the lock, an operation gives up after its wait and leaves the record.
  const ULONGLONG start = ::GetTickCount64();
  EXPECT_EQ(E_FAIL, channel.host->PublishDevice(GUID_NULL, L"After"));
  EXPECT_GE(::GetTickCount64() - start, 2500u);
  EXPECT_STREQ(L"Before", channel.Record().deviceName);
  EXPECT_EQ(1, channel.host->CountClients(TRUE));  // the last count had, not "nobody left"

  holder.Kill();
  const ULONGLONG killed = ::GetTickCount64();
  EXPECT_EQ(S_OK, channel.host->PublishDevice(GUID_NULL, L"After"));
  EXPECT_LT(::GetTickCount64() - killed, 1500u);
  EXPECT_STREQ(L"After", channel.Record().deviceName);
  EXPECT_EQ(TRUE, channel.host->DemandDiffers(FALSE));
  // The operation that inherited the abandoned lock released it: another thread can take it.
  EXPECT_TRUE(FreeForAnotherThread(channel.client.LockHandle()));
}

TEST(RgCenterProcesses, FontisctlJoinAndClientsMeetTheHost) {
  const std::wstring instance = UniqueInstanceName(L"rgctl");
  std::string output;
  // Looking creates nothing.
  EXPECT_EQ(3u, RunCaptured(L"fontisctl.exe", L"clients " + instance, &output));
  CRgCenterClient probe;
  EXPECT_TRUE(FAILED(probe.Open(instance.c_str(), CRgCenterClient::OpenMode::kExistingOnly)));
  output.clear();
  EXPECT_EQ(2u, RunCaptured(L"fontisctl.exe", L"join " + instance + L" --size 640by480", &output));
  EXPECT_NE(std::string::npos, output.find("--size")) << output;

  // The client creates the channel; the host opens it afterwards and sees the registration.
  TestProcess join;
  ASSERT_TRUE(join.Start(L"fontisctl.exe",
                         L"join " + instance + L" --want-video --size 1280x720 --subtype YUY2 --hold 5"));
  CRgCenterClient view;
  ASSERT_TRUE(WaitUntil([&] { return SUCCEEDED(view.Open(instance.c_str(), CRgCenterClient::OpenMode::kExistingOnly)) &&
                                     view.Record()->clientCount == 1; },
                        10000));
  WCHAR base[kNameCapacity];
  ASSERT_TRUE(ComposeRgCenterBase(base, instance.c_str()));
  std::unique_ptr<CRgCenter> host(CRgCenter::CreateInstance(base));
  ASSERT_TRUE(host);
  EXPECT_EQ(1, host->CountClients(TRUE));
  EXPECT_EQ(TRUE, host->DemandDiffers(FALSE));
  CMediaType requested;
  host->QueryRequestedFormat(&requested);
  EXPECT_EQ(1280, FormatWidth(requested));
  EXPECT_EQ(720, FormatHeight(requested));
  EXPECT_TRUE(IsEqualGUID(kSubtypeYuy2, requested->subtype));
  EXPECT_EQ(E_FAIL, host->PublishDevice(kCameraGuid, L"Cam"));
  ASSERT_EQ(S_OK, host->SetPlaceholder(TRUE));

  output.clear();
  EXPECT_EQ(0u, RunCaptured(L"fontisctl.exe", L"clients " + instance, &output));
  const std::string pid = std::to_string(join.Id());
  EXPECT_NE(std::string::npos, output.find("slot 0  pid " + pid + "  wantsVideo 1  1280x720  YUY2")) << output;
  EXPECT_NE(std::string::npos, output.find("slot 8  pid 0  wantsVideo 1  640x480  RGB24  (host placeholder, counted)"))
      << output;
  EXPECT_NE(std::string::npos, output.find("clientCount          1")) << output;
  EXPECT_NE(std::string::npos, output.find("placeholderActive    1")) << output;

  // After its hold the client gives its slot back.
  EXPECT_EQ(0u, join.Wait(20000));
  EXPECT_EQ(0, host->CountClients(FALSE));
  EXPECT_EQ(0u, view.Record()->clientSlots[0].mediaType.cbFormat);
  host->SetPlaceholder(FALSE);
  EXPECT_EQ(FALSE, host->DemandDiffers(FALSE));
  ASSERT_EQ(S_OK, host->PublishDevice(kCameraGuid, L"Cam"));
  output.clear();
  EXPECT_EQ(0u, RunCaptured(L"fontisctl.exe", L"clients " + instance, &output));
  EXPECT_NE(std::string::npos, output.find("deviceName           \"Cam\"")) << output;
  EXPECT_NE(std::string::npos, output.find("deviceGuidText       \"{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\""))
      << output;
}
