// Owns a bitmap, font or brush (DeleteObject), released exactly once and never copied. An object
// selected into a context must be selected out (ScopedSelection) before its owner releases it.
#pragma once

#include <windows.h>

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
