// The host's side of the request channel: reads the clients' registrations (how many clients of
// other processes, whether any wants video, the largest requested and output formats) and
// publishes the host's camera and its session-lock placeholder.
//
// Threads: the graph-control object calls every operation under its own lock, from the main
// thread or the monitor thread; the object itself is not thread-safe. Across processes the
// named mutex "<base>_slock" guards the whole record: each operation holds it for its whole
// run, waiting up to kLockTimeoutMs. An operation whose wait fails leaves the record alone
// (see each operation); a lock abandoned by a dead client counts as obtained.
// Slots are read through the bounds-checked accessors of RgCenterSlots.h. A slot is in use
// (counted, and asked whether it wants video) whenever its cbFormat is not 0; it is usable for
// the choice of a format only when that cbFormat is also 60 to 100 bytes, so a client's bad
// length never makes the host read outside the slot or hand on more than it holds.
#pragma once

#include <windows.h>

#include <memory>

#include "IShareLock.h"
#include "IShareMem.h"
#include "RgCenterBlock.h"
#include "common/CMediaType.h"
#include "common/WideString.h"

class CRgCenter {
 public:
  static constexpr DWORD kLockTimeoutMs = kRgCenterLockTimeoutMs;

  // Constructs and initialises; null when Init fails. A wake event (not owned, outliving the
  // object) ends every wait for the lock early, as if it had timed out.
  static CRgCenter* CreateInstance(const WCHAR* baseName, HANDLE wakeEvent = nullptr);

  CRgCenter();
  virtual ~CRgCenter();

  CRgCenter(const CRgCenter&) = delete;
  CRgCenter& operator=(const CRgCenter&) = delete;

  // Creates or opens "<base>_slock" and "<base>_smem". E_FAIL when a name does not fit, an
  // object cannot be made or the record cannot be mapped. A record this call created is zero
  // (the system zero-fills a new mapping; it is zeroed again under the lock when that is had).
  HRESULT Init(const WCHAR* baseName, HANDLE wakeEvent = nullptr);

  // Stores the camera's name and GUID text, only while clientCount is 0: E_FAIL otherwise, or
  // when the lock cannot be had, with both texts unchanged. A failed GUID conversion returns
  // its HRESULT and leaves deviceGuidText unchanged.
  HRESULT PublishDevice(GUID device, const WCHAR* name);

  // The usable client slot (0..7, and 8 while placeholderActive) with the largest frame size,
  // ties kept by the lower slot; an empty media type when there is none. Without the lock, out
  // is left as it was.
  void QueryRequestedFormat(CMediaType* out);

  // The same choice over the nine output slots; always TRUE.
  BOOL QueryOutputFormat(CMediaType* out);

  // othersOnly FALSE: clientCount. TRUE: the slots 0..7 in use whose process is not this one,
  // walking only while fewer than clientCount were found. Without the lock: the last value this
  // call obtained with the lock, and kUnknownClientCount before it ever had one, so that a busy
  // channel never reads as "no clients left" (which ends a hidden host).
  static constexpr WORD kUnknownClientCount = 1;
  WORD CountClients(BOOL othersOnly);

  // TRUE when "some slot in use wants video" differs from expected. Without the lock: FALSE,
  // so that the run state is left alone.
  BOOL DemandDiffers(BOOL expected);

  // Makes slot 8 the host's placeholder: 640 x 480 RGB24 wanting video while locked, a 0 x 0
  // type that does not want video (and no longer counts) while not. Always S_OK.
  HRESULT SetPlaceholder(BOOL locked);

 private:
  // Copies the slots a scan looks at out of the record, so that nothing a client writes
  // meanwhile can change a checked length.
  size_t SnapshotClientSlots(RgCenterSlot (&out)[kRgCenterSlotCount]) const;

  RgCenterBlock* m_block;
  std::unique_ptr<IShareLock> m_lock;
  std::unique_ptr<IShareMem> m_sharedMemory;
  WCHAR m_baseName[kNameCapacity];
  // Last counts obtained under the lock (kUnknownClientCount before the first); only this
  // object's caller touches them.
  WORD m_lastClientCount;
  WORD m_lastOtherClients;
};
