// Owning wrapper for an open registry key: closed exactly once, never copied.
// Not thread-safe; an object belongs to the thread that opened the key.
#pragma once

#include <windows.h>

class ScopedRegKey {
 public:
  ScopedRegKey() = default;
  ~ScopedRegKey() {
    if (m_key != nullptr) ::RegCloseKey(m_key);
  }
  ScopedRegKey(const ScopedRegKey&) = delete;
  ScopedRegKey& operator=(const ScopedRegKey&) = delete;

  // For an out parameter: closes the current key first.
  HKEY* Receive() {
    if (m_key != nullptr) ::RegCloseKey(m_key);
    m_key = nullptr;
    return &m_key;
  }
  HKEY Get() const { return m_key; }

 private:
  HKEY m_key = nullptr;
};
