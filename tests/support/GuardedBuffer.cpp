// Buffers followed by a no-access page.
#include "support/GuardedBuffer.h"

GuardedBuffer::GuardedBuffer(size_t bytes) {
  SYSTEM_INFO info;
  ::GetSystemInfo(&info);
  const size_t page = info.dwPageSize;
  const size_t usable = (bytes + page - 1) / page * page;
  m_region = ::VirtualAlloc(nullptr, usable + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (m_region == nullptr) return;
  BYTE* guard = static_cast<BYTE*>(m_region) + usable;
  DWORD previous = 0;
  if (!::VirtualProtect(guard, page, PAGE_NOACCESS, &previous)) return;
  m_data = guard - bytes;
  m_bytes = bytes;
}

GuardedBuffer::~GuardedBuffer() {
  if (m_region != nullptr) ::VirtualFree(m_region, 0, MEM_RELEASE);
}
