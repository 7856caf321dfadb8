// Owner of an AM_MEDIA_TYPE* that a COM call allocated in task memory (IAMStreamConfig's
// GetFormat and GetStreamCaps): frees the format block, the pUnk reference and the structure.
// Not thread-safe; an object belongs to the thread that received it.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <strmif.h>

class ScopedTaskMemMediaType {
 public:
  ScopedTaskMemMediaType() = default;
  ~ScopedTaskMemMediaType() { Reset(); }
  ScopedTaskMemMediaType(const ScopedTaskMemMediaType&) = delete;
  ScopedTaskMemMediaType& operator=(const ScopedTaskMemMediaType&) = delete;

  // For an out parameter: frees the current structure first.
  AM_MEDIA_TYPE** Receive() {
    Reset();
    return &m_type;
  }
  void Reset() {
    if (m_type == nullptr) return;
    if (m_type->pbFormat != nullptr) ::CoTaskMemFree(m_type->pbFormat);
    if (m_type->pUnk != nullptr) m_type->pUnk->Release();
    ::CoTaskMemFree(m_type);
    m_type = nullptr;
  }
  AM_MEDIA_TYPE* Get() const { return m_type; }
  AM_MEDIA_TYPE* operator->() const { return m_type; }
  explicit operator bool() const { return m_type != nullptr; }

 private:
  AM_MEDIA_TYPE* m_type = nullptr;
};
