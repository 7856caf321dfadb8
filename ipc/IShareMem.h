// A named block of memory shared between processes.
#pragma once

#include <windows.h>

class IShareMem {
 public:
  // Creates or opens the block and maps it; *existed tells whether another party made it first.
  virtual void* Create(const WCHAR* name, DWORD size, BOOL* existed) = 0;
  virtual void* GetBuffer() = 0;
  virtual void Close() = 0;
  virtual ~IShareMem() = default;
};
