// Owns a memory device context (DeleteDC), released exactly once and never copied.
// Not thread-safe; it belongs to the thread that made it.
#pragma once

#include <windows.h>

class ScopedMemoryDC {
 public:
  ScopedMemoryDC() : m_dc(::CreateCompatibleDC(nullptr)) {}
  ~ScopedMemoryDC() {
    if (m_dc != nullptr) ::DeleteDC(m_dc);
  }
  ScopedMemoryDC(const ScopedMemoryDC&) = delete;
  ScopedMemoryDC& operator=(const ScopedMemoryDC&) = delete;
  HDC Get() const { return m_dc; }

 private:
  HDC m_dc;
};
