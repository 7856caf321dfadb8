// fontis_peer's request channel commands (see RgCenterPeer.h).
#include "RgCenterPeer.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <vector>

#include "ipc/CMediaType.h"
#include "ipc/CRgCenterClient.h"
#include "ipc/RgCenterSlots.h"
#include "ipc/ScopedHandle.h"
#include "ipc/ScopedMutexLock.h"
#include "ipc/VideoInfoFormat.h"

namespace {

constexpr int kExitBadArguments = 2;
constexpr int kExitFailed = 3;
constexpr DWORD kLockWaitMs = 5000;

// The peer's ready convention: the test waits for "<instance>_peer_ready".
void SignalReady(const std::wstring& instance) {
  ScopedHandle ready(::CreateEventW(nullptr, TRUE, FALSE, (instance + L"_peer_ready").c_str()));
  ::SetEvent(ready.Get());
}

bool ParseUnsigned(const std::wstring& text, unsigned long long max, unsigned long long* value) {
  if (text.empty()) return false;
  wchar_t* end = nullptr;
  const unsigned long long parsed = wcstoull(text.c_str(), &end, 10);
  if (*end != L'\0' || parsed > max) return false;
  *value = parsed;
  return true;
}

bool ParseHex(const std::wstring& text, std::vector<uint8_t>* bytes) {
  if (text.empty() || text.size() % 2 != 0) return false;
  for (size_t i = 0; i < text.size(); i += 2) {
    wchar_t* end = nullptr;
    const std::wstring pair = text.substr(i, 2);
    const unsigned long value = wcstoul(pair.c_str(), &end, 16);
    if (*end != L'\0') return false;
    bytes->push_back(static_cast<uint8_t>(value));
  }
  return true;
}

// "3" or "o3": a client or an output slot.
RgCenterSlot* FindSlot(RgCenterBlock* record, std::wstring text) {
  RgCenterSlot* slots = record->clientSlots;
  if (!text.empty() && text[0] == L'o') {
    slots = record->outputSlots;
    text = text.substr(1);
  }
  unsigned long long index = 0;
  if (!ParseUnsigned(text, kRgCenterSlotCount - 1, &index)) return nullptr;
  return &slots[index];
}

bool WriteBytes(uint8_t* base, size_t size, const std::wstring& offsetText, const std::wstring& hex) {
  unsigned long long offset = 0;
  std::vector<uint8_t> bytes;
  if (!ParseUnsigned(offsetText, size, &offset) || !ParseHex(hex, &bytes) || bytes.size() > size - offset) return false;
  memcpy(base + offset, bytes.data(), bytes.size());
  return true;
}

bool WriteSlotType(RgCenterSlot* slot, const std::wstring& pidText, const std::wstring& wantsText,
                   const std::wstring& sizeText) {
  unsigned long long pid = 0;
  if (pidText == L"self") {
    pid = ::GetCurrentProcessId();
  } else if (!ParseUnsigned(pidText, UINT32_MAX, &pid)) {
    return false;
  }
  const size_t x = sizeText.find(L'x');
  if (x == std::wstring::npos || (wantsText != L"0" && wantsText != L"1")) return false;
  const long width = wcstol(sizeText.substr(0, x).c_str(), nullptr, 10);
  const long height = wcstol(sizeText.substr(x + 1).c_str(), nullptr, 10);
  CMediaType type;
  if (FAILED(BuildVideoInfoType(width, height, VideoSubtype::kRgb24, &type))) return false;
  if (FAILED(WriteSlotMediaType(type.Get(), slot))) return false;
  slot->processId = static_cast<uint32_t>(pid);
  slot->wantsVideo = wantsText == L"1" ? 1 : 0;
  return true;
}

bool ApplyItem(RgCenterBlock* record, const std::wstring& item) {
  unsigned long long value = 0;
  if (item.rfind(L"count=", 0) == 0) {
    if (!ParseUnsigned(item.substr(6), UINT16_MAX, &value)) return false;
    record->clientCount = static_cast<uint16_t>(value);
    return true;
  }
  if (item.rfind(L"placeholder=", 0) == 0) {
    if (!ParseUnsigned(item.substr(12), 1, &value)) return false;
    record->placeholderActive = static_cast<uint32_t>(value);
    return true;
  }
  const size_t at = item.find(L'@'), equals = item.find(L'=');
  if (at != std::wstring::npos && equals != std::wstring::npos && at < equals) {
    const std::wstring target = item.substr(0, at);
    const std::wstring offset = item.substr(at + 1, equals - at - 1);
    const std::wstring hex = item.substr(equals + 1);
    if (target == L"rec") return WriteBytes(reinterpret_cast<uint8_t*>(record), sizeof(*record), offset, hex);
    RgCenterSlot* slot = FindSlot(record, target);
    return slot != nullptr && WriteBytes(reinterpret_cast<uint8_t*>(slot), sizeof(*slot), offset, hex);
  }
  // SLOT:PID:WANTS:WxH
  std::vector<std::wstring> parts;
  size_t start = 0;
  for (size_t colon; (colon = item.find(L':', start)) != std::wstring::npos; start = colon + 1) {
    parts.push_back(item.substr(start, colon - start));
  }
  parts.push_back(item.substr(start));
  if (parts.size() != 4) return false;
  RgCenterSlot* slot = FindSlot(record, parts[0]);
  return slot != nullptr && WriteSlotType(slot, parts[1], parts[2], parts[3]);
}

}  // namespace

int FillRgCenterSlots(const std::wstring& instance, int count, wchar_t** items) {
  CRgCenterClient channel;
  if (FAILED(channel.Open(instance.c_str(), CRgCenterClient::OpenMode::kCreateOrOpen))) return kExitFailed;
  ScopedMutexLock lock(channel.LockHandle(), kLockWaitMs);
  if (!lock.Held()) return kExitFailed;
  for (int i = 0; i < count; ++i) {
    if (!ApplyItem(channel.Record(), items[i])) return kExitBadArguments;
  }
  lock.Unlock();
  SignalReady(instance);
  return 0;
}

int HoldRgCenterLockForever(const std::wstring& instance) {
  CRgCenterClient channel;
  if (FAILED(channel.Open(instance.c_str(), CRgCenterClient::OpenMode::kCreateOrOpen))) return kExitFailed;
  if (!IsLockObtained(::WaitForSingleObject(channel.LockHandle(), kLockWaitMs))) return kExitFailed;
  SignalReady(instance);
  ::Sleep(INFINITE);
  return 0;
}
