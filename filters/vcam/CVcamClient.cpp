// The virtual camera's slot in its instance's request channel, and the keeper it starts.
#include "filters/vcam/CVcamClient.h"

#include "common/CScopedLock.h"
#include "filters/vcam/CHostKeeper.h"
#include "filters/vcam/CVcamSettings.h"
#include "filters/vcam/PlaceholderReason.h"

CVcamClient::CVcamClient()
    : m_launchState(std::make_shared<std::atomic<int>>(static_cast<int>(HostLaunchState::kUnknown))),
      m_identity(CurrentClientIdentity()) {}

CVcamClient::~CVcamClient() { Leave(); }

void CVcamClient::Join(const AM_MEDIA_TYPE& format) {
  CScopedLock lock(&m_lock);
  if (m_joined) return;
  CVcamSettings settings;
  settings.Load();
  BoundedCopy(m_instance, settings.Instance());
  m_joined = true;
  m_wantsVideo = false;
  m_format.CopyFrom(format);
  m_slot = -1;
  // The channel may not exist yet: a client creates it as the host would.
  if (FAILED(m_channel.Open(m_instance, CRgCenterClient::OpenMode::kCreateOrOpen))) return;
  Publish();
  m_keeperStop.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (m_keeperStop.IsValid() && FAILED(CHostKeeper::Start(m_instance, settings, m_keeperStop.Get(), m_launchState))) {
    m_keeperStop.Close();
  }
}

void CVcamClient::Leave() {
  CScopedLock lock(&m_lock);
  if (!m_joined) return;
  m_joined = false;
  if (m_keeperStop.IsValid()) ::SetEvent(m_keeperStop.Get());
  m_keeperStop.Close();
  if (m_slot >= 0) m_channel.ReleaseSlot(m_slot, m_identity);
  m_slot = -1;
  m_wantsVideo = false;
}

void CVcamClient::SetWantsVideo(bool wants) {
  CScopedLock lock(&m_lock);
  m_wantsVideo = wants;
  if (m_joined) Publish();
}

void CVcamClient::SetFormat(const AM_MEDIA_TYPE& format) {
  CScopedLock lock(&m_lock);
  if (FAILED(m_format.CopyFrom(format))) return;
  if (m_joined) Publish();
}

void CVcamClient::CopyInstance(WCHAR (&out)[kNameCapacity]) {
  CScopedLock lock(&m_lock);
  BoundedCopy(out, m_instance);
}

int CVcamClient::Slot() {
  CScopedLock lock(&m_lock);
  return m_slot;
}

void CVcamClient::Publish() {
  if (!m_channel.IsOpen()) return;
  const BOOL wants = m_wantsVideo ? TRUE : FALSE;
  if (m_slot >= 0) {
    const HRESULT hr = m_channel.UpdateSlot(m_slot, m_identity, wants, &m_format.Get());
    // Overwritten by somebody else: register afresh below. A lock not had in time leaves the
    // slot as it was until the next change.
    if (hr != CRgCenterClient::kErrSlotLost) return;
    m_slot = -1;
  }
  int slot = -1;
  if (SUCCEEDED(m_channel.TakeSlot(m_identity, wants, m_format.Get(), &slot))) m_slot = slot;
}
