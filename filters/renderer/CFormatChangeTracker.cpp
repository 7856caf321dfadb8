// When the renderer signals its format event.
#include "filters/renderer/CFormatChangeTracker.h"

bool CFormatChangeTracker::Observe(FrameSize request, FrameSize rendered) {
  if (rendered.IsNone()) return false;
  if (m_seen && request == m_lastRequest) return false;
  m_seen = true;
  m_lastRequest = request;
  return !request.IsNone() && request != rendered;
}
