// Owning wrapper for a mapped view of a file mapping: unmapped exactly once.
#pragma once

#include <windows.h>

class ScopedMappedView {
 public:
  ScopedMappedView() = default;
  explicit ScopedMappedView(void* view) : m_view(view) {}
  ~ScopedMappedView() { Reset(); }

  ScopedMappedView(const ScopedMappedView&) = delete;
  ScopedMappedView& operator=(const ScopedMappedView&) = delete;
  ScopedMappedView(ScopedMappedView&& other) noexcept : m_view(other.m_view) { other.m_view = nullptr; }
  ScopedMappedView& operator=(ScopedMappedView&& other) noexcept {
    if (this != &other) {
      Reset(other.m_view);
      other.m_view = nullptr;
    }
    return *this;
  }

  void* Get() const { return m_view; }
  bool IsValid() const { return m_view != nullptr; }
  void Reset(void* view = nullptr) {
    if (m_view) ::UnmapViewOfFile(m_view);
    m_view = view;
  }

 private:
  void* m_view = nullptr;
};
