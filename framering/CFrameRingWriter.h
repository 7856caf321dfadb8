// The renderer's side of an instance's frame ring: sizes the pixel mapping for a format and
// publishes frames without ever waiting for a reader.
//
// Threads: not thread-safe. The capture renderer calls every method under its own receive lock
// (Open/Reserve from the application thread at connection time, Publish from the streaming
// thread). One writer per instance name, in any process: a second is refused while the first
// lives (CRingWriterLock), and one that died is taken over.
#pragma once

#include <windows.h>

#include "common/ScopedHandle.h"
#include "common/ScopedMappedView.h"
#include "common/WideString.h"
#include "framering/CRingWriterLock.h"
#include "framering/FrameRing.h"

class CFrameRingWriter {
 public:
  CFrameRingWriter() = default;
  ~CFrameRingWriter() = default;
  CFrameRingWriter(const CFrameRingWriter&) = delete;
  CFrameRingWriter& operator=(const CFrameRingWriter&) = delete;

  // Becomes the ring's one writer, then creates or opens the control mapping and the event. A
  // control record left by an earlier writer is taken over: its slots are emptied, its frame
  // counter and generation continue when they are in range. kErrRingTaken while another writer
  // lives; E_INVALIDARG for a name that cannot be composed or a slot count outside
  // 2..kFrameRingMaxSlots; E_FAIL when a record of another layout holds the name.
  static constexpr HRESULT kErrRingTaken = CRingWriterLock::kErrTaken;
  HRESULT Open(const WCHAR* instanceName, LONG slotCount = kFrameRingDefaultSlots);
  void Close();
  bool IsOpen() const { return m_header != nullptr; }

  // Makes every slot hold at least frameBytes. Keeps the current pixel mapping when it is large
  // enough; otherwise starts a new generation under a new name (readers follow it).
  HRESULT Reserve(LONG64 frameBytes);

  // Copies frame.bytes pixel bytes into the next slot, then makes it the newest frame and pulses
  // the event. The writer assigns frame.counter (returned through counter when not null).
  // E_UNEXPECTED before Reserve; E_INVALIDARG, counted as dropped, when the frame does not fit.
  HRESULT Publish(const FrameRingFrame& frame, const BYTE* pixels, LONG64* counter = nullptr);

  void SetOption(LONG option);
  void CountDropped();

  // The counter the next Publish will give its frame.
  LONG64 NextCounter() const { return m_counter + 1; }
  LONG Generation() const { return m_generation; }
  LONG SlotBytes() const { return m_slotBytes; }

 private:
  void ResetSlots();

  WCHAR m_instance[kNameCapacity] = {};
  CRingWriterLock m_writerLock;
  ScopedHandle m_control;
  ScopedMappedView m_controlView;
  ScopedHandle m_pixels;
  ScopedMappedView m_pixelView;
  ScopedHandle m_event;
  FrameRingHeader* m_header = nullptr;
  BYTE* m_pixelBase = nullptr;
  LONG m_slotCount = 0;
  LONG m_generation = 0;
  LONG m_slotBytes = 0;
  LONG m_nextSlot = 0;
  LONG64 m_counter = 0;
};
