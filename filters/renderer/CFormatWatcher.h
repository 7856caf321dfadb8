// The capture renderer's format watch: a thread of its own reads the clients' largest requested
// format from the instance's request channel every kPollMs and sets the host's format event
// when CFormatChangeTracker says so. A thread rather than sample arrival, so that a request made
// while the graph is stopped still reaches the host.
//
// Threads: the renderer's callers (graph and host threads) call the setters, SetEvent and Stop
// one at a time (the host's thread, then the renderer's destructor); the watch thread polls. m_lock guards the instance name, the event, the rendered size and the tracker; it is
// the renderer's innermost lock and is never held while the request channel's lock is waited for.
#pragma once

#include <windows.h>

#include <memory>

#include "common/CCritSection.h"
#include "common/ScopedHandle.h"
#include "common/WideString.h"
#include "filters/renderer/CFormatChangeTracker.h"

class CRgCenter;

class CFormatWatcher {
 public:
  static constexpr DWORD kPollMs = 100;

  CFormatWatcher();
  ~CFormatWatcher();
  CFormatWatcher(const CFormatWatcher&) = delete;
  CFormatWatcher& operator=(const CFormatWatcher&) = delete;

  void SetInstanceName(const WCHAR* instanceName);
  // Takes ownership of event (a duplicate the renderer made) and starts the thread when it
  // does not run yet.
  HRESULT SetEvent(ScopedHandle event);
  // The format the renderer renders now; 0 x 0 when it has none.
  void SetRenderedSize(FrameSize size);
  // Ends the thread; a poll in progress stops waiting for the channel's lock at once.
  void Stop();

 private:
  static DWORD WINAPI ThreadMain(void* self);
  void Poll();

  CCritSection m_lock;
  WCHAR m_instance[kNameCapacity] = {};  // m_lock
  ScopedHandle m_event;                  // m_lock
  FrameSize m_rendered;                  // m_lock
  CFormatChangeTracker m_tracker;        // m_lock

  ScopedHandle m_stop;    // manual-reset: ends the thread
  ScopedHandle m_thread;  // set and joined by the renderer's callers, never by the thread
  std::unique_ptr<CRgCenter> m_channel;  // watch thread only
};
