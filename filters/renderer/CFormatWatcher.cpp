// The capture renderer's watch over the clients' requested format.
#include "filters/renderer/CFormatWatcher.h"

#include <utility>

#include "common/CMediaType.h"
#include "common/CScopedLock.h"
#include "filters/renderer/RendererFormat.h"
#include "ipc/CRgCenter.h"
#include "ipc/ObjectNames.h"

namespace {

// Put into the out argument before a query: still there afterwards means the channel's lock was
// not had and the poll saw nothing (not "no request", which would count as a change).
constexpr GUID kUnreadMarker = {0x5D0C6F31, 0x2B7A, 0x4C4E, {0x9B, 0x11, 0x63, 0x2E, 0x0A, 0x47, 0xD1, 0x88}};

}  // namespace

CFormatWatcher::CFormatWatcher() : m_stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

CFormatWatcher::~CFormatWatcher() { Stop(); }

void CFormatWatcher::SetInstanceName(const WCHAR* instanceName) {
  CScopedLock lock(&m_lock);
  BoundedCopy(m_instance, instanceName);
}

HRESULT CFormatWatcher::SetEvent(ScopedHandle event) {
  if (!event.IsValid()) return E_INVALIDARG;
  {
    CScopedLock lock(&m_lock);
    m_event = std::move(event);
  }
  if (m_thread.IsValid()) return S_OK;
  if (!m_stop.IsValid()) return E_OUTOFMEMORY;
  ::ResetEvent(m_stop.Get());
  m_thread.Reset(::CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr));
  return m_thread.IsValid() ? S_OK : HRESULT_FROM_WIN32(::GetLastError());
}

void CFormatWatcher::SetRenderedSize(FrameSize size) {
  CScopedLock lock(&m_lock);
  m_rendered = size;
}

void CFormatWatcher::Stop() {
  if (!m_thread.IsValid()) return;
  ::SetEvent(m_stop.Get());
  // A poll in progress gives up its wait for the channel's lock at once.
  ::WaitForSingleObject(m_thread.Get(), INFINITE);
  m_thread.Close();
}

DWORD WINAPI CFormatWatcher::ThreadMain(void* self) {
  auto* watcher = static_cast<CFormatWatcher*>(self);
  while (::WaitForSingleObject(watcher->m_stop.Get(), kPollMs) == WAIT_TIMEOUT) watcher->Poll();
  watcher->m_channel.reset();
  return 0;
}

void CFormatWatcher::Poll() {
  if (!m_channel) {
    WCHAR instance[kNameCapacity], base[kNameCapacity];
    {
      CScopedLock lock(&m_lock);
      BoundedCopy(instance, m_instance);
    }
    if (instance[0] == L'\0' || !ComposeRgCenterBase(base, instance)) return;
    // Creates the channel if no host or client has yet; a record made so is all zero (no requests).
    // Its lock waits end as soon as the watch is told to stop.
    m_channel.reset(CRgCenter::CreateInstance(base, m_stop.Get()));
    if (!m_channel) return;
  }
  CMediaType requested;
  AM_MEDIA_TYPE marker = {};
  marker.majortype = kUnreadMarker;
  if (FAILED(requested.CopyFrom(marker))) return;
  // Waits for the channel's lock without holding m_lock.
  m_channel->QueryRequestedFormat(&requested);
  if (requested.Get().majortype == kUnreadMarker) return;
  FrameSize request;  // none unless the request names a size
  ReadFrameSize(requested.Get(), &request);

  CScopedLock lock(&m_lock);
  if (m_tracker.Observe(request, m_rendered) && m_event.IsValid()) ::SetEvent(m_event.Get());
}
