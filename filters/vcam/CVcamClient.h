// The virtual camera filter's membership of its instance: the request channel slot it holds
// while it is in a filter graph (so that merely listing or creating the device starts nothing),
// wantsVideo while the graph is paused or running, the format it will deliver, and a keeper
// thread that starts a host whenever none serves the instance.
//
// Threads and locks:
//  - Join, Leave, SetWantsVideo and SetFormat come from application and graph threads with the
//    filter lock held; m_lock (inner to the filter lock) guards every member below it, and
//    "slock" is taken inside it for at most CRgCenterClient::kLockTimeoutMs per call.
//  - The keeper thread runs from Join to Leave on a state of its own (CHostKeeper) and never
//    touches this object; Leave only asks it to end, so an application never waits for a host.
//  - The launch state is written by keeper threads and read by the streaming thread, lock-free.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <atomic>
#include <memory>

#include "common/CCritSection.h"
#include "common/CMediaType.h"
#include "common/ScopedHandle.h"
#include "common/WideString.h"
#include "ipc/CRgCenterClient.h"
#include "ipc/ClientProcess.h"

class CVcamClient {
 public:
  CVcamClient();
  ~CVcamClient();
  CVcamClient(const CVcamClient&) = delete;
  CVcamClient& operator=(const CVcamClient&) = delete;

  // Reads the settings, registers with wantsVideo 0 and `format`, and starts the keeper. A
  // registration that fails now (the channel's lock held by a stranger, every slot taken) is
  // tried again by the next change. Joining twice does nothing.
  void Join(const AM_MEDIA_TYPE& format);
  // Gives the slot back and lets the keeper end.
  void Leave();
  void SetWantsVideo(bool wants);
  void SetFormat(const AM_MEDIA_TYPE& format);

  // The instance of the last Join; "" before it.
  void CopyInstance(WCHAR (&out)[kNameCapacity]);
  // The slot held now, or -1.
  int Slot();
  // Written by keeper threads, read by anyone: a HostLaunchState.
  std::shared_ptr<const std::atomic<int>> LaunchState() const { return m_launchState; }

 private:
  // With m_lock held: make the channel's slot say what the members say.
  void Publish();

  const std::shared_ptr<std::atomic<int>> m_launchState;
  const ClientIdentity m_identity;

  CCritSection m_lock;
  bool m_joined = false;
  WCHAR m_instance[kNameCapacity] = {};
  CRgCenterClient m_channel;
  int m_slot = -1;
  bool m_wantsVideo = false;
  CMediaType m_format;
  ScopedHandle m_keeperStop;  // set by Leave: the keeper of this Join ends
};
