// Owning wrapper for a string that COM handed out in task memory (StringFromCLSID).
// Not thread-safe; an object belongs to the thread that received it.
#pragma once

#include <windows.h>
#include <objbase.h>

class ScopedCoMemString {
 public:
  ScopedCoMemString() = default;
  ~ScopedCoMemString() { Reset(); }
  ScopedCoMemString(const ScopedCoMemString&) = delete;
  ScopedCoMemString& operator=(const ScopedCoMemString&) = delete;

  // For an out parameter: frees the current string first.
  LPOLESTR* Receive() {
    Reset();
    return &m_text;
  }
  void Reset() {
    if (m_text != nullptr) ::CoTaskMemFree(m_text);
    m_text = nullptr;
  }
  const WCHAR* Get() const { return m_text; }

 private:
  LPOLESTR m_text = nullptr;
};
