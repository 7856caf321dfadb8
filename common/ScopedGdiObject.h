// Owning wrappers for GDI objects: a memory device context (DeleteDC) and a bitmap, font or
// brush (DeleteObject), each released exactly once and never copied. A GDI object selected into
// a context must be selected out (ScopedSelection) before its owner releases it.
// Not thread-safe; an object belongs to the thread that made it.
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

class ScopedGdiObject {
 public:
  explicit ScopedGdiObject(HGDIOBJ object = nullptr) : m_object(object) {}
  ~ScopedGdiObject() {
    if (m_object != nullptr) ::DeleteObject(m_object);
  }
  ScopedGdiObject(const ScopedGdiObject&) = delete;
  ScopedGdiObject& operator=(const ScopedGdiObject&) = delete;
  HGDIOBJ Get() const { return m_object; }

 private:
  HGDIOBJ m_object;
};

// Selects an object into a context for one scope and puts the previous one back.
class ScopedSelection {
 public:
  ScopedSelection(HDC dc, HGDIOBJ object) : m_dc(dc), m_previous(::SelectObject(dc, object)) {}
  ~ScopedSelection() {
    if (m_previous != nullptr && m_previous != HGDI_ERROR) ::SelectObject(m_dc, m_previous);
  }
  ScopedSelection(const ScopedSelection&) = delete;
  ScopedSelection& operator=(const ScopedSelection&) = delete;

 private:
  HDC m_dc;
  HGDIOBJ m_previous;
};
