// A buffer that ends exactly where an inaccessible page begins: a read or write past its end
// faults at once instead of passing unnoticed.
#pragma once

#include <windows.h>

#include <cstddef>

class GuardedBuffer {
 public:
  explicit GuardedBuffer(size_t bytes);
  ~GuardedBuffer();
  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;

  // Null when the memory could not be had.
  BYTE* Data() const { return m_data; }
  size_t Size() const { return m_bytes; }

 private:
  void* m_region = nullptr;
  BYTE* m_data = nullptr;
  size_t m_bytes = 0;
};
