#include "support/TestClients.h"

#include "common/ScopedMutexLock.h"
#include "ipc/RgCenterSlots.h"

HRESULT TestClients::Open(const std::wstring& instance) {
  return m_channel.Open(instance.c_str(), CRgCenterClient::OpenMode::kCreateOrOpen);
}

template <class Change>
bool TestClients::Locked(int slot, size_t slots, Change change) {
  if (slot < 0 || static_cast<size_t>(slot) >= slots || m_channel.Record() == nullptr) return false;
  ScopedMutexLock lock(m_channel.LockHandle(), CRgCenterClient::kLockTimeoutMs);
  return lock.Held() && change(*m_channel.Record());
}

int TestClients::Add(DWORD processId, BOOL wantsVideo, LONG width, LONG height) {
  CMediaType type;
  if (FAILED(BuildVideoInfoType(width, height, VideoSubtype::kRgb24, &type)) || m_channel.Record() == nullptr) return -1;
  // Written as the host sees any client: the pieces of the clients' protocol, without its
  // reclaim of ended clients, so that a made-up process id stays registered.
  ClientIdentity who;
  if (processId == ::GetCurrentProcessId()) who = CurrentClientIdentity();
  who.processId = processId;
  int slot = kNoSlot;
  Locked(0, 1, [&](RgCenterBlock& record) {
    slot = LowestFreeClientSlot(record);
    if (slot != kNoSlot && FAILED(FillClientSlot(who, wantsVideo, type.Get(), &record.clientSlots[slot]))) slot = kNoSlot;
    record.clientCount = CountClientSlotsInUse(record);
    return true;
  });
  return slot;
}

bool TestClients::SetWantsVideo(int slot, BOOL wantsVideo) {
  return Locked(slot, kClientOwnedSlotCount, [&](RgCenterBlock& record) {
    record.clientSlots[slot].wantsVideo = wantsVideo ? TRUE : FALSE;
    return true;
  });
}

bool TestClients::Remove(int slot) {
  return Locked(slot, kClientOwnedSlotCount, [&](RgCenterBlock& record) {
    ClearClientSlot(&record.clientSlots[slot]);
    record.clientCount = CountClientSlotsInUse(record);
    return true;
  });
}

bool TestClients::SetOutput(int slot, LONG width, LONG height) {
  CMediaType type;
  if (width != 0 && FAILED(BuildVideoInfoType(width, height, VideoSubtype::kRgb24, &type))) return false;
  return Locked(slot, kRgCenterSlotCount, [&](RgCenterBlock& record) {
    RgCenterSlot& output = record.outputSlots[slot];
    if (width == 0) output.mediaType.cbFormat = 0;
    return width == 0 || SUCCEEDED(WriteSlotMediaType(type.Get(), &output));
  });
}
