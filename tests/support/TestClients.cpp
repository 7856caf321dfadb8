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
  if (m_channel.Record() == nullptr) return -1;
  // Written as the host sees any client: the pieces of the clients' protocol, without its
  // reclaim of ended clients, so that a made-up process id stays registered.
  ClientIdentity who;
  if (processId == ::GetCurrentProcessId()) who = CurrentClientIdentity();
  who.processId = processId;
  ScopedMutexLock lock(m_channel.LockHandle(), CRgCenterClient::kLockTimeoutMs);
  if (!lock.Held()) return -1;
  RgCenterBlock* record = m_channel.Record();
  const int slot = LowestFreeClientSlot(*record);
  if (slot == kNoSlot || FAILED(FillClientSlot(who, wantsVideo, type.Get(), &record->clientSlots[slot]))) return -1;
  record->clientCount = CountClientSlotsInUse(*record);
  return slot;
}

bool TestClients::SetWantsVideo(int slot, BOOL wantsVideo) {
  if (slot < 0 || static_cast<size_t>(slot) >= kClientOwnedSlotCount || m_channel.Record() == nullptr) return false;
  ScopedMutexLock lock(m_channel.LockHandle(), CRgCenterClient::kLockTimeoutMs);
  if (!lock.Held()) return false;
  m_channel.Record()->clientSlots[slot].wantsVideo = wantsVideo ? TRUE : FALSE;
  return true;
}

bool TestClients::Remove(int slot) {
  if (slot < 0 || static_cast<size_t>(slot) >= kClientOwnedSlotCount || m_channel.Record() == nullptr) return false;
  ScopedMutexLock lock(m_channel.LockHandle(), CRgCenterClient::kLockTimeoutMs);
  if (!lock.Held()) return false;
  ClearClientSlot(&m_channel.Record()->clientSlots[slot]);
  m_channel.Record()->clientCount = CountClientSlotsInUse(*m_channel.Record());
  return true;
}

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
