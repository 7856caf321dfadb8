// A test's clients in an instance's request channel: slots taken, changed and given back under
// the channel's lock as the host sees a client do it, plus the output slots that a foreign client
// may write. Any process id may be given: one other than the test's own plays another process,
// and stays registered (no ended client's slot is reclaimed here).
// One thread at a time.
#pragma once

#include <windows.h>

#include <string>

#include "ipc/CRgCenterClient.h"
#include "ipc/VideoInfoFormat.h"

class TestClients {
 public:
  // Opens the channel, creating it as a client may when nobody has yet.
  HRESULT Open(const std::wstring& instance);

  // The slot taken for an RGB24 request of that size, or -1.
  int Add(DWORD processId, BOOL wantsVideo, LONG width, LONG height);
  bool SetWantsVideo(int slot, BOOL wantsVideo);
  bool Remove(int slot);
  // Writes an RGB24 format in use of that size into output slot `slot`; a width of 0 empties it.
  bool SetOutput(int slot, LONG width, LONG height);

  CRgCenterClient& Channel() { return m_channel; }

 private:
  // Runs change on the record under the channel's lock, for a slot below `slots`.
  template <class Change>
  bool Locked(int slot, size_t slots, Change change);

  CRgCenterClient m_channel;
};
