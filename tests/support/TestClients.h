// A test's clients in an instance's request channel: slots taken, changed and given back as a
// client process does, under the channel's lock, plus the output slots that a foreign client may
// write. Any process id may be given: one other than the test's own plays another process.
// One thread at a time.
#pragma once

#include <windows.h>

#include <string>

#include "common/CMediaType.h"
#include "ipc/CRgCenterClient.h"
#include "ipc/VideoInfoFormat.h"

class TestClients {
 public:
  // Opens the channel, creating it as a client may when nobody has yet.
  HRESULT Open(const std::wstring& instance);

  // The slot taken, or -1.
  int Add(DWORD processId, BOOL wantsVideo, LONG width, LONG height, VideoSubtype subtype = VideoSubtype::kRgb24);
  int AddType(DWORD processId, BOOL wantsVideo, const CMediaType& type);
  bool SetWantsVideo(int slot, BOOL wantsVideo);
  bool Remove(int slot);
  // Writes the format in use into output slot `slot`; a width of 0 empties it.
  bool SetOutput(int slot, LONG width, LONG height);

  CRgCenterClient& Channel() { return m_channel; }

 private:
  CRgCenterClient m_channel;
};
