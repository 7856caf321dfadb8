// A client's side of an instance's frame ring: waits for frames and copies them out whole.
//
// Threads: not thread-safe; one reader object per reading thread. Holds no lock of the ring:
// a reader that stalls or dies never delays the writer. It maps the ring read-only and trusts
// nothing in it: a slot index, a length or a generation out of range is an error, and a
// sequence that never settles ends a read after a bounded number of attempts.
#pragma once

#include <windows.h>

#include <vector>

#include "common/ScopedHandle.h"
#include "common/ScopedMappedView.h"
#include "common/WideString.h"
#include "framering/FrameRing.h"

class CFrameRingReader {
 public:
  // The writer overwrote the slot on every attempt: the reader is too slow for the frame rate.
  static constexpr HRESULT kErrRingBusy = HRESULT_FROM_WIN32(ERROR_BUSY);
  // No writer has created the instance's ring.
  static constexpr HRESULT kErrNoRing = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  // A settled record says something impossible (a slot that does not exist, more bytes than
  // the slot holds): somebody other than the writer wrote it.
  static constexpr HRESULT kErrRingCorrupt = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);

  CFrameRingReader() = default;
  CFrameRingReader(const CFrameRingReader&) = delete;
  CFrameRingReader& operator=(const CFrameRingReader&) = delete;

  // Opens an existing ring (never creates one). kErrNoRing when there is none; E_FAIL when the
  // record has another magic or version.
  HRESULT Open(const WCHAR* instanceName);

  // The newest frame's description from the header, without its pixels. false before the first.
  bool PeekLatest(FrameRingFrame* frame);
  // Counter of the newest frame, 0 before the first.
  LONG64 LatestCounter();

  // Waits until a frame newer than afterCounter exists; false on time-out.
  bool WaitForFrame(LONG64 afterCounter, DWORD timeoutMs);

  // Copies the newest frame: S_OK with pixels and frame filled, S_FALSE when there is none yet,
  // kErrRingBusy when every attempt was overwritten under it (or a sequence stays odd),
  // kErrRingCorrupt for a record that lies.
  HRESULT ReadLatest(std::vector<BYTE>* pixels, FrameRingFrame* frame);

  LONG64 Dropped();
  LONG Option();
  HANDLE FrameEvent() const { return m_event.Get(); }
  LONG MappedGeneration() const { return m_generation; }

 private:
  // Maps generation's pixel mapping unless it is the one mapped; false when it is gone.
  bool MapGeneration(LONG generation);
  // The newest frame's slot: S_OK, S_FALSE before the first, kErrRingBusy or kErrRingCorrupt.
  HRESULT ReadLatestSlot(LONG* slot);

  WCHAR m_instance[kNameCapacity] = {};
  ScopedHandle m_control;
  ScopedMappedView m_controlView;
  ScopedHandle m_event;
  const FrameRingHeader* m_header = nullptr;
  LONG m_slotCount = 0;
  ScopedHandle m_pixels;
  ScopedMappedView m_pixelView;
  LONG m_generation = 0;
  SIZE_T m_slotCapacity = 0;  // from the mapped view's real size, not from the header
};
