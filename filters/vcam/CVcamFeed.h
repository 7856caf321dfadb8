// Where the virtual camera's frames come from, one call per delivered frame: the newest whole
// frame of the instance's frame ring converted and scaled to the negotiated format while frames
// keep coming (the newest one again when the camera is slower than the application), and a
// placeholder that says why while none comes. Nothing here waits for the host: the ring and the
// host's objects are only looked at, and a ring that is missing, ended or lies about its frames
// gives placeholders until real frames come back.
// Streaming thread only (the pin makes one per activation); no locks. The launch state is
// written by the filter's keeper thread and read here without a lock.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <vector>

#include "common/WideString.h"
#include "filters/vcam/CFrameConverter.h"
#include "filters/vcam/CPlaceholderPicture.h"
#include "filters/vcam/PlaceholderReason.h"
#include "framering/CFrameRingReader.h"
#include "ipc/CHostObserver.h"

class CVcamFeed {
 public:
  // A camera frame older than this is no longer shown: the placeholder says why.
  static constexpr DWORD kStaleAfterMs = 1000;
  // A ring without new frames for this long is let go and opened afresh, so that a ring whose
  // writer ended is not kept alive, and a new writer's ring is found.
  static constexpr DWORD kReopenAfterMs = 3000;
  // How often a missing ring is looked for and the host looked at.
  static constexpr DWORD kLookEveryMs = 250;

  CVcamFeed(const WCHAR* instanceName, const TargetFormat& target,
            std::shared_ptr<const std::atomic<int>> launchState);
  CVcamFeed(const CVcamFeed&) = delete;
  CVcamFeed& operator=(const CVcamFeed&) = delete;

  // Fills out with the next frame. *live tells whether it is a camera frame. Fails only when not
  // even a placeholder could be made.
  HRESULT NextFrame(BYTE* out, size_t outBytes, bool* live);

  // Counts for tests and benchmarks: camera frames taken from the ring, records refused.
  LONG64 FramesTaken() const { return m_framesTaken; }
  LONG64 FramesRefused() const { return m_framesRefused; }
  // When the newest camera frame delivered reached the ring (the ring's clock), 0 for none.
  LONG64 LastArrival() const { return m_frame.arrival; }

 private:
  // Takes a frame newer than the last one when the ring has it; false when there is none.
  bool TakeNewFrame(ULONGLONG now);
  void OpenRing(ULONGLONG now);

  WCHAR m_instance[kNameCapacity];
  const TargetFormat m_target;
  std::shared_ptr<const std::atomic<int>> m_launchState;

  CFrameRingReader m_ring;
  bool m_ringOpen = false;
  ULONGLONG m_nextRingLook = 0;
  ULONGLONG m_ringOpenedAt = 0;
  LONG64 m_lastCounter = 0;     // of the newest frame taken from this opening of the ring
  bool m_firstSinceOpen = true;
  std::vector<BYTE> m_pixels;   // the newest frame taken
  std::vector<BYTE> m_incoming; // the frame being read; swapped with m_pixels once it is whole
  FrameRingFrame m_frame = {};
  bool m_haveFrame = false;
  ULONGLONG m_freshSince = 0;   // tick at which the newest frame was taken as current

  CFrameConverter m_converter;
  CPlaceholderPicture m_placeholder;
  CHostObserver m_observer;
  ULONGLONG m_nextHostLook = 0;
  PlaceholderReason m_reason = PlaceholderReason::kStarting;

  LONG64 m_framesTaken = 0;
  LONG64 m_framesRefused = 0;
};
