// Decides when the capture renderer tells the host that the clients' largest requested format
// no longer matches the one it renders: once per change of the request, never again for the
// same request, so a camera that cannot deliver the exact size causes one rebuild, not a loop.
//
// Threads: not thread-safe; CFormatWatcher calls it under its lock.
#pragma once

#include <windows.h>

struct FrameSize {
  LONG width = 0;
  LONG height = 0;  // always positive; 0 x 0 means "none"
  bool IsNone() const { return width <= 0 || height <= 0; }
  bool operator==(const FrameSize& other) const { return width == other.width && height == other.height; }
  bool operator!=(const FrameSize& other) const { return !(*this == other); }
};

class CFormatChangeTracker {
 public:
  // One look at the request and at the rendered format; true when the host is to be told now.
  // A change seen while nothing is rendered stays pending until a format is known. A request
  // that goes away (no client asks for a size) is a change but needs no telling.
  bool Observe(FrameSize request, FrameSize rendered);

 private:
  bool m_seen = false;
  FrameSize m_lastRequest;
};
