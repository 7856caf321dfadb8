// Owner of an AM_MEDIA_TYPE* that a COM call handed out in task memory (GetFormat,
// GetStreamCaps, IEnumMediaTypes::Next): frees the block, pUnk and structure once.
#pragma once

#include "common/CMediaType.h"

class CTaskMemMediaType {
 public:
  CTaskMemMediaType() = default;
  explicit CTaskMemMediaType(AM_MEDIA_TYPE* type) : m_type(type) {}
  ~CTaskMemMediaType() { Reset(); }
  CTaskMemMediaType(const CTaskMemMediaType&) = delete;
  CTaskMemMediaType& operator=(const CTaskMemMediaType&) = delete;
  CTaskMemMediaType(CTaskMemMediaType&& other) noexcept : m_type(other.m_type) { other.m_type = nullptr; }
  CTaskMemMediaType& operator=(CTaskMemMediaType&& other) noexcept {
    if (this != &other) {
      Reset();
      m_type = other.m_type;
      other.m_type = nullptr;
    }
    return *this;
  }

  void Reset() {
    CMediaType::DeleteTaskMemType(m_type);
    m_type = nullptr;
  }
  // For an out parameter: frees the current structure first.
  AM_MEDIA_TYPE** Receive() {
    Reset();
    return &m_type;
  }
  AM_MEDIA_TYPE* Get() const { return m_type; }
  AM_MEDIA_TYPE* operator->() const { return m_type; }
  explicit operator bool() const { return m_type != nullptr; }

 private:
  AM_MEDIA_TYPE* m_type = nullptr;
};
