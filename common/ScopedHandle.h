// Owning wrapper for a kernel handle: closed exactly once, movable, never copied.
#pragma once

#include <windows.h>

class ScopedHandle {
 public:
  ScopedHandle() = default;
  explicit ScopedHandle(HANDLE handle) : m_handle(handle) {}
  ~ScopedHandle() { Close(); }

  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ScopedHandle(ScopedHandle&& other) noexcept : m_handle(other.Release()) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }

  // Both null and INVALID_HANDLE_VALUE mean "no handle" depending on the API that made it.
  static bool IsHandleValid(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
  }
  bool IsValid() const { return IsHandleValid(m_handle); }
  HANDLE Get() const { return IsValid() ? m_handle : nullptr; }

  HANDLE Release() {
    HANDLE handle = m_handle;
    m_handle = nullptr;
    return IsHandleValid(handle) ? handle : nullptr;
  }
  void Reset(HANDLE handle = nullptr) {
    Close();
    m_handle = handle;
  }
  void Close() {
    if (IsValid()) ::CloseHandle(m_handle);
    m_handle = nullptr;
  }

 private:
  HANDLE m_handle = nullptr;
};
