// Holds a CCritSection for one scope, released on every way out.
#pragma once

#include "common/CCritSection.h"

class CScopedLock {
 public:
  explicit CScopedLock(CCritSection* section) : m_section(section) { m_section->Lock(); }
  ~CScopedLock() { m_section->Unlock(); }
  CScopedLock(const CScopedLock&) = delete;
  CScopedLock& operator=(const CScopedLock&) = delete;

 private:
  CCritSection* m_section;
};
