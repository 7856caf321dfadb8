#include "support/TestClients.h"

#include "common/ScopedMutexLock.h"
#include "ipc/RgCenterSlots.h"

HRESULT TestClients::Open(const std::wstring& instance) {
  return m_channel.Open(instance.c_str(), CRgCenterClient::OpenMode::kCreateOrOpen);
}

int TestClients::Add(DWORD processId, BOOL wantsVideo, LONG width, LONG height, VideoSubtype subtype) {
  CMediaType type;
  if (FAILED(BuildVideoInfoType(width, height, subtype, &type))) return -1;
  return AddType(processId, wantsVideo, type);
}

int TestClients::AddType(DWORD processId, BOOL wantsVideo, const CMediaType& type) {
  int slot = -1;
  return SUCCEEDED(m_channel.TakeSlot(processId, wantsVideo, type.Get(), &slot)) ? slot : -1;
}

bool TestClients::SetWantsVideo(int slot, BOOL wantsVideo) {
  if (slot < 0 || static_cast<size_t>(slot) >= kClientOwnedSlotCount || m_channel.Record() == nullptr) return false;
  ScopedMutexLock lock(m_channel.LockHandle(), CRgCenterClient::kLockTimeoutMs);
  if (!lock.Held()) return false;
  m_channel.Record()->clientSlots[slot].wantsVideo = wantsVideo ? TRUE : FALSE;
  return true;
}

bool TestClients::Remove(int slot) { return SUCCEEDED(m_channel.ReleaseSlot(slot)); }

bool TestClients::SetOutput(int slot, LONG width, LONG height) {
  if (slot < 0 || static_cast<size_t>(slot) >= kRgCenterSlotCount || m_channel.Record() == nullptr) return false;
  CMediaType type;
  if (width != 0 && FAILED(BuildVideoInfoType(width, height, VideoSubtype::kRgb24, &type))) return false;
  ScopedMutexLock lock(m_channel.LockHandle(), CRgCenterClient::kLockTimeoutMs);
  if (!lock.Held()) return false;
  RgCenterSlot& output = m_channel.Record()->outputSlots[slot];
  if (width == 0) {
    output.mediaType.cbFormat = 0;
    return true;
  }
  return SUCCEEDED(WriteSlotMediaType(type.Get(), &output));
}
