// Fixed-capacity UTF-16 strings as the shared records hold them.
#pragma once

#include <windows.h>

#include <cstddef>

constexpr size_t kNameCapacity = 260;  // characters, terminator included

// Copies at most capacity - 1 characters and always terminates; a null source gives "".
// A capacity of 0 writes nothing.
inline void BoundedCopy(WCHAR* dest, size_t capacity, const WCHAR* source) {
  if (dest == nullptr || capacity == 0) return;
  size_t i = 0;
  if (source != nullptr) {
    for (; i + 1 < capacity && source[i] != L'\0'; ++i) dest[i] = source[i];
  }
  dest[i] = L'\0';
}

template <size_t N>
inline void BoundedCopy(WCHAR (&dest)[N], const WCHAR* source) {
  BoundedCopy(dest, N, source);
}

// Length of a string that another process may have left unterminated: never reads past max.
inline size_t BoundedLength(const WCHAR* text, size_t max) {
  size_t n = 0;
  while (n < max && text[n] != L'\0') ++n;
  return n;
}
